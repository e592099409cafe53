#pragma once
// The one clock-text formatter: the player's position and length, and the
// time a lesson has been recording, are shown through it.

#include <QString>

namespace Qurel {

// What the hours field does past a day.
enum class ClockHours {
    WrapAt24, // the player's clock: 25 h shows as 01 (the days go to "dd")
    KeepGrowing, // an elapsed time: 100 h shows as 100
};

// ms (negative counts as 0) as text: each of the tokens "dd", "hh", "mm",
// "ss" and "ms" (any case) in format is replaced by the days, hours, minutes,
// seconds and milliseconds, at least two digits each.
QString ClockText(qint64 ms, const QString &format = QStringLiteral("hh:mm:ss"), ClockHours hours = ClockHours::WrapAt24);

} // namespace Qurel
