#include "KeeperSocket.h"

#include "RuntimeFolder.h"

#include <QRegularExpression>

namespace Qurel {

QString UserKeeperSocketPath()
{
    const QString folder = RuntimeFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/qureld");
}

bool IsKeeperInstanceName(const QString &instance)
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9_@][A-Za-z0-9_.@-]{0,63}")));
    return pattern.match(instance).hasMatch();
}

QString KeeperInstanceNameRule()
{
    return QStringLiteral("an instance name has 1 to 64 of the characters A-Z a-z 0-9 _ - . @ "
                          "and begins with neither '.' nor '-'");
}

QString SystemKeeperSocketPath(const QString &instance, const QString &runFolder)
{
    return runFolder + QLatin1Char('/') + instance + QStringLiteral(".sock");
}

} // namespace Qurel
