#include "ControlChannel.h"

#include "Utils.h"

namespace Qurel {

namespace {
    constexpr QChar kQuote = QLatin1Char('"');
    constexpr QChar kComma = QLatin1Char(',');

    bool isBlank(QChar c)
    {
        return c.unicode() >= 1 && c.unicode() <= ' ';
    }

    // Reads a quoted field starting at text[pos] (the opening quote); moves pos
    // past the closing quote, or to the end when none comes.
    QString takeQuoted(const QString &text, int &pos)
    {
        QString field;
        ++pos;
        while (pos < text.size()) {
            const QChar c = text.at(pos++);
            if (c != kQuote) {
                field += c;
            } else if (pos < text.size() && text.at(pos) == kQuote) {
                field += kQuote;
                ++pos;
            } else {
                break;
            }
        }
        return field;
    }
} // namespace

QStringList SplitCommaText(const QString &input)
{
    const int nul = input.indexOf(QChar(0));
    const QString text = nul < 0 ? input : input.left(nul);
    QStringList fields;
    int pos = 0;
    const auto skipBlanks = [&] {
        while (pos < text.size() && isBlank(text.at(pos)))
            ++pos;
    };
    skipBlanks();
    while (pos < text.size()) {
        if (text.at(pos) == kQuote) {
            fields << takeQuoted(text, pos);
        } else {
            const int start = pos;
            while (pos < text.size() && !isBlank(text.at(pos)) && text.at(pos) != kComma)
                ++pos;
            fields << text.mid(start, pos - start);
        }
        skipBlanks();
        if (pos < text.size() && text.at(pos) == kComma) {
            if (pos + 1 == text.size())
                fields << QString();
            ++pos;
            skipBlanks();
        }
    }
    return fields;
}

QString FieldValue(const QStringList &fields, const QString &key)
{
    for (const QString &field : fields) {
        const int eq = field.indexOf(QLatin1Char('='));
        if (eq >= 0 && QStringView(field).left(eq).compare(key, Qt::CaseInsensitive) == 0)
            return field.mid(eq + 1);
    }
    return QString();
}

QString DecodeTitle(const QString &hex)
{
    QString title = HexUtf8ToText(hex);
    RemoveBadFileChars(title);
    return title;
}

ControlNotice ParseControlBatch(const QByteArray &batch)
{
    QByteArray list = batch;
    list.replace("\r\n", ",");
    const QStringList fields = SplitCommaText(QString::fromLatin1(list));
    const QString mark = FieldValue(fields, QStringLiteral("mark"));
    ControlNotice notice;
    if (mark == QLatin1String("start_record")) {
        notice.mark = ControlMark::StartRecord;
        notice.title = DecodeTitle(FieldValue(fields, QStringLiteral("Title")));
    } else if (mark == QLatin1String("stop_record")) {
        notice.mark = ControlMark::StopRecord;
    }
    return notice;
}

QByteArray ControlLineBuffer::take(const QByteArray &incoming)
{
    m_pending += incoming;
    const int end = m_pending.lastIndexOf("\r\n");
    if (end < 0) {
        if (m_pending.size() > kMaxPending)
            m_pending.clear();
        return QByteArray();
    }
    QByteArray lines = m_pending.left(end + 2);
    m_pending.remove(0, end + 2);
    return lines;
}

} // namespace Qurel
