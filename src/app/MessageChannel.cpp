#include "MessageChannel.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>

namespace Qurel {

namespace {
    // Answers a sender has not read yet; past this it is not reading them at all.
    constexpr qint64 kMaxUnreadAnswers = 64 * 1024;

    bool connectToClient(
        QLocalSocket &socket, const QString &name, QIODevice::OpenMode mode, int timeoutMs, QString *error)
    {
        socket.connectToServer(name, mode);
        if (socket.waitForConnected(timeoutMs))
            return true;
        if (error)
            *error = socket.errorString();
        return false;
    }
} // namespace

MessageChannel::MessageChannel(QObject *parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &MessageChannel::acceptConnections);
}

MessageChannel::~MessageChannel() = default;

bool MessageChannel::listen(const QString &name)
{
    if (name.isEmpty()) {
        m_error = QStringLiteral("no private folder for the socket");
        return false;
    }
    m_error.clear();
    QLocalServer::removeServer(name);
    return m_server->listen(name);
}

QString MessageChannel::errorString() const
{
    return m_error.isEmpty() ? m_server->errorString() : m_error;
}

void MessageChannel::setStatusProvider(std::function<QString()> provider)
{
    m_statusProvider = std::move(provider);
}

std::optional<QString> MessageChannel::answerTo(const QString &line) const
{
    if (line == kPingRequest)
        return kPingAnswer;
    if (line != kStatusRequest)
        return std::nullopt;
    QString status = m_statusProvider ? m_statusProvider() : QStringLiteral("status unavailable");
    // The answer is one line, whatever the provider gave.
    status.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return status;
}

void MessageChannel::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readLines(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        readLines(socket);
    }
}

void MessageChannel::readLines(QLocalSocket *socket)
{
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(kMaxMessageLine + 2);
        if (!line.endsWith('\n')) {
            socket->abort();
            return;
        }
        const QString text = QString::fromUtf8(line).trimmed();
        if (const auto answer = answerTo(text)) {
            socket->write(answer->toUtf8() + '\n');
            if (socket->bytesToWrite() > kMaxUnreadAnswers) {
                socket->abort();
                return;
            }
        } else if (const auto message = ParseExternalMessage(text)) {
            emit messageReceived(*message);
        }
    }
    if (socket->bytesAvailable() > kMaxMessageLine)
        socket->abort();
}

bool SendExternalMessage(const ExternalMessage &message, const QString &name, int timeoutMs, QString *error)
{
    QLocalSocket socket;
    if (!connectToClient(socket, name, QIODevice::WriteOnly, timeoutMs, error))
        return false;
    socket.write(FormatExternalMessage(message).toUtf8() + '\n');
    const bool written = socket.waitForBytesWritten(timeoutMs) || socket.bytesToWrite() == 0;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    if (!written && error)
        *error = socket.errorString();
    return written;
}

std::optional<QString> AskClient(const QString &request, const QString &name, int timeoutMs, QString *error)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    if (!connectToClient(socket, name, QIODevice::ReadWrite, timeoutMs, error))
        return std::nullopt;
    socket.write(request.toUtf8() + '\n');
    while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired())
        socket.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1)));
    if (!socket.canReadLine()) {
        if (error)
            *error = QStringLiteral("no answer from the client");
        return std::nullopt;
    }
    return QString::fromUtf8(socket.readLine()).trimmed();
}

} // namespace Qurel
