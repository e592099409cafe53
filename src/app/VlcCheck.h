#pragma once
// Start-up check that the VLC playback library is usable on this machine.

namespace Qurel {

// True when a libvlc instance can be created (libvlc and its plug-ins are installed).
bool IsVlcInstalled();

} // namespace Qurel
