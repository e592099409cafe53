#include "DesktopPlatform.h"

#include "BrowserStart.h"
#include "VideoPlatform.h"

namespace Qurel {

void PrepareDesktopPlatform()
{
    ChooseVideoPlatform();
    KeepBrowserSandboxed();
}

} // namespace Qurel
