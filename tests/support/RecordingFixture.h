#pragma once
// A recording in a recordings folder as the client leaves one: <folder>/<base>.mp4 with its
// thumbnail and information file in <folder>/Image.

#include "RecordingsStore.h"
#include "TestMedia.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

namespace QurelTest {

struct TestRecording
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
inline QString MakeRecording(const QString &folder, const TestRecording &rec)
{
    const QString video = QDir(folder).filePath(rec.base + QStringLiteral(".mp4"));
    if (!QDir().mkpath(QDir(folder).filePath(QStringLiteral("Image"))))
        return QString();
    if (rec.video.isEmpty()) {
        if (!QFile::copy(rec.copyFrom, video))
            return QString();
    } else {
        QFile file(video);
        if (!file.open(QIODevice::WriteOnly) || file.write(rec.video) != rec.video.size())
            return QString();
    }
    if (rec.modified.isValid()) {
        QFile file(video);
        if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(rec.modified, QFileDevice::FileModificationTime))
            return QString();
    }
    if (rec.thumbnail && !MakeTestPicture(Qurel::ImageSidePath(video, QStringLiteral(".jpg")), rec.colour))
        return QString();
    if (rec.info
        && !Qurel::SaveInfoFile(Qurel::ImageSidePath(video, QStringLiteral(".axt")), QStringLiteral("2026-01-01 10:00:00")))
        return QString();
    return video;
}

} // namespace QurelTest
