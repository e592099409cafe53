#include "HttpHead.h"

namespace Qurel::Sim {

namespace {

    QByteArray reasonPhrase(int status)
    {
        switch (status) {
        case 200:
            return "OK";
        case 302:
            return "Found";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 411:
            return "Length Required";
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

} // namespace

QByteArray HeaderValue(const HeaderList &headers, const QByteArray &name)
{
    for (const auto &h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    return {};
}

QByteArray HeaderParameter(const QByteArray &value, const QByteArray &key)
{
    for (const QByteArray &raw : value.split(';')) {
        const QByteArray item = raw.trimmed();
        const qsizetype eq = item.indexOf('=');
        if (eq <= 0 || item.left(eq).trimmed().compare(key, Qt::CaseInsensitive) != 0)
            continue;
        QByteArray v = item.mid(eq + 1).trimmed();
        if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
            v = v.mid(1, v.size() - 2);
        return v;
    }
    return {};
}

std::optional<HeaderList> ParseHeaderLines(const QByteArray &block)
{
    HeaderList headers;
    for (const QByteArray &raw : block.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty())
            continue;
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return std::nullopt;
        headers.append({ line.left(colon).trimmed(), line.mid(colon + 1).trimmed() });
    }
    return headers;
}

QString FormUrlDecode(const QByteArray &encoded)
{
    QByteArray spaced = encoded;
    spaced.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(spaced));
}

std::optional<HttpRequestHead> HttpRequestHead::Parse(const QByteArray &block)
{
    const qsizetype lineEnd = block.contains('\n') ? block.indexOf('\n') : block.size();
    const QList<QByteArray> requestLine = block.left(lineEnd).trimmed().split(' ');
    if (requestLine.size() != 3 || requestLine.at(0).isEmpty() || !requestLine.at(1).startsWith('/')
        || !requestLine.at(2).startsWith("HTTP/1."))
        return std::nullopt;
    auto headers = ParseHeaderLines(block.mid(lineEnd + 1));
    if (!headers)
        return std::nullopt;
    return HttpRequestHead { requestLine.at(0), requestLine.at(1), requestLine.at(2), *std::move(headers) };
}

QByteArray HttpRequestHead::rawPath() const
{
    const qsizetype q = target.indexOf('?');
    return q < 0 ? target : target.left(q);
}

QString HttpRequestHead::path() const
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(rawPath()));
}

QByteArray HttpRequestHead::rawQuery() const
{
    const qsizetype q = target.indexOf('?');
    return q < 0 ? QByteArray() : target.mid(q + 1);
}

QList<QPair<QString, QString>> HttpRequestHead::queryItems() const
{
    QList<QPair<QString, QString>> items;
    const QByteArray query = rawQuery();
    if (query.isEmpty())
        return items;
    for (const QByteArray &pair : query.split('&')) {
        const qsizetype eq = pair.indexOf('=');
        if (eq < 0)
            items.append({ FormUrlDecode(pair), QString() });
        else
            items.append({ FormUrlDecode(pair.left(eq)), FormUrlDecode(pair.mid(eq + 1)) });
    }
    return items;
}

QString HttpRequestHead::queryValue(const QString &name) const
{
    for (const auto &item : queryItems())
        if (item.first == name)
            return item.second.isNull() ? QStringLiteral("") : item.second;
    return {};
}

qint64 HttpRequestHead::contentLength(qint64 absent) const
{
    const QByteArray text = header("Content-Length");
    if (text.isEmpty())
        return absent;
    bool ok = false;
    const qint64 length = text.toLongLong(&ok);
    return ok && length >= 0 ? length : -1;
}

bool HttpRequestHead::expectsContinue() const
{
    return header("Expect").compare("100-continue", Qt::CaseInsensitive) == 0;
}

bool HttpRequestHead::keepAlive() const
{
    const QByteArray connection = header("Connection").toLower();
    return version == "HTTP/1.1" ? connection != "close" : connection == "keep-alive";
}

HeadScan ScanRequestHead(const QByteArray &buffer, qsizetype maxBytes)
{
    HeadScan scan;
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0 || end > maxBytes) {
        if (end >= 0 || buffer.size() > maxBytes)
            scan.status = HeadScan::Status::TooLarge;
        return scan;
    }
    auto head = HttpRequestHead::Parse(buffer.left(end));
    if (!head) {
        scan.status = HeadScan::Status::Bad;
        return scan;
    }
    scan.status = HeadScan::Status::Complete;
    scan.head = *std::move(head);
    scan.bodyStart = end + 4;
    return scan;
}

QByteArray ResponseHead(
    int status, const QByteArray &contentType, qsizetype bodySize, bool keepAlive, const QByteArray &extraHeaders)
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status)
        + "\r\nContent-Type: " + contentType + "\r\nContent-Length: " + QByteArray::number(bodySize)
        + "\r\nCache-Control: no-cache\r\n" + extraHeaders
        + (keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n");
}

} // namespace Qurel::Sim
