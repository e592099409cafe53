#pragma once
// Posting one file to the resource platform's upload service and reading its
// answer ("ErrorCode=0", or a refusal with "Message=...").

#include "HttpTransport.h"

#include <QByteArray>
#include <QString>

namespace Qurel {

// What the platform answered, read from the reply body.
struct UploadReply
{
    bool accepted = false;
    QString message; // text after the first "Message=", empty when none
};

// The reply text in the character set its Content-Type declares (UTF-8 when
// it declares none or one this system does not know).
QString DecodeReplyText(const QByteArray &body, const QByteArray &contentType);

// Accepted when the text contains "ErrorCode=0" (case-sensitive); otherwise
// the message is what follows the first "Message=", without the line end.
UploadReply ParseUploadReply(const QString &text);

// Outcome of posting one file.
struct PlatformUploadResult
{
    bool fileMissing = false; // nothing was sent
    bool transportFailed = false; // no usable reply; errorKind/errorText say why
    QString errorKind;
    QString errorText;
    UploadReply reply; // the platform's answer when one came
};

// Posts the file as multipart field "file1", streaming it from disk.
PlatformUploadResult PostToPlatform(
    const QString &url, const QString &filePath, const UploadProgress &progress = {});

} // namespace Qurel
