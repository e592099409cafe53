#pragma once
// Whether the embedded browser can start in this process. Its engine ends
// the whole process when it cannot (run as root with its sandbox on, helper
// program missing), so the client asks before it creates a browser.

#include <QString>

namespace Qurel {

// The engine's sandbox cannot run as root: switches it off in that case
// only. Call before the application object exists.
void PrepareBrowserForRoot();

// Empty when the browser can start; else what stands in its way.
QString BrowserStartProblem();

} // namespace Qurel
