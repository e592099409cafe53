#include "KeeperServer.h"

#include <QDateTime>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

namespace Qurel {

namespace {
    // More views than this at once is a runaway script, not a classroom.
    constexpr int kMaxConnections = 64;
    // Events a view has not read yet; past this it is not reading them at all.
    constexpr qint64 kMaxUnread = 4 * 1024 * 1024;
} // namespace

KeeperServer::KeeperServer(QObject *parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
{
    m_snapshotLine = snapshotLine(m_snapshot);
    connect(m_server, &QLocalServer::newConnection, this, &KeeperServer::acceptConnections);
}

KeeperServer::~KeeperServer()
{
    // Nobody listens to a server that is going away.
    blockSignals(true);
    close();
}

bool KeeperServer::listen(const QString &path, Access access, QString *error)
{
    // Qt creates the socket in a private folder, sets these rights and only then moves it into
    // place, so it is never reachable with wider rights; the mode is then narrowed to read and
    // write (a socket needs no execute right).
    QLocalServer::SocketOptions options = QLocalServer::UserAccessOption;
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
    if (access == Access::Group) {
        options |= QLocalServer::GroupAccessOption;
        permissions |= QFile::ReadGroup | QFile::WriteGroup;
    }
    m_server->setSocketOptions(options);
    QLocalServer::removeServer(path);
    if (!m_server->listen(path) || !QFile::setPermissions(path, permissions)) {
        if (error)
            *error = QStringLiteral("cannot listen at %1: %2").arg(path, m_server->errorString());
        m_server->close();
        return false;
    }
    return true;
}

QString KeeperServer::socketPath() const
{
    return m_server->fullServerName();
}

void KeeperServer::close(int timeoutMs)
{
    m_server->close();
    const auto sockets = m_views.keys();
    for (QLocalSocket *socket : sockets) {
        if (socket->bytesToWrite() > 0)
            socket->waitForBytesWritten(timeoutMs);
        socket->disconnectFromServer();
        forget(socket);
    }
}

void KeeperServer::setFinishRefusal(const QString &reason)
{
    m_finishRefusal = reason;
}

void KeeperServer::setRole(KeeperRole role, const QString &recordings)
{
    m_role = role;
    m_recordings = recordings;
    m_snapshotLine = snapshotLine(m_snapshot);
    sendToAttached(m_snapshotLine);
}

QByteArray KeeperServer::snapshotLine(const KeeperSnapshot &snapshot) const
{
    KeeperEvent event { KeeperEvent::Kind::Snapshot, snapshot, {}, 0 };
    event.role = m_role;
    event.recordings = m_recordings;
    return EncodeKeeperEvent(event);
}

int KeeperServer::attachedWindows() const
{
    int windows = 0;
    for (const View &view : m_views)
        windows += view.attached && view.window ? 1 : 0;
    return windows;
}

int KeeperServer::connectionCount() const
{
    return int(m_views.size());
}

void KeeperServer::publishSnapshot(const KeeperSnapshot &snapshot)
{
    QByteArray line = snapshotLine(snapshot);
    m_snapshot = snapshot;
    if (line == m_snapshotLine)
        return;
    m_snapshotLine = std::move(line);
    sendToAttached(m_snapshotLine);
}

void KeeperServer::publishMessage(const QString &text)
{
    sendToAttached(EncodeKeeperEvent({ KeeperEvent::Kind::Message, {}, text, 0 }));
}

void KeeperServer::publishLessonFinished(const QString &mp4Path)
{
    sendToAttached(EncodeKeeperEvent({ KeeperEvent::Kind::LessonFinished, {}, mp4Path, 0 }));
}

void KeeperServer::publishFinished()
{
    sendToAttached(EncodeKeeperEvent({ KeeperEvent::Kind::Finished, {}, {}, 0 }));
}

void KeeperServer::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        if (m_views.size() >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_views.insert(socket, View {});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readLines(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { forget(socket); });
        readLines(socket);
    }
}

void KeeperServer::readLines(QLocalSocket *socket)
{
    const bool fits = ReadKeeperLines(*socket, [this, socket](const QByteArray &line) {
        QString error;
        if (const auto command = DecodeKeeperCommand(line, &error))
            handle(socket, *command);
        else
            send(socket, EncodeKeeperEvent({ KeeperEvent::Kind::Error, {}, error, 0 }));
        return m_views.contains(socket);
    });
    if (!fits && m_views.contains(socket)) {
        socket->abort();
        forget(socket);
    }
}

void KeeperServer::handle(QLocalSocket *socket, const KeeperCommand &command)
{
    switch (command.kind) {
    case KeeperCommand::Kind::Attach: {
        View &view = m_views[socket];
        const int windowsBefore = attachedWindows();
        view.attached = true;
        view.window = command.window;
        send(socket, m_snapshotLine);
        if (attachedWindows() != windowsBefore)
            emit attachedWindowsChanged(attachedWindows());
        break;
    }
    case KeeperCommand::Kind::Start:
        emit startRequested();
        break;
    case KeeperCommand::Kind::Stop:
        emit stopRequested();
        break;
    case KeeperCommand::Kind::HotKey:
        emit hotKeyRequested(command.virtualKey);
        break;
    case KeeperCommand::Kind::Reload:
        emit reloadRequested();
        break;
    case KeeperCommand::Kind::Settings:
        if (m_role == KeeperRole::Service)
            send(socket, EncodeKeeperEvent({ KeeperEvent::Kind::Error, {},
                QStringLiteral("this keeper runs as a system service and keeps the settings of its own file"), 0 }));
        else
            emit settingsGiven(command.settings);
        // The answer: the keeper as it stands with them (the window waits for it as it starts).
        send(socket, m_snapshotLine);
        break;
    case KeeperCommand::Kind::Finish:
        if (m_finishRefusal.isEmpty())
            emit finishRequested();
        else
            send(socket, EncodeKeeperEvent({ KeeperEvent::Kind::Error, {}, m_finishRefusal, 0 }));
        break;
    case KeeperCommand::Kind::Status: {
        const int windows = attachedWindows();
        const QString line = KeeperStatusLine(m_snapshot, windows, QDateTime::currentDateTime());
        send(socket, EncodeKeeperEvent({ KeeperEvent::Kind::Status, m_snapshot, line, windows }));
        break;
    }
    case KeeperCommand::Kind::Ping:
        send(socket, EncodeKeeperEvent({ KeeperEvent::Kind::Pong, {}, {}, 0 }));
        break;
    }
}

void KeeperServer::send(QLocalSocket *socket, const QByteArray &line)
{
    if (!m_views.contains(socket))
        return;
    socket->write(line);
    if (socket->bytesToWrite() > kMaxUnread) {
        socket->abort();
        forget(socket);
    }
}

void KeeperServer::sendToAttached(const QByteArray &line)
{
    const auto sockets = m_views.keys();
    for (QLocalSocket *socket : sockets) {
        if (m_views.value(socket).attached)
            send(socket, line);
    }
}

void KeeperServer::forget(QLocalSocket *socket)
{
    const auto found = m_views.find(socket);
    if (found == m_views.end())
        return;
    const bool window = found->attached && found->window;
    m_views.erase(found);
    socket->disconnect(this);
    socket->deleteLater();
    if (window)
        emit attachedWindowsChanged(attachedWindows());
}

} // namespace Qurel
