#include "SingleInstance.h"

#include "InstanceGuard.h"
#include "MessageBoxes.h"

namespace Qurel {

bool ClaimSingleInstance(InstanceGuard &guard)
{
    if (guard.tryAcquire())
        return true;
    if (guard.failed()) {
        qWarning("qurel: single-instance lock: %s", qPrintable(guard.errorString()));
        ShowNotice(nullptr, QStringLiteral("提示!"),
            QStringLiteral("无法创建程序的运行锁, 程序不能启动!\n%1").arg(guard.errorString()));
        return false;
    }
    ShowNotice(nullptr, QStringLiteral("提示!"), QStringLiteral("程序已经运行, 按确定关闭此窗口!"));
    return false;
}

} // namespace Qurel
