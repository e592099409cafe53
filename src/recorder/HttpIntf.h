#pragma once
// The recorder's CGI commands: login key, stream mode, start/stop recording
// and activating the head/tail images. Plain functions without state; every
// request carries the user name and the password digest again.

#include "HttpTransport.h"
#include "ReplyParsers.h"

#include <QString>

namespace Qurel {

// Bounds of a CGI call: 5 s to connect, 30 s in all, replies up to 1 MiB.
HttpGetOptions CgiGetOptions();

// Tests point every CGI call at shorter bounds; nullptr restores the defaults.
void SetCgiGetOptionsForTesting(const HttpGetOptions *options);

// The reply of one CGI request.
struct TextReply
{
    bool ok = false; // the fetch worked (2xx); says nothing about the content
    QString text; // the body up to its first NUL, as UTF-8
    QString error; // transport reason when !ok
    bool timedOut = false;
};

// GET url with "&abc=" and a random 0..99999 appended (so no cache answers).
TextReply DownloadURLToText(const QString &url, const HttpGetOptions &options = CgiGetOptions());

// The user name as it goes into a URL: space, "#", "%", "&", "+", control
// and non-ASCII characters percent-encoded (UTF-8), the rest as it stands.
QString UrlSafeUserName(const QString &username);

// logon.cgi: the login key for the RTSP address; empty on any failure.
QString GetLoginKey(const QString &address, int httpPort, const QString &username, const QString &password,
    const HttpGetOptions &options = CgiGetOptions());

// Action 24685: stream mode, RTSP port (554 when unknown) and RTSP online
// count (-1 when unreported).
RtpModeReply GetRTPMode(const QString &address, int httpPort, const QString &username,
    const QString &password, const HttpGetOptions &options = CgiGetOptions());

// Action 24674: the recorder starts its own recording.
RecordCommandReply StartRecord(const QString &address, int httpPort, const QString &username,
    const QString &password, int progId, int isStartVob, int titleEnable,
    const HttpGetOptions &options = CgiGetOptions());

// Action 24675: the recorder stops its own recording.
RecordCommandReply StopRecord(const QString &address, int httpPort, const QString &username,
    const QString &password, int progId, int isStopVob, int creditEnable,
    const HttpGetOptions &options = CgiGetOptions());

// Action 24687: the recorder takes the uploaded head/tail images into use.
bool SaveCT(const QString &address, int httpPort, const QString &username, const QString &password,
    const HttpGetOptions &options = CgiGetOptions());

} // namespace Qurel
