#pragma once
// HTTP/1.1 request heads as the simulators read them, and the head of their
// answers. The target is kept exactly as sent so tests can read the URL the
// client built.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace Qurel::Sim {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

inline constexpr qsizetype kMaxHeadBytes = 64 * 1024;
inline constexpr char kContinueAnswer[] = "HTTP/1.1 100 Continue\r\n\r\n";

// The value of the first header called name (ignoring case), or empty.
QByteArray HeaderValue(const HeaderList &headers, const QByteArray &name);
// The value of `key="..."` or `key=token` among a header value's parameters.
QByteArray HeaderParameter(const QByteArray &value, const QByteArray &key);
// "Name: value" lines (the block without its blank line); nullopt when a
// line has no name.
std::optional<HeaderList> ParseHeaderLines(const QByteArray &block);
// Form-URL decoding ("+" is a space, %XX a byte, bytes read as UTF-8).
QString FormUrlDecode(const QByteArray &encoded);

struct HttpRequestHead
{
    QByteArray method;
    QByteArray target; // path and query exactly as sent
    QByteArray version;
    HeaderList headers; // in the order and spelling sent

    // Parses the request line and headers (without the blank line).
    static std::optional<HttpRequestHead> Parse(const QByteArray &block);

    QByteArray header(const QByteArray &name) const { return HeaderValue(headers, name); }
    QByteArray rawPath() const; // the target before "?"
    QString path() const; // the same, percent-decoded
    QByteArray rawQuery() const; // after "?", empty when there is none
    // Query items, decoded the way CGI programs decode them.
    QList<QPair<QString, QString>> queryItems() const;
    // The first value of the query item name (exact match), or a null text.
    QString queryValue(const QString &name) const;
    // Content-Length; `absent` when there is none, -1 when it is malformed.
    qint64 contentLength(qint64 absent) const;
    bool expectsContinue() const;
    bool keepAlive() const;
};

// A request head looked for at the start of what a connection has read.
struct HeadScan
{
    enum class Status { NeedMore, Complete, TooLarge, Bad };
    Status status = Status::NeedMore;
    HttpRequestHead head;
    qsizetype bodyStart = 0; // where the body begins in the buffer
};

HeadScan ScanRequestHead(const QByteArray &buffer, qsizetype maxBytes = kMaxHeadBytes);

// Status line and headers of an answer, ending with the blank line.
QByteArray ResponseHead(int status, const QByteArray &contentType, qsizetype bodySize, bool keepAlive,
    const QByteArray &extraHeaders = {});

} // namespace Qurel::Sim
