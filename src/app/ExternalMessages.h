#pragma once
// Messages the main window accepts from outside the program (show again, play from a position,
// the F5/F6 hot keys). They travel as one text line each, "MSG WPARAM LPARAM", over a per-user
// local socket named "Qurel"; qurelctl sends them.

#include <QMetaType>
#include <QString>
#include <QStringList>

#include <optional>

namespace Qurel {

constexpr quint32 kMsgShowAgain = 0x40B; // WM_USER + 11
constexpr quint32 kMsgPlayFrom = 0x40C; // WM_USER + 12
constexpr quint32 kMsgHotKey = 0x312; // WM_HOTKEY
constexpr int kVkF5 = 0x74;
constexpr int kVkF6 = 0x75;

struct ExternalMessage
{
    quint32 msg = 0;
    qint64 wParam = 0;
    qint64 lParam = 0;

    bool operator==(const ExternalMessage &other) const
    {
        return msg == other.msg && wParam == other.wParam && lParam == other.lParam;
    }
};

} // namespace Qurel

Q_DECLARE_METATYPE(Qurel::ExternalMessage)

namespace Qurel {

// Longest line accepted on the channel; anything longer is garbage.
constexpr int kMaxMessageLine = 200;

// "0x40C 0 15000": three numbers (decimal, or hexadecimal with 0x) separated by blanks.
// Anything else gives std::nullopt.
std::optional<ExternalMessage> ParseExternalMessage(const QString &line);
// The line for a message, e.g. "0x40C 0 15000" (without the line end).
QString FormatExternalMessage(const ExternalMessage &message);
// WM_HOTKEY's lParam for a virtual key (no modifiers): the key in the high word.
qint64 HotKeyLParam(int virtualKey);
// The virtual key carried by WM_HOTKEY's lParam.
int HotKeyVirtualKey(qint64 lParam);

// qurelctl's command line (without the program name) as a message:
//   show | 0x40B W          -> 0x40B W 0
//   play MS                 -> 0x40C 0 MS
//   hotkey F5|F6            -> 0x312 0 (VK << 16)
//   raw MSG W L | MSG W L   -> as given
// On bad arguments the result is empty and `error` says why.
std::optional<ExternalMessage> CommandToMessage(const QStringList &args, QString *error);

// Requests that the channel answers with one line, and the answer to a ping.
inline const QString kPingRequest = QStringLiteral("ping");
inline const QString kStatusRequest = QStringLiteral("status");
inline const QString kPingAnswer = QStringLiteral("pong");

// Where the channel's socket lives: the per-user runtime folder (RuntimeFolder()) + "/Qurel";
// empty when the user has no such folder.
QString MessageChannelName();

} // namespace Qurel
