#pragma once
// The user's XDG autostart entry, which makes the desktop session start the client at login.

#include <QByteArray>
#include <QString>

namespace Qurel {

// $XDG_CONFIG_HOME/autostart/<desktop id>.desktop (default ~/.config/autostart/).
QString AutostartEntryPath();

// The entry's text for the client executable `client` (an absolute path).
QByteArray AutostartEntry(const QString &client);

// Whether the session will start the client: the entry exists and is neither hidden nor
// switched off.
bool IsAutostartOn();

// Writes the entry that starts `client`, or removes it. On failure returns false and sets `error`.
bool SetAutostart(bool on, const QString &client, QString *error);

} // namespace Qurel
