#include "MessageChannel.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace Qurel {

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
    QLocalServer::removeServer(name);
    return m_server->listen(name);
}

QString MessageChannel::errorString() const
{
    return m_server->errorString();
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
        if (const auto message = ParseExternalMessage(QString::fromUtf8(line).trimmed()))
            emit messageReceived(*message);
    }
    if (socket->bytesAvailable() > kMaxMessageLine)
        socket->abort();
}

bool SendExternalMessage(const ExternalMessage &message, const QString &name, int timeoutMs, QString *error)
{
    QLocalSocket socket;
    socket.connectToServer(name, QIODevice::WriteOnly);
    if (!socket.waitForConnected(timeoutMs)) {
        if (error)
            *error = socket.errorString();
        return false;
    }
    socket.write(FormatExternalMessage(message).toUtf8() + '\n');
    const bool written = socket.waitForBytesWritten(timeoutMs) || socket.bytesToWrite() == 0;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    if (!written && error)
        *error = socket.errorString();
    return written;
}

} // namespace Qurel
