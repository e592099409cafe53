#include "Multipart.h"

namespace Qurel::Sim {

namespace {

    // The value of a parameter such as name="image" in a header value.
    QByteArray headerParameter(const QByteArray &value, const QByteArray &parameter)
    {
        for (QByteArray item : value.split(';')) {
            item = item.trimmed();
            const qsizetype eq = item.indexOf('=');
            if (eq < 0 || item.left(eq).trimmed().compare(parameter, Qt::CaseInsensitive) != 0)
                continue;
            QByteArray v = item.mid(eq + 1).trimmed();
            if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
                v = v.mid(1, v.size() - 2);
            return v;
        }
        return {};
    }

    std::optional<MultipartPart> parsePart(const QByteArray &block)
    {
        const qsizetype headEnd = block.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return std::nullopt;
        MultipartPart part;
        for (const QByteArray &line : block.left(headEnd).split('\n')) {
            const QByteArray trimmed = line.trimmed();
            if (trimmed.isEmpty())
                continue;
            const qsizetype colon = trimmed.indexOf(':');
            if (colon <= 0)
                return std::nullopt;
            part.headers.append({ trimmed.left(colon).trimmed(), trimmed.mid(colon + 1).trimmed() });
        }
        const QByteArray disposition = part.header("Content-Disposition");
        part.name = headerParameter(disposition, "name");
        part.fileName = headerParameter(disposition, "filename");
        part.contentType = part.header("Content-Type");
        part.data = block.mid(headEnd + 4);
        return part;
    }

} // namespace

QByteArray MultipartBoundary(const QByteArray &contentType)
{
    if (!contentType.trimmed().toLower().startsWith("multipart/"))
        return {};
    return headerParameter(contentType, "boundary");
}

std::optional<QList<MultipartPart>> ParseMultipart(const QByteArray &contentType, const QByteArray &body)
{
    const QByteArray boundary = MultipartBoundary(contentType);
    if (boundary.isEmpty())
        return std::nullopt;
    const QByteArray delimiter = "--" + boundary;
    const QByteArray innerDelimiter = "\r\n" + delimiter;

    qsizetype pos = body.startsWith(delimiter) ? 0 : body.indexOf(innerDelimiter);
    if (pos < 0)
        return std::nullopt;
    pos += body.startsWith(delimiter) ? delimiter.size() : innerDelimiter.size();

    QList<MultipartPart> parts;
    while (true) {
        if (body.mid(pos, 2) == "--")
            return parts;
        if (body.mid(pos, 2) != "\r\n")
            return std::nullopt;
        pos += 2;
        const qsizetype next = body.indexOf(innerDelimiter, pos);
        if (next < 0)
            return std::nullopt;
        const auto part = parsePart(body.mid(pos, next - pos));
        if (!part)
            return std::nullopt;
        parts.append(*part);
        pos = next + innerDelimiter.size();
    }
}

} // namespace Qurel::Sim
