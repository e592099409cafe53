#pragma once
// What the client settles about the desktop before its application object
// exists: the window system the video can be drawn on, and how the embedded
// browser may start (only with its sandbox).

namespace Qurel {

void PrepareDesktopPlatform();

} // namespace Qurel
