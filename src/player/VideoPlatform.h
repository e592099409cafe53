#pragma once
// libvlc draws only into X11 windows here: which Qt platform lets the player
// show its video, settled before the application object exists.

#include <QByteArray>

namespace Qurel {

// The variables that tell which desktop the client runs on.
struct DesktopEnvironment
{
    QByteArray qpaPlatform; // QT_QPA_PLATFORM
    QByteArray sessionType; // XDG_SESSION_TYPE
    QByteArray waylandDisplay; // WAYLAND_DISPLAY
    QByteArray x11Display; // DISPLAY

    static DesktopEnvironment Current();
};

// The platform to ask Qt for, or empty to leave Qt's own choice: a Wayland
// session with an X display (XWayland) runs the client on xcb.
QByteArray VideoPlatformFor(const DesktopEnvironment &env);

// Applies that choice to this process; call before QApplication.
void ChooseVideoPlatform();

// True when the running platform has windows but none libvlc can draw into
// (Wayland without an X display).
bool PlatformHidesVideo();

} // namespace Qurel
