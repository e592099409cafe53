#pragma once
// A recording in a recordings folder as the client leaves one: <folder>/<base>.mp4 with its
// thumbnail and information file in <folder>/Image.

#include "RecordingsStore.h"
#include "TestMedia.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

namespace QurelTest {

struct RecordingSpec
{
    QString base; // file name without ".mp4"
    QByteArray video; // the video's bytes; empty: copy copyFrom
    QString copyFrom;
    QDateTime modified; // invalid: left as written
    bool thumbnail = true;
    bool info = true;
    QColor colour = Qt::darkCyan;
};

// Writes the recording; returns its video path, or an empty string on failure.
inline QString MakeRecording(const QString &folder, const RecordingSpec &spec)
{
    const QString video = QDir(folder).filePath(spec.base + QStringLiteral(".mp4"));
    if (!QDir().mkpath(QDir(folder).filePath(QStringLiteral("Image"))))
        return QString();
    if (spec.video.isEmpty()) {
        if (!QFile::copy(spec.copyFrom, video))
            return QString();
    } else {
        QFile file(video);
        if (!file.open(QIODevice::WriteOnly) || file.write(spec.video) != spec.video.size())
            return QString();
    }
    if (spec.modified.isValid()) {
        QFile file(video);
        if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(spec.modified, QFileDevice::FileModificationTime))
            return QString();
    }
    if (spec.thumbnail && !MakeTestPicture(Qurel::ImageSidePath(video, QStringLiteral(".jpg")), spec.colour))
        return QString();
    if (spec.info
        && !Qurel::SaveInfoFile(Qurel::ImageSidePath(video, QStringLiteral(".axt")), QStringLiteral("2026-01-01 10:00:00")))
        return QString();
    return video;
}

} // namespace QurelTest
