#pragma once
// qureld's run: holds the keeper's lock, reads the settings, readies the relay library, serves a
// LessonKeeper on the socket,
// reads the settings again when a view asks, and on SIGTERM or SIGINT finishes the lesson's files
// before it ends.

#include "DaemonOptions.h"
#include "KeeperPlace.h"
#include "KeeperServer.h"

#include <QObject>

#include <memory>

namespace Qurel {

class InstanceGuard;
class LessonKeeper;
class RelayLibrary;

class KeeperDaemon final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KeeperDaemon)

public:
    // Exit statuses: finished; could not start (another keeper runs here, no socket);
    // bad options or settings (systemd does not start such a keeper again).
    enum ExitStatus { Finished = 0, CannotStart = 1, BadSettings = 2 };

    KeeperDaemon(DaemonOptions options, KeeperPlace place, QObject *parent = nullptr);
    ~KeeperDaemon() override;

    // Starts keeping. False with `error` and the exit status when it cannot; nothing runs then.
    bool start(QString *error, ExitStatus *status);
    // SIGTERM, SIGINT: finishes the lesson's files, then ends. Another signal meanwhile changes
    // nothing (systemd's stop time-out bounds the wait).
    void stop(int signalNumber);

signals:
    void done(int exitStatus);

private:
    void reload();
    void take(const KeeperSettings &settings);
    void end(ExitStatus status);

    DaemonOptions m_options;
    KeeperPlace m_place;
    std::unique_ptr<InstanceGuard> m_guard;
    KeeperServer m_server;
    // The relay outlives the keeper that records through it.
    std::unique_ptr<RelayLibrary> m_relay;
    std::unique_ptr<LessonKeeper> m_keeper;
    bool m_stopping = false;
};

} // namespace Qurel
