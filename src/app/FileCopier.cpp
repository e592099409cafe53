#include "FileCopier.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <memory>
#include <vector>

namespace Qurel {

namespace {
    QString resolvedPath(const QString &path)
    {
        const QFileInfo info(path);
        if (info.exists())
            return info.canonicalFilePath();
        const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
        return folder.isEmpty() ? QDir::cleanPath(info.absoluteFilePath())
                                : folder + QLatin1Char('/') + info.fileName();
    }

    // One copy in progress: the source open for reading, the target's temporary file open for writing.
    struct OpenCopy
    {
        QFile source;
        std::unique_ptr<QSaveFile> target;
    };
} // namespace

bool IsSameFile(const QString &a, const QString &b)
{
    return resolvedPath(a) == resolvedPath(b);
}

CopyResult FileCopier::Run(const QList<CopyPair> &pairs, const Progress &progress) const
{
    CopyResult result;
    auto fail = [&result](const QString &target, const QString &why) {
        result.failedTargets << target;
        if (result.error.isEmpty())
            result.error = why;
    };

    qint64 total = 0;
    for (const CopyPair &pair : pairs)
        total += QFileInfo(pair.source).size();

    std::vector<std::unique_ptr<QSaveFile>> written;
    QByteArray buffer(kChunkSize, Qt::Uninitialized);
    qint64 done = 0;
    for (const CopyPair &pair : pairs) {
        OpenCopy copy;
        copy.source.setFileName(pair.source);
        copy.target = std::make_unique<QSaveFile>(pair.target);
        if (!copy.source.open(QIODevice::ReadOnly)) {
            fail(pair.target, copy.source.errorString());
            continue;
        }
        if (!copy.target->open(QIODevice::WriteOnly)) {
            fail(pair.target, copy.target->errorString());
            continue;
        }
        bool copied = true;
        for (;;) {
            const qint64 got = copy.source.read(buffer.data(), buffer.size());
            if (got < 0 || (got > 0 && copy.target->write(buffer.constData(), got) != got)) {
                fail(pair.target, got < 0 ? copy.source.errorString() : copy.target->errorString());
                copied = false;
                break;
            }
            if (got == 0)
                break;
            done += got;
            if (progress && !progress(done, total)) {
                result.cancelled = true;
                return result; // the QSaveFiles discard their temporary files
            }
        }
        if (copied)
            written.push_back(std::move(copy.target));
        else
            copy.target->cancelWriting();
    }

    for (const auto &target : written)
        if (!target->commit())
            fail(target->fileName(), target->errorString());
    return result;
}

} // namespace Qurel
