#pragma once
// Addresses of the resource platform: the client login page carrying the
// recordings' GUID keys and names, and the upload service.

#include "RecordingsStore.h"

#include <QString>
#include <QUrl>

namespace Qurel {

// Form-URL encoding of a text's UTF-8 bytes: letters, digits and ! $ ' ( ) * - . @ _
// stay, a space becomes "+", every other byte "%XX" with upper-case hex digits.
QString FormUrlEncode(const QString &text);

// The GUID in lower case without "-", "{" and "}".
QString GuidKey(const QString &guid);

// The text before the first "_", empty when there is none.
QString TextBeforeUnderscore(const QString &text);

// The lesson title of a recording: its file name without the 4-character
// extension, up to the first "_".
QString RecordingName(const QString &videoPath);

// "http://host:port/Tools/QuRelClient/ClientLogin.aspx?GUID=k1|k2&NAME=n1|n2"
// Uses each recording's FGuid and FVideoName; keys and names are form-URL encoded (a key of
// hexadecimal digits stays as it is).
QString LoginAddress(const QString &host, int port, const TFileInfoList &recordings);

// Upload service address for one file of a recording (1 video, 2 thumbnail). The GUID key is
// form-URL encoded: a key from a damaged or foreign information file cannot add parameters.
QString UploadAddress(const QString &host, int port, const QString &guidKey, int fileType);

inline constexpr int kVideoFileType = 1;
inline constexpr int kThumbnailFileType = 2;

// Whether the upload window's page may go to `url`: plain HTTP to the platform's own host and
// port, or an empty page. Anything else (another host or port, another scheme, a file) is not
// the platform.
bool IsPlatformAddress(const QUrl &url, const QString &host, int port);

// The platform's page signals the end of its login by an address containing
// "finish=1", in any case.
bool IsFinishAddress(const QString &address);

} // namespace Qurel
