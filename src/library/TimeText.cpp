#include "TimeText.h"

#include <utility>

namespace Qurel {

QString ClockText(qint64 ms, const QString &format, ClockHours hours)
{
    const qint64 t = ms < 0 ? 0 : ms;
    const qint64 h = hours == ClockHours::WrapAt24 ? (t / 3600000) % 24 : t / 3600000;
    const std::pair<const char *, qint64> fields[] = { { "dd", t / 86400000 }, { "hh", h }, { "mm", (t / 60000) % 60 },
        { "ss", (t / 1000) % 60 }, { "ms", t % 1000 } };
    QString text = format;
    for (const auto &[token, value] : fields)
        text.replace(QLatin1String(token), QString::number(value).rightJustified(2, QLatin1Char('0')),
            Qt::CaseInsensitive);
    return text;
}

} // namespace Qurel
