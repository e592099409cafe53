#include "ReplyParsers.h"

namespace Qurel {

namespace {

    // A number as the recorder writes it; nullopt when the text is not one.
    std::optional<int> wholeNumber(const QString &text)
    {
        bool ok = false;
        const int value = text.toInt(&ok);
        return ok ? std::optional<int>(value) : std::nullopt;
    }

    bool isLineBreak(QChar c)
    {
        return c == QLatin1Char('\r') || c == QLatin1Char('\n');
    }

} // namespace

QString ReplyText(const QByteArray &bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
}

QStringList ReplyLines(const QString &reply)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = reply.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = reply.at(i);
        if (c == QChar(0))
            break;
        if (!isLineBreak(c)) {
            ++i;
            continue;
        }
        lines.append(reply.mid(start, i - start));
        // CR LF is one line end, a lone CR or LF another.
        i += (c == QLatin1Char('\r') && i + 1 < n && reply.at(i + 1) == QLatin1Char('\n')) ? 2 : 1;
        start = i;
    }
    if (start < i)
        lines.append(reply.mid(start, i - start));
    return lines;
}

std::optional<QString> ReplyValue(const QString &reply, QStringView name)
{
    const QStringList lines = ReplyLines(reply);
    for (const QString &line : lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        if (QStringView(line).left(eq).compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1);
    }
    return std::nullopt;
}

QString LoginKeyFromReply(const QString &reply)
{
    if (reply == QLatin1String("-1"))
        return {};
    QStringList pieces;
    QString piece;
    for (const QChar c : reply) {
        if (c == QChar(0))
            break;
        if (c == QLatin1Char('|') || isLineBreak(c)) {
            if (!piece.isEmpty())
                pieces.append(piece);
            piece.clear();
        } else {
            piece.append(c);
        }
        if (pieces.size() == 2)
            break;
    }
    if (!piece.isEmpty() && pieces.size() < 2)
        pieces.append(piece);
    if (pieces.size() < 2)
        return {};
    // A status that is not a number counts as 0, which lets the key through.
    return wholeNumber(pieces.at(0)).value_or(0) >= 0 ? pieces.at(1) : QString();
}

RtpModeReply RtpModeFromReply(const QString &reply)
{
    RtpModeReply result;
    if (ReplyValue(reply, u"ErrorCode") == QLatin1String("0")) {
        const QString mode = ReplyValue(reply, u"RtpMode").value_or(QString());
        if (mode == QLatin1String("0") || mode == QLatin1String("1"))
            result.mode = mode;
    }
    // Port and count are read whatever ErrorCode says.
    if (const auto port = ReplyValue(reply, u"RtspPort")) {
        const auto number = wholeNumber(*port);
        // A port outside 1..65535 would make an RTSP address nothing can open.
        if (number && *number > 0 && *number <= 65535)
            result.rtspPort = *number;
    }
    if (const auto count = ReplyValue(reply, u"RtspOnlineCount"))
        result.rtspOnlineCount = wholeNumber(*count).value_or(0);
    return result;
}

RecordCommandReply StartRecordFromReply(const QString &reply)
{
    RecordCommandReply result;
    result.errorCode = ReplyValue(reply, u"ErrorCode").value_or(QString());
    result.ok
        = result.errorCode == QLatin1String("0") && ReplyValue(reply, u"RECActive") == QLatin1String("2");
    return result;
}

RecordCommandReply StopRecordFromReply(const QString &reply)
{
    RecordCommandReply result;
    result.errorCode = ReplyValue(reply, u"ErrorCode").value_or(QString());
    result.ok = result.errorCode == QLatin1String("0");
    return result;
}

bool ErrorCodeIsZero(const QString &reply)
{
    return ReplyValue(reply, u"ErrorCode") == QLatin1String("0");
}

} // namespace Qurel
