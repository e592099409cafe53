#pragma once
// The program entry's first step: make sure only one copy of the client runs.

namespace Qurel {

class InstanceGuard;

// Holds `guard`, or shows the notice "程序已经运行, 按确定关闭此窗口!" titled "提示!" and returns
// false when another copy runs (which is left untouched). A lock that cannot be made is no licence
// to run: the notice then says so, with the reason, and the result is false too.
bool ClaimSingleInstance(InstanceGuard &guard);

} // namespace Qurel
