#include "CopyProgress.h"

#include "UserMessages.h"

#include <QProgressDialog>

namespace Qurel {

CopyResult CopyWithProgress(QWidget *owner, const QList<CopyPair> &pairs, int delayMs)
{
    constexpr int kSteps = 1000; // the byte counts may not fit the dialog's int range
    QProgressDialog dialog(QStringLiteral("正在另存为，请稍候……"), QStringLiteral("取消"), 0, kSteps, owner);
    dialog.setWindowTitle(Qurel::kClientCaption);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(delayMs);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setValue(0);
    return FileCopier().Run(pairs, [&dialog](qint64 done, qint64 total) {
        if (total > 0)
            dialog.setValue(int(done * kSteps / total));
        return !dialog.wasCanceled();
    });
}

} // namespace Qurel
