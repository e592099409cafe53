#pragma once
// The relay's zms32* calls for a program that links no FFmpeg (qureld): each goes on to
// libzelmicro.so beside the program, opened and initialised by the first create call, so a keeper
// waiting for a lesson maps none of the libraries FFmpeg brings. zms32Init only notes that it was
// called (and warns when the library is missing). A library that is missing or lacks a call
// makes the create call fail with ZMS32_ERR_NOT_INITIALISED and says why in the lesson log; the
// next create call tries again.
// The library stays open once it works: its files may still be finished on its own threads, and
// closing it would not give its memory back (FFmpeg's dependencies cannot be unloaded).

#include <QString>

namespace Qurel {

// Where the relay library is looked for: libzelmicro.so in the program folder.
QString RelayLibraryPath();

// Whether this process has opened the relay library.
bool RelayLibraryLoaded();

} // namespace Qurel
