#pragma once
// Whether the presentation program can be reached at all.

// Attaches to the program (starting it when needed) and lets go again; false
// on any failure, which is not reported.
bool IsPowerPointReady();
