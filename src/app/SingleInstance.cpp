#include "SingleInstance.h"

#include "InstanceGuard.h"
#include "MessageBoxes.h"

namespace Qurel {

bool ClaimSingleInstance(InstanceGuard &guard)
{
    if (guard.tryAcquire())
        return true;
    ShowNotice(nullptr, QStringLiteral("提示!"), QStringLiteral("程序已经运行, 按确定关闭此窗口!"));
    return false;
}

} // namespace Qurel
