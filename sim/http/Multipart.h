#pragma once
// Streaming parser for a multipart/form-data body: fed in arbitrary pieces,
// it hands each part's headers and data on as they arrive, so a body of any
// size passes through with only a few kilobytes held in memory. ParseMultipart
// runs it over a body already held whole.

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace Qurel::Sim {

struct MultipartPartHeader
{
    QByteArray name; // name="..." of Content-Disposition
    QString fileName; // filename="..." (UTF-8), empty when absent
    QByteArray contentType; // Content-Type of the part
    QByteArray transferEncoding; // Content-Transfer-Encoding of the part
};

class MultipartReceiver final
{
public:
    explicit MultipartReceiver(const QByteArray &boundary);

    // Called when a part's headers are complete; return false to stop.
    std::function<bool(const MultipartPartHeader &)> onPartBegin;
    // Called with every piece of a part's data; return false to stop.
    std::function<bool(const char *data, qsizetype size)> onPartData;
    // Called when a part's data is complete.
    std::function<void()> onPartEnd;

    // Feeds the next piece of the body. False when the body is malformed or a
    // callback stopped the parse; error() says why.
    bool feed(const char *data, qsizetype size);
    // The closing delimiter has been seen.
    bool finished() const { return m_state == State::Done; }
    QString error() const { return m_error; }

    // The boundary parameter of a multipart Content-Type header, empty if none.
    static QByteArray BoundaryOf(const QByteArray &contentType);

private:
    enum class State { Delimiter, AfterDelimiter, Headers, Body, Done, Failed };

    bool fail(const QString &why);
    bool parseHeaders(const QByteArray &block);
    bool step();

    QByteArray m_delimiter; // CR LF "--" boundary
    QByteArray m_pending;
    State m_state = State::Delimiter;
    QString m_error;
};

struct MultipartPart
{
    MultipartPartHeader header;
    QByteArray data;
};

// The parts of a whole multipart body; nullopt when the Content-Type has no
// boundary or the body is not well formed (no closing delimiter included).
std::optional<QList<MultipartPart>> ParseMultipart(const QByteArray &contentType, const QByteArray &body);

} // namespace Qurel::Sim
