#include "VideoPlatform.h"

#include <QGuiApplication>

namespace Qurel {

DesktopEnvironment DesktopEnvironment::Current()
{
    return { qgetenv("QT_QPA_PLATFORM"), qgetenv("XDG_SESSION_TYPE"), qgetenv("WAYLAND_DISPLAY"),
        qgetenv("DISPLAY") };
}

QByteArray VideoPlatformFor(const DesktopEnvironment &env)
{
    const bool askedForWayland = env.qpaPlatform.startsWith("wayland");
    // Any other platform someone asked for (offscreen, xcb, ...) is kept.
    if (!env.qpaPlatform.isEmpty() && !askedForWayland)
        return {};
    const bool wayland
        = askedForWayland || env.sessionType.toLower() == "wayland" || !env.waylandDisplay.isEmpty();
    if (wayland && !env.x11Display.isEmpty())
        return "xcb";
    return {};
}

void ChooseVideoPlatform()
{
    const QByteArray platform = VideoPlatformFor(DesktopEnvironment::Current());
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
}

bool PlatformHidesVideo()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace Qurel
