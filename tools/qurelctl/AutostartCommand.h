#pragma once
// qurelctl autostart [on|off]: switches the user's autostart entry for the client, or says
// which is set.

#include <QStringList>

// args: what follows "autostart". Returns the exit status (0 done, 1 failed, 2 bad command).
int RunAutostartCommand(const QStringList &args);
