#pragma once
// What `qurelctl status` tells about the running client, as one line of
// key=value fields: the control connection, the lesson's state, the time
// recorded, the title and the file.

#include <QString>

namespace Qurel {

struct ClientStatus
{
    QString link; // RecorderLink::StateName, or "manual"
    QString state; // "idle", "starting", "recording", "stopping"
    QString title;
    qint64 elapsedSeconds = 0;
    QString file;
};

// link=connected state=recording elapsed=00:01:02 title="示例课程" file="/path/x.mp4"
// Title and file are quoted with \" \\ and control characters escaped, so the
// line stays one line whatever they hold.
QString FormatStatusLine(const ClientStatus &status);

} // namespace Qurel
