#include "SimHttpServer.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace Qurel::Sim {

namespace {

    const char kBufferProperty[] = "qurelHttpBuffer";

    // A chunked body: complete once the last chunk arrived, bad when malformed.
    struct Dechunked
    {
        bool complete = false;
        bool bad = false;
        QByteArray body;
    };

    Dechunked dechunk(const QByteArray &data)
    {
        Dechunked out;
        qsizetype pos = 0;
        while (true) {
            const qsizetype lineEnd = data.indexOf("\r\n", pos);
            if (lineEnd < 0)
                return out;
            QByteArray sizeText = data.mid(pos, lineEnd - pos);
            const qsizetype semi = sizeText.indexOf(';');
            if (semi >= 0)
                sizeText.truncate(semi);
            bool ok = false;
            const qlonglong size = sizeText.trimmed().toLongLong(&ok, 16);
            if (!ok || size < 0 || out.body.size() + size > SimHttpServer::kMaxBodyBytes) {
                out.bad = true;
                return out;
            }
            pos = lineEnd + 2;
            if (size == 0) {
                out.complete = data.indexOf("\r\n", pos) >= 0;
                return out;
            }
            if (data.size() < pos + size + 2)
                return out;
            out.body.append(data.mid(pos, size));
            pos += size + 2;
        }
    }

} // namespace

SimHttpServer::SimHttpServer(Handler handler, QObject *parent)
    : QObject(parent)
    , m_handler(std::move(handler))
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &SimHttpServer::onNewConnection);
}

SimHttpServer::~SimHttpServer() = default;

bool SimHttpServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server->listen(address, port);
}

quint16 SimHttpServer::port() const
{
    return m_server->serverPort();
}

QString SimHttpServer::errorString() const
{
    return m_server->errorString();
}

QAbstractSocket::SocketError SimHttpServer::serverError() const
{
    return m_server->serverError();
}

void SimHttpServer::close()
{
    m_server->close();
    for (QTcpSocket *socket : findChildren<QTcpSocket *>())
        socket->abort();
}

void SimHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void SimHttpServer::onReadyRead(QTcpSocket *socket)
{
    if (socket->property("qurelAnswered").toBool()) {
        socket->readAll();
        return;
    }
    QByteArray buffer = socket->property(kBufferProperty).toByteArray() + socket->readAll();
    socket->setProperty(kBufferProperty, buffer);

    const HeadScan scan = ScanRequestHead(buffer);
    if (scan.status == HeadScan::Status::NeedMore)
        return;
    if (scan.status == HeadScan::Status::TooLarge) {
        answer(socket, { 431, "text/plain", "header too large\n" });
        return;
    }
    if (scan.status == HeadScan::Status::Bad) {
        answer(socket, { 400, "text/plain", "bad request\n" });
        return;
    }
    HttpRequest request { scan.head, {} };
    const QByteArray data = buffer.mid(scan.bodyStart);
    if (request.expectsContinue() && data.isEmpty() && !socket->property("qurelContinued").toBool()) {
        socket->setProperty("qurelContinued", true);
        socket->write(kContinueAnswer);
    }
    if (request.header("Transfer-Encoding").toLower().contains("chunked")) {
        const Dechunked body = dechunk(data);
        if (body.bad) {
            answer(socket, { 400, "text/plain", "bad chunked body\n" });
            return;
        }
        if (!body.complete)
            return;
        request.body = body.body;
    } else {
        const qint64 length = request.contentLength(0);
        if (length < 0) {
            answer(socket, { 400, "text/plain", "bad Content-Length\n" });
            return;
        }
        if (length > kMaxBodyBytes) {
            answer(socket, { 413, "text/plain", "body too large\n" });
            return;
        }
        if (data.size() < length)
            return;
        request.body = data.left(length);
    }
    socket->setProperty(kBufferProperty, QByteArray());
    answer(socket, m_handler(request));
}

void SimHttpServer::answer(QTcpSocket *socket, const HttpResponse &response)
{
    socket->setProperty("qurelAnswered", true);
    QPointer<QTcpSocket> guard(socket);
    auto send = [guard, response] {
        if (!guard)
            return;
        if (!response.hangUp) {
            guard->write(
                ResponseHead(response.status, response.contentType, response.body.size(), false) + response.body);
        }
        guard->disconnectFromHost();
    };
    if (response.delayMs > 0)
        QTimer::singleShot(response.delayMs, this, send);
    else
        send();
}

} // namespace Qurel::Sim
