#include "UploadPass.h"

namespace Qurel {

void AppendError(QString &errors, const QString &message)
{
    if (message.isEmpty())
        return;
    errors = errors.isEmpty() ? message : errors + QStringLiteral(";\r\n") + message;
}

QString RunUploadPass(
    const TFileInfoList &recordings, const QString &host, int port, const UploadFileFunction &uploadFile)
{
    QString errors;
    for (const TFileInfo &recording : recordings) {
        const QString key = GuidKey(recording.FGuid);
        QString message;
        if (!uploadFile(UploadAddress(host, port, key, kVideoFileType), recording.FVideoName, message)) {
            // Without its video the platform has nothing to attach a thumbnail to.
            AppendError(errors, message);
            continue;
        }
        message.clear();
        if (!uploadFile(UploadAddress(host, port, key, kThumbnailFileType), recording.FPicName, message))
            AppendError(errors, message);
    }
    return errors;
}

} // namespace Qurel
