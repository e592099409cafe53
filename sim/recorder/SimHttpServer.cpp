#include "SimHttpServer.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

namespace Qurel::Sim {

namespace {

    const char kBufferProperty[] = "qurelHttpBuffer";

    QByteArray reasonPhrase(int status)
    {
        switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 413:
            return "Payload Too Large";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
        }
    }

    QString cgiDecode(QByteArray text)
    {
        text.replace('+', ' ');
        return QString::fromUtf8(QByteArray::fromPercentEncoding(text));
    }

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

    struct ParsedHead
    {
        HttpRequest request;
        qsizetype bodyStart = 0;
    };

    std::optional<ParsedHead> parseHead(const QByteArray &buffer, qsizetype headEnd)
    {
        ParsedHead head;
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        if (requestLine.size() != 3 || requestLine.at(0).isEmpty() || !requestLine.at(1).startsWith('/'))
            return std::nullopt;
        head.request.method = requestLine.at(0);
        head.request.target = requestLine.at(1);
        head.request.version = requestLine.at(2);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            if (line.isEmpty())
                continue;
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                return std::nullopt;
            head.request.headers.append({ line.left(colon).trimmed(), line.mid(colon + 1).trimmed() });
        }
        head.bodyStart = headEnd + 4;
        return head;
    }

} // namespace

QByteArray HeaderValue(const HeaderList &headers, const QByteArray &name)
{
    for (const auto &h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    return {};
}

QString HttpRequest::path() const
{
    const qsizetype q = target.indexOf('?');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(q < 0 ? target : target.left(q)));
}

QByteArray HttpRequest::rawQuery() const
{
    const qsizetype q = target.indexOf('?');
    return q < 0 ? QByteArray() : target.mid(q + 1);
}

QList<QPair<QString, QString>> HttpRequest::queryItems() const
{
    QList<QPair<QString, QString>> items;
    const QByteArray query = rawQuery();
    if (query.isEmpty())
        return items;
    for (const QByteArray &pair : query.split('&')) {
        const qsizetype eq = pair.indexOf('=');
        if (eq < 0)
            items.append({ cgiDecode(pair), QString() });
        else
            items.append({ cgiDecode(pair.left(eq)), cgiDecode(pair.mid(eq + 1)) });
    }
    return items;
}

QString HttpRequest::queryValue(const QString &name) const
{
    for (const auto &item : queryItems())
        if (item.first == name)
            return item.second.isNull() ? QStringLiteral("") : item.second;
    return {};
}

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

    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        if (buffer.size() > kMaxHeaderBytes)
            answer(socket, { 431, "text/plain", "header too large\n" });
        return;
    }
    const auto head = parseHead(buffer, headEnd);
    if (!head) {
        answer(socket, { 400, "text/plain", "bad request\n" });
        return;
    }
    HttpRequest request = head->request;
    const QByteArray data = buffer.mid(head->bodyStart);
    const bool expectContinue = request.header("Expect").compare("100-continue", Qt::CaseInsensitive) == 0;
    if (expectContinue && data.isEmpty() && !socket->property("qurelContinued").toBool()) {
        socket->setProperty("qurelContinued", true);
        socket->write("HTTP/1.1 100 Continue\r\n\r\n");
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
        bool ok = true;
        const QByteArray lengthText = request.header("Content-Length");
        const qlonglong length = lengthText.isEmpty() ? 0 : lengthText.toLongLong(&ok);
        if (!ok || length < 0) {
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
            QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' '
                + reasonPhrase(response.status) + "\r\nContent-Type: " + response.contentType
                + "\r\nContent-Length: " + QByteArray::number(response.body.size())
                + "\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n";
            guard->write(head + response.body);
        }
        guard->disconnectFromHost();
    };
    if (response.delayMs > 0)
        QTimer::singleShot(response.delayMs, this, send);
    else
        send();
}

} // namespace Qurel::Sim
