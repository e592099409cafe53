#include "KeeperTypes.h"

namespace Qurel {

bool KeeperSettings::operator==(const KeeperSettings &other) const
{
    return address == other.address && httpPort == other.httpPort && username == other.username
        && password == other.password && savePath == other.savePath && autoRec == other.autoRec
        && titleTime == other.titleTime && creditTime == other.creditTime
        && maxLessonMinutes == other.maxLessonMinutes;
}

bool KeeperSnapshot::operator==(const KeeperSnapshot &other) const
{
    return link == other.link && linkText == other.linkText && linkTextVisible == other.linkTextVisible
        && state == other.state && title == other.title && file == other.file && startTime == other.startTime
        && warning == other.warning && retry == other.retry && unfinishedFiles == other.unfinishedFiles
        && settled == other.settled;
}

} // namespace Qurel
