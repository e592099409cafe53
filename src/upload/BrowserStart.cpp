#include "BrowserStart.h"

#include <QFileInfo>
#include <QLibraryInfo>
#include <QStringList>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace Qurel {

namespace {
    bool RunningAsRoot()
    {
#if defined(Q_OS_UNIX)
        return ::geteuid() == 0;
#else
        return false;
#endif
    }

    QString HelperProgram()
    {
        const QString configured = qEnvironmentVariable("QTWEBENGINE_PROCESS_PATH");
        if (!configured.isEmpty())
            return configured;
        return QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath)
            + QStringLiteral("/QtWebEngineProcess");
    }
} // namespace

void KeepBrowserSandboxed()
{
    qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    const QString flags = qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS");
    if (flags.isEmpty())
        return;
    QStringList kept;
    for (const QString &flag : flags.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!flag.startsWith(QLatin1String("--no-sandbox")) && !flag.startsWith(QLatin1String("--disable-seccomp"))
            && !flag.startsWith(QLatin1String("--disable-namespace-sandbox"))
            && !flag.startsWith(QLatin1String("--disable-setuid-sandbox")))
            kept << flag;
    }
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", kept.join(QLatin1Char(' ')).toLocal8Bit());
}

BrowserStartCheck CheckBrowserStart()
{
    const QString helper = HelperProgram();
    if (!QFileInfo(helper).isExecutable())
        return { BrowserBlock::NoHelper, QStringLiteral("%1 is missing").arg(helper) };
    if (RunningAsRoot())
        return { BrowserBlock::Root, QStringLiteral("running as root, where the browser's sandbox cannot run") };
    return {};
}

} // namespace Qurel
