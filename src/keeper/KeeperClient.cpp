#include "KeeperClient.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonObject>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>

namespace Qurel {

KeeperClient::KeeperClient(QObject *parent)
    : KeeperClient(Options {}, parent)
{
}

KeeperClient::KeeperClient(Options options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_socket(new QLocalSocket(this))
    , m_reconnect(new QTimer(this))
    , m_ping(new QTimer(this))
{
    m_reconnect->setSingleShot(true);
    m_reconnect->setInterval(m_options.reconnectMs);
    m_ping->setInterval(m_options.pingMs);
    connect(m_reconnect, &QTimer::timeout, this, &KeeperClient::attempt);
    connect(m_ping, &QTimer::timeout, this, &KeeperClient::pingOrGiveUp);
    connect(m_socket, &QLocalSocket::connected, this, &KeeperClient::attached);
    connect(m_socket, &QLocalSocket::readyRead, this, &KeeperClient::readLines);
    connect(m_socket, &QLocalSocket::disconnected, this, &KeeperClient::lost);
    // A refused or failed attempt ends without disconnected().
    connect(m_socket, &QLocalSocket::errorOccurred, this, &KeeperClient::lost);
}

KeeperClient::~KeeperClient()
{
    blockSignals(true);
    disconnectFromKeeper();
}

void KeeperClient::connectToKeeper(const QString &path)
{
    disconnectFromKeeper();
    m_path = path;
    m_wanted = true;
    attempt();
}

void KeeperClient::disconnectFromKeeper()
{
    m_wanted = false;
    m_reconnect->stop();
    m_ping->stop();
    m_socket->abort();
    setAnswering(false);
}

bool KeeperClient::startLesson()
{
    return send({ KeeperCommand::Kind::Start });
}

bool KeeperClient::stopLesson()
{
    return send({ KeeperCommand::Kind::Stop });
}

bool KeeperClient::hotKey(int virtualKey)
{
    return send({ KeeperCommand::Kind::HotKey, virtualKey });
}

bool KeeperClient::reloadSettings()
{
    return send({ KeeperCommand::Kind::Reload });
}

bool KeeperClient::giveSettings(const KeeperSettings &settings, int waitMs)
{
    KeeperCommand command { KeeperCommand::Kind::Settings };
    command.settings = settings;
    if (!send(command))
        return false;
    const quint64 heard = m_snapshotsHeard;
    if (waitMs > 0)
        readWhile(waitMs, [this, heard] { return m_snapshotsHeard == heard; });
    return true;
}

void KeeperClient::readWhile(int timeoutMs, const std::function<bool()> &waiting)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (waiting() && m_socket->state() == QLocalSocket::ConnectedState && !deadline.hasExpired()) {
        m_socket->waitForBytesWritten(int(std::max<qint64>(deadline.remainingTime(), 1)));
        m_socket->waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1)));
    }
}

namespace {
    // A process that has ended but was not yet reaped by its parent counts as ended.
    bool processRuns(pid_t pid)
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray line = stat.readAll();
        const int afterName = line.lastIndexOf(')');
        return afterName >= 0 && line.mid(afterName + 2, 1) != "Z";
    }
} // namespace

bool KeeperClient::finishAndWait(int timeoutMs)
{
    // The keeper's process, from the connection's credentials: it has ended only once it is gone,
    // for until then it holds its lock and a new keeper could not start.
    ucred peer {};
    socklen_t size = sizeof peer;
    const bool known = getsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0
        && peer.pid > 0;
    if (!finish())
        return false;
    m_wanted = false;
    m_reconnect->stop();
    m_ping->stop();
    const QDeadlineTimer deadline(timeoutMs);
    readWhile(timeoutMs, [] { return true; });
    const bool ended = m_socket->state() == QLocalSocket::UnconnectedState;
    disconnectFromKeeper();
    while (ended && known && processRuns(peer.pid) && !deadline.hasExpired())
        QThread::msleep(10);
    return ended;
}

bool KeeperClient::waitForAnswer(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const auto remaining = [&deadline] { return int(std::max<qint64>(deadline.remainingTime(), 1)); };
    while (m_wanted && !m_answering && !deadline.hasExpired()) {
        if (m_socket->state() == QLocalSocket::UnconnectedState) {
            m_reconnect->stop();
            attempt();
        }
        // Nobody listens yet: the attempt failed at once; try again shortly.
        if (m_socket->state() == QLocalSocket::UnconnectedState) {
            QThread::msleep(std::min(50, remaining()));
            continue;
        }
        if (m_socket->state() == QLocalSocket::ConnectingState)
            m_socket->waitForConnected(remaining());
        else
            m_socket->waitForReadyRead(remaining());
    }
    return m_answering;
}

bool KeeperClient::finish()
{
    return send({ KeeperCommand::Kind::Finish });
}

void KeeperClient::attempt()
{
    if (!m_wanted || m_socket->state() != QLocalSocket::UnconnectedState)
        return;
    m_socket->connectToServer(m_path);
}

void KeeperClient::attached()
{
    m_lastHeard.start();
    m_socket->write(EncodeKeeperCommand({ KeeperCommand::Kind::Attach, 0, m_options.window }));
    m_ping->start();
}

void KeeperClient::lost()
{
    m_ping->stop();
    if (m_socket->state() != QLocalSocket::UnconnectedState)
        m_socket->abort();
    setAnswering(false);
    if (m_wanted && !m_reconnect->isActive())
        m_reconnect->start();
}

void KeeperClient::readLines()
{
    const bool fits = ReadKeeperLines(*m_socket, [this](const QByteArray &line) {
        m_lastHeard.start();
        // A line this side does not understand (a newer keeper's event) is passed over.
        if (const auto event = DecodeKeeperEvent(line, nullptr))
            handle(*event);
        return m_socket->state() == QLocalSocket::ConnectedState;
    });
    if (!fits)
        lost();
}

void KeeperClient::handle(const KeeperEvent &event)
{
    switch (event.kind) {
    case KeeperEvent::Kind::Snapshot: {
        const bool changed = SnapshotToJson(event.snapshot) != SnapshotToJson(m_snapshot);
        m_snapshot = event.snapshot;
        ++m_snapshotsHeard;
        m_role = event.role;
        m_recordings = event.recordings;
        setAnswering(true);
        if (changed)
            emit snapshotChanged(m_snapshot);
        break;
    }
    case KeeperEvent::Kind::Message:
        emit message(event.text);
        break;
    case KeeperEvent::Kind::LessonFinished:
        emit lessonFinished(event.text);
        break;
    case KeeperEvent::Kind::Finished:
        emit finished();
        break;
    case KeeperEvent::Kind::Error:
        emit refused(event.text);
        break;
    case KeeperEvent::Kind::Pong:
    case KeeperEvent::Kind::Status:
        break;
    }
}

void KeeperClient::pingOrGiveUp()
{
    if (m_lastHeard.isValid() && m_lastHeard.hasExpired(m_options.answerTimeoutMs)) {
        lost();
        return;
    }
    m_socket->write(EncodeKeeperCommand({ KeeperCommand::Kind::Ping }));
}

bool KeeperClient::send(const KeeperCommand &command)
{
    if (!m_answering)
        return false;
    m_socket->write(EncodeKeeperCommand(command));
    return true;
}

void KeeperClient::setAnswering(bool answering)
{
    if (m_answering == answering)
        return;
    m_answering = answering;
    emit answeringChanged(answering);
}

std::optional<KeeperEvent> AskKeeper(
    const QString &path, const KeeperCommand &command, int timeoutMs, QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<KeeperEvent> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QDeadlineTimer deadline(timeoutMs);
    const auto remaining = [&deadline] { return int(std::max<qint64>(deadline.remainingTime(), 1)); };
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(remaining()))
        return fail(socket.errorString());
    socket.write(EncodeKeeperCommand(command));
    QByteArray line;
    while (!deadline.hasExpired()) {
        const KeeperLineRead read = ReadKeeperLine(socket, &line);
        if (read == KeeperLineRead::TooLong)
            return fail(QStringLiteral("the keeper's answer is too long"));
        if (read == KeeperLineRead::NeedMore) {
            if (socket.state() != QLocalSocket::ConnectedState)
                break;
            socket.waitForReadyRead(remaining());
            continue;
        }
        QString why;
        const auto event = DecodeKeeperEvent(line, &why);
        if (!event)
            return fail(QStringLiteral("the keeper's answer is not understood: %1").arg(why));
        if (event->kind == KeeperEvent::Kind::Error)
            return fail(event->text);
        return event;
    }
    return fail(QStringLiteral("no answer from the keeper"));
}

bool KeeperAnswers(const QString &path, int timeoutMs)
{
    const auto answer = AskKeeper(path, { KeeperCommand::Kind::Ping }, timeoutMs, nullptr);
    return answer && answer->kind == KeeperEvent::Kind::Pong;
}

} // namespace Qurel
