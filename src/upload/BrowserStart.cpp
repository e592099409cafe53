#include "BrowserStart.h"

#include <QFileInfo>
#include <QLibraryInfo>

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

    bool SandboxOff()
    {
        return qEnvironmentVariableIntValue("QTWEBENGINE_DISABLE_SANDBOX") != 0
            || qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QLatin1String("--no-sandbox"));
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

void PrepareBrowserForRoot()
{
    if (RunningAsRoot() && !SandboxOff())
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

QString BrowserStartProblem()
{
    if (RunningAsRoot() && !SandboxOff())
        return QStringLiteral("running as root with the sandbox on");
    const QString helper = HelperProgram();
    if (!QFileInfo(helper).isExecutable())
        return QStringLiteral("%1 is missing").arg(helper);
    return {};
}

} // namespace Qurel
