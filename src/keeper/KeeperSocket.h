#pragma once
// Where a keeper's socket lives. A user's keeper (the one the window starts) listens in the
// per-user runtime folder, readable by that user only; a system instance (one per recorder, run by
// systemd as user qurel) listens in /run/qurel, open to the members of group qurel.

#include <QString>

namespace Qurel {

// $XDG_RUNTIME_DIR/qureld, or in the runtime folder's private fallback; empty when the user has
// no private folder for it.
QString UserKeeperSocketPath();

// The folder of the system instances' sockets and locks.
inline const QString kSystemKeeperRunFolder = QStringLiteral("/run/qurel");

// An instance names a recorder's room and becomes part of file names (/etc/qurel/NAME.ini,
// /var/lib/qurel/NAME/, /run/qurel/NAME.sock): 1 to 64 of the letters, digits, '_', '-', '.' and
// '@', not beginning with '.' or '-'.
bool IsKeeperInstanceName(const QString &instance);
// What is wrong with a refused instance name, in one sentence.
QString KeeperInstanceNameRule();

// runFolder/INSTANCE.sock; the caller has checked the name.
QString SystemKeeperSocketPath(const QString &instance, const QString &runFolder = kSystemKeeperRunFolder);

} // namespace Qurel
