#include "PlatformUpload.h"

#include <QFileInfo>
#include <QStringDecoder>

namespace Qurel {

namespace {
    QByteArray charsetOf(const QByteArray &contentType)
    {
        for (const QByteArray &raw : contentType.split(';')) {
            const QByteArray item = raw.trimmed();
            if (!item.toLower().startsWith("charset="))
                continue;
            QByteArray value = item.mid(8).trimmed();
            if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
                value = value.mid(1, value.size() - 2);
            return value;
        }
        return {};
    }
} // namespace

QString DecodeReplyText(const QByteArray &body, const QByteArray &contentType)
{
    const QByteArray charset = charsetOf(contentType);
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder.decode(body);
    }
    return QString::fromUtf8(body);
}

UploadReply ParseUploadReply(const QString &text)
{
    UploadReply reply;
    reply.accepted = text.contains(QLatin1String("ErrorCode=0"));
    if (reply.accepted)
        return reply;
    static const QLatin1String marker("Message=");
    const qsizetype at = text.indexOf(marker);
    if (at >= 0) {
        QString message = text.mid(at + marker.size());
        while (!message.isEmpty() && message.back().isSpace())
            message.chop(1);
        reply.message = message;
    }
    return reply;
}

PlatformUploadResult PostToPlatform(
    const QString &url, const QString &filePath, const UploadProgress &progress)
{
    PlatformUploadResult outcome;
    if (!QFileInfo(filePath).isFile()) {
        outcome.fileMissing = true;
        return outcome;
    }
    PostFileOptions options;
    options.progress = progress;
    // The platform is reached as the upload window's browser reaches it, through the
    // environment's proxy when one is set.
    options.useProxy = true;
    const HttpResult result
        = PostFile(url, QStringLiteral("file1"), filePath, MimeTypeForFile(filePath), options);
    if (!result.ok) {
        outcome.transportFailed = true;
        outcome.errorKind = TransportErrorKind(result);
        outcome.errorText = result.error;
        return outcome;
    }
    outcome.reply = ParseUploadReply(DecodeReplyText(result.body, result.contentType));
    return outcome;
}

} // namespace Qurel
