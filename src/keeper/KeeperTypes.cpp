#include "KeeperTypes.h"

#include "ProgramFolder.h"

namespace Qurel {

bool KeeperSettings::operator==(const KeeperSettings &o) const
{
    return address == o.address && httpPort == o.httpPort && username == o.username && password == o.password
        && savePath == o.savePath && autoRec == o.autoRec && titleTime == o.titleTime
        && creditTime == o.creditTime && maxLessonMinutes == o.maxLessonMinutes;
}

bool KeeperSnapshot::operator==(const KeeperSnapshot &o) const
{
    return link == o.link && linkText == o.linkText && linkTextVisible == o.linkTextVisible && state == o.state
        && title == o.title && file == o.file && startTime == o.startTime && warning == o.warning
        && retry == o.retry && unfinishedFiles == o.unfinishedFiles && settled == o.settled;
}

KeeperPaths KeeperPaths::ForUser()
{
    return InFolder(UserDataFolder());
}

KeeperPaths KeeperPaths::InFolder(const QString &stateFolder)
{
    QString folder = stateFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return { folder + QStringLiteral("lesson-journal.json"), folder + QStringLiteral("lessons.log") };
}

} // namespace Qurel
