#pragma once
// Whether the embedded browser may start in this process. Its engine ends
// the whole process when it cannot (helper program missing), and it runs
// only with its sandbox: the platform's pages come from the network.

#include <QString>

namespace Qurel {

// Drops whatever would switch the engine's sandbox off (the environment
// variables a session may carry). Call before the application object exists.
void KeepBrowserSandboxed();

enum class BrowserBlock {
    None,
    // The engine's sandbox cannot run as root, and the browser never runs
    // without it.
    Root,
    // The engine's helper program is missing.
    NoHelper,
};

struct BrowserStartCheck
{
    BrowserBlock block = BrowserBlock::None;
    QString detail; // what stands in the way, for the log
};

BrowserStartCheck CheckBrowserStart();

} // namespace Qurel
