#include "ClientStatus.h"

#include "TimeText.h"

#include <algorithm>

namespace Qurel {

namespace {
    QString quoted(const QString &text)
    {
        QString out = QStringLiteral("\"");
        for (const QChar c : text) {
            switch (c.unicode()) {
            case '"':
                out += QLatin1String("\\\"");
                break;
            case '\\':
                out += QLatin1String("\\\\");
                break;
            case '\n':
                out += QLatin1String("\\n");
                break;
            case '\r':
                out += QLatin1String("\\r");
                break;
            case '\t':
                out += QLatin1String("\\t");
                break;
            default:
                if (c.unicode() < 0x20 || c.unicode() == 0x7F || c == QChar::LineSeparator
                    || c == QChar::ParagraphSeparator)
                    out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
                else
                    out += c;
            }
        }
        return out + QLatin1Char('"');
    }

    // A bare word field: anything but plain letters, digits and '-' is dropped.
    QString word(const QString &text)
    {
        QString out;
        for (const QChar c : text)
            if (c.isLetterOrNumber() || c == QLatin1Char('-'))
                out += c;
        return out;
    }
} // namespace

QString FormatStatusLine(const ClientStatus &status)
{
    return QStringLiteral("link=%1 state=%2 elapsed=%3 title=%4 file=%5")
        .arg(word(status.link), word(status.state), ClockText(status.elapsedSeconds * 1000, QStringLiteral("hh:mm:ss"), ClockHours::KeepGrowing), quoted(status.title),
            quoted(status.file));
}

} // namespace Qurel
