#pragma once
// Where one keeper lives: its socket and lock, its journal and lesson log, and for a system
// instance the recordings folder its group shares. A user's keeper lives in the user's runtime
// and data folders; a system instance in the folders systemd made for it.

#include "KeeperServer.h"
#include "KeeperTypes.h"

#include <QProcessEnvironment>
#include <QString>

namespace Qurel {

struct KeeperPlace
{
    bool service = false; // a system instance
    QString socketPath;
    KeeperServer::Access access = KeeperServer::Access::User;
    QString lockFolder; // holds the lock lockName.lock that makes the keeper the only one here
    QString lockName;
    KeeperPaths paths; // the journal and the lesson log
    // A system instance: the recordings folder when the settings name none (group-writable), and
    // the folder of the keeper's own files (its user only). Empty for a user's keeper.
    QString recordingsFolder;
    QString privateFolder;

    static KeeperPlace ForUser();
    // The folders come from systemd's STATE_DIRECTORY, LOGS_DIRECTORY and RUNTIME_DIRECTORY in
    // `environment`, else /var/lib/qurel/NAME, /var/log/qurel/NAME and /run/qurel.
    static KeeperPlace ForInstance(const QString &instance, const QProcessEnvironment &environment);

    // A system instance makes its folders with their rights: the recordings folder and its
    // Image/ 2770 (the group lists, plays, copies and deletes; the setgid bit keeps the group on
    // what members put there), its own folder 0700. It also points the per-user folders (XDG data,
    // configuration, cache) into its own folder, the only place besides its state and log folders
    // it may write. False with `error` when a folder cannot be made.
    bool prepare(QString *error) const;
};

} // namespace Qurel
