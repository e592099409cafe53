#pragma once
// The keeper's end of the wire: a local socket server that hands the views' commands to the
// keeper as signals and sends the keeper's snapshot and events to every attached view. It answers
// "status" and "ping" itself from the last snapshot, so a busy keeper still answers at once.
// Commands and events are described in KeeperProtocol.h.

#include "KeeperProtocol.h"

#include <QHash>
#include <QObject>

class QLocalServer;
class QLocalSocket;

namespace Qurel {

class KeeperServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KeeperServer)

public:
    // Who may connect: the keeper's user only (a user's keeper, socket mode 0600), or its group
    // too (a system instance, 0660).
    enum class Access { User, Group };

    explicit KeeperServer(QObject *parent = nullptr);
    // Closes as close() does.
    ~KeeperServer() override;

    // Listens at the socket path `path`. The caller holds the keeper's lock, so a socket left
    // behind by a keeper that died is removed first. False with `error` when it cannot listen.
    bool listen(const QString &path, Access access, QString *error);
    QString socketPath() const;
    // Sends the views what is still queued for them (waiting at most timeoutMs for each), ends
    // their connections and removes the socket.
    void close(int timeoutMs = 1000);

    // A keeper that runs as a service goes on when its windows close: a view's "finish" is then
    // answered with this reason instead of reaching the keeper. Empty (the default): it reaches it.
    void setFinishRefusal(const QString &reason);
    // Who started the keeper, told to every view with the snapshot, and a system instance's
    // recordings folder. A service refuses a view's settings (it keeps its own file's).
    void setRole(KeeperRole role, const QString &recordings = QString());
    // Views attached as windows, and all connections.
    int attachedWindows() const;
    int connectionCount() const;

public slots:
    // The keeper's state and events; each goes to every attached view.
    void publishSnapshot(const Qurel::KeeperSnapshot &snapshot);
    void publishMessage(const QString &text);
    void publishLessonFinished(const QString &mp4Path);
    void publishFinished();

signals:
    // A view's commands.
    void startRequested();
    void stopRequested();
    void hotKeyRequested(int virtualKey);
    void reloadRequested();
    void settingsGiven(const Qurel::KeeperSettings &settings);
    void finishRequested();
    // A window attached or left.
    void attachedWindowsChanged(int windows);

private:
    struct View
    {
        bool attached = false;
        bool window = false;
    };

    void acceptConnections();
    void readLines(QLocalSocket *socket);
    void handle(QLocalSocket *socket, const KeeperCommand &command);
    void send(QLocalSocket *socket, const QByteArray &line);
    void sendToAttached(const QByteArray &line);
    void forget(QLocalSocket *socket);
    QByteArray snapshotLine(const KeeperSnapshot &snapshot) const;

    QLocalServer *m_server = nullptr;
    QHash<QLocalSocket *, View> m_views;
    KeeperSnapshot m_snapshot;
    QByteArray m_snapshotLine;
    QString m_finishRefusal;
    KeeperRole m_role = KeeperRole::User;
    QString m_recordings;
};

// Serves `keeper` (a LessonKeeper, or anything with its snapshot(), slots and signals) through
// `server`: its snapshot and events go to the views, the views' start, stop, hot keys and finish
// reach it. A reload is the caller's to handle (it knows where the settings come from). Call it on
// the keeper's thread; the connections are queued when the two live on different threads.
template <typename Keeper> void ServeKeeper(KeeperServer &server, Keeper &keeper)
{
    server.publishSnapshot(keeper.snapshot());
    QObject::connect(&keeper, &Keeper::snapshotChanged, &server, &KeeperServer::publishSnapshot);
    QObject::connect(&keeper, &Keeper::message, &server, &KeeperServer::publishMessage);
    QObject::connect(&keeper, &Keeper::lessonFinished, &server, &KeeperServer::publishLessonFinished);
    QObject::connect(&keeper, &Keeper::finished, &server, &KeeperServer::publishFinished);
    QObject::connect(&server, &KeeperServer::startRequested, &keeper, &Keeper::startLesson);
    QObject::connect(&server, &KeeperServer::stopRequested, &keeper, &Keeper::stopLesson);
    QObject::connect(&server, &KeeperServer::hotKeyRequested, &keeper, &Keeper::hotKey);
    QObject::connect(&server, &KeeperServer::finishRequested, &keeper, &Keeper::finish);
}

} // namespace Qurel
