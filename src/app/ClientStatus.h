#pragma once
// Interim: the client's state for `qurelctl status` (to be replaced).
#include <QString>
namespace Qurel {
struct ClientStatus
{
    QString link;
    QString state;
    QString title;
    qint64 elapsedSeconds = 0;
    QString file;
};
QString FormatStatusLine(const ClientStatus &s);
} // namespace Qurel
