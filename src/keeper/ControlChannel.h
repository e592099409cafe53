#pragma once
// The recorder's control connection as text: the client's two lines, and the
// reading of the recorder's notices (comma- and line-separated key=value
// fields, of which only the first "mark" counts).

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace Qurel {

inline constexpr quint16 kControlPort = 18884;
inline constexpr char kStartServerLine[] = "mark=start_server\r\n";
inline constexpr char kLiveLine[] = "mark=live\r\n";

enum class ControlMark { None, StartRecord, StopRecord };

struct ControlNotice
{
    ControlMark mark = ControlMark::None;
    QString title; // decoded and fit for a file name; only with StartRecord
};

// A comma-separated list into fields: outside double quotes blanks and
// control characters also separate fields and are dropped; a quoted field
// keeps its blanks, loses the quotes, and "" inside stands for one quote.
// The text ends at its first NUL.
QStringList SplitCommaText(const QString &text);

// The value of the first field named key (ignoring case), the text after
// its first "="; a null string when no field has that name.
QString FieldValue(const QStringList &fields, const QString &key);

// A recorder title: hex digits of UTF-8 bytes into a text without the
// characters a file name cannot hold.
QString DecodeTitle(const QString &hex);

// One batch of notices: CR LF become commas, the first "mark" field decides.
// Mark values are matched exactly, keys without regard to case.
ControlNotice ParseControlBatch(const QByteArray &batch);

// Cuts the received bytes into whole lines. What follows the last CR LF is
// kept and put in front of the next read, so a notice that the network
// splits over two reads is still seen once complete.
class ControlLineBuffer
{
public:
    // Lines never grow past this; a longer unfinished tail is dropped.
    static constexpr int kMaxPending = 64 * 1024;

    // Adds incoming bytes and returns every complete line (with its CR LF);
    // empty when no line is complete yet.
    QByteArray take(const QByteArray &incoming);
    const QByteArray &pending() const { return m_pending; }
    void clear() { m_pending.clear(); }

private:
    QByteArray m_pending;
};

} // namespace Qurel
