#include "Multipart.h"

#include "HttpHead.h"

namespace Qurel::Sim {

namespace {
    constexpr qsizetype kMaxHeaderBlock = 16 * 1024;
} // namespace

MultipartReceiver::MultipartReceiver(const QByteArray &boundary)
    : m_delimiter("\r\n--" + boundary)
{
    // The body starts with the delimiter without its CR LF; putting one in
    // front lets a single search find every delimiter, the first included.
    m_pending = QByteArrayLiteral("\r\n");
}

QByteArray MultipartReceiver::BoundaryOf(const QByteArray &contentType)
{
    if (!contentType.trimmed().toLower().startsWith("multipart/"))
        return {};
    return HeaderParameter(contentType, "boundary");
}

bool MultipartReceiver::fail(const QString &why)
{
    m_state = State::Failed;
    m_error = why;
    return false;
}

bool MultipartReceiver::feed(const char *data, qsizetype size)
{
    if (m_state == State::Failed)
        return false;
    if (m_state == State::Done)
        return true; // the epilogue is ignored
    m_pending.append(data, size);
    while (m_state != State::Done && m_state != State::Failed) {
        const qsizetype before = m_pending.size();
        const State stateBefore = m_state;
        if (!step())
            return false;
        if (m_state == stateBefore && m_pending.size() == before)
            break; // needs more input
    }
    return m_state != State::Failed;
}

bool MultipartReceiver::step()
{
    switch (m_state) {
    case State::Delimiter: {
        const qsizetype at = m_pending.indexOf(m_delimiter);
        if (at < 0) {
            // Preamble: keep only what could still be the start of a delimiter.
            if (m_pending.size() >= m_delimiter.size())
                m_pending.remove(0, m_pending.size() - m_delimiter.size() + 1);
            return true;
        }
        m_pending.remove(0, at + m_delimiter.size());
        m_state = State::AfterDelimiter;
        return true;
    }
    case State::AfterDelimiter:
        if (m_pending.size() < 2)
            return true;
        if (m_pending.startsWith("--")) {
            m_pending.clear();
            m_state = State::Done;
            return true;
        }
        if (!m_pending.startsWith("\r\n"))
            return fail(QStringLiteral("delimiter not followed by a line end"));
        m_pending.remove(0, 2);
        m_state = State::Headers;
        return true;
    case State::Headers: {
        // A part without headers has its blank line right after the delimiter.
        const bool empty = m_pending.startsWith("\r\n");
        const qsizetype end = empty ? 0 : m_pending.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_pending.size() > kMaxHeaderBlock)
                return fail(QStringLiteral("part headers too long"));
            return true;
        }
        const QByteArray block = m_pending.left(end);
        m_pending.remove(0, end + (empty ? 2 : 4));
        if (!parseHeaders(block))
            return false;
        m_state = State::Body;
        return true;
    }
    case State::Body: {
        const qsizetype at = m_pending.indexOf(m_delimiter);
        // Without a delimiter, everything but a possible delimiter start is data.
        const qsizetype dataEnd = at >= 0 ? at : m_pending.size() - m_delimiter.size() + 1;
        if (dataEnd > 0) {
            if (onPartData && !onPartData(m_pending.constData(), dataEnd))
                return fail(QStringLiteral("part data refused"));
        }
        if (at < 0) {
            if (dataEnd > 0)
                m_pending.remove(0, dataEnd);
            return true;
        }
        m_pending.remove(0, at + m_delimiter.size());
        if (onPartEnd)
            onPartEnd();
        m_state = State::AfterDelimiter;
        return true;
    }
    case State::Done:
    case State::Failed:
        return true;
    }
    return true;
}

bool MultipartReceiver::parseHeaders(const QByteArray &block)
{
    const auto headers = ParseHeaderLines(block);
    if (!headers)
        return fail(QStringLiteral("malformed part header"));
    const QByteArray disposition = HeaderValue(*headers, "Content-Disposition");
    if (disposition.isEmpty())
        return fail(QStringLiteral("part without Content-Disposition"));
    MultipartPartHeader header;
    header.name = HeaderParameter(disposition, "name");
    header.fileName = QString::fromUtf8(HeaderParameter(disposition, "filename"));
    header.contentType = HeaderValue(*headers, "Content-Type");
    header.transferEncoding = HeaderValue(*headers, "Content-Transfer-Encoding");
    if (onPartBegin && !onPartBegin(header))
        return fail(QStringLiteral("part refused"));
    return true;
}

std::optional<QList<MultipartPart>> ParseMultipart(const QByteArray &contentType, const QByteArray &body)
{
    const QByteArray boundary = MultipartReceiver::BoundaryOf(contentType);
    if (boundary.isEmpty())
        return std::nullopt;
    QList<MultipartPart> parts;
    MultipartReceiver receiver(boundary);
    receiver.onPartBegin = [&parts](const MultipartPartHeader &header) {
        parts.append({ header, {} });
        return true;
    };
    receiver.onPartData = [&parts](const char *data, qsizetype size) {
        parts.last().data.append(data, size);
        return true;
    };
    if (!receiver.feed(body.constData(), body.size()) || !receiver.finished())
        return std::nullopt;
    return parts;
}

} // namespace Qurel::Sim
