#pragma once
// Readers of the recorder's CGI replies. They take whatever the network
// delivered and never fail loudly: an unusable reply gives the failure value.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace Qurel {

// Port the recorder streams on when its reply names none.
constexpr int kDefaultRtspPort = 554;

// What the stream-mode query (action 24685) tells.
struct RtpModeReply
{
    QString mode; // "0" or "1"; empty when the query failed or the mode is another value
    int rtspPort = kDefaultRtspPort;
    int rtspOnlineCount = -1; // -1 when the recorder did not report it
};

// Outcome of the start- and stop-record commands.
struct RecordCommandReply
{
    bool ok = false;
    QString errorCode; // the reply's ErrorCode, empty when the fetch failed or it is missing
};

// The reply bytes as text: everything before the first NUL, read as UTF-8.
QString ReplyText(const QByteArray &bytes);

// The reply cut into lines; CR LF, CR and LF each end a line.
QStringList ReplyLines(const QString &reply);

// The text after the first "=" of the first line whose part before that "="
// equals name, ignoring case. Lines without "=" name nothing. nullopt when no
// line has the name.
std::optional<QString> ReplyValue(const QString &reply, QStringView name);

// The login key of a logon.cgi reply ("STATUS|KEY"); empty for "-1", a
// negative status, or a reply without a second piece.
QString LoginKeyFromReply(const QString &reply);

// The stream mode, RTSP port and online count of an action 24685 reply.
RtpModeReply RtpModeFromReply(const QString &reply);

// Start-record reply: success needs ErrorCode "0" and RECActive "2".
RecordCommandReply StartRecordFromReply(const QString &reply);

// Stop-record reply: success needs ErrorCode "0".
RecordCommandReply StopRecordFromReply(const QString &reply);

// Any plat.cgi reply whose only verdict is ErrorCode "0" (SaveCT).
bool ErrorCodeIsZero(const QString &reply);

} // namespace Qurel
