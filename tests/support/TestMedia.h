#pragma once
// Small media files for tests, made on the spot with ffmpeg's lavfi sources.

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace QurelTest {

// A tiny H.264/AAC MP4 of the given length; a moving test picture with a tone.
inline bool MakeTestVideo(const QString &path, int seconds, const QString &size = QStringLiteral("160x120"))
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
        { QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
            QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("testsrc=size=%1:rate=10").arg(size), QStringLiteral("-f"),
            QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=frequency=440"),
            QStringLiteral("-t"), QString::number(seconds), QStringLiteral("-c:v"), QStringLiteral("libx264"),
            QStringLiteral("-preset"), QStringLiteral("ultrafast"), QStringLiteral("-pix_fmt"),
            QStringLiteral("yuv420p"), QStringLiteral("-c:a"), QStringLiteral("aac"),
            QStringLiteral("-shortest"), path });
    return ffmpeg.waitForFinished(30000) && ffmpeg.exitStatus() == QProcess::NormalExit
        && ffmpeg.exitCode() == 0 && QFile::exists(path);
}

// A plain coloured JPEG, as a thumbnail stand-in.
inline bool MakeTestPicture(const QString &path, QColor color, QSize size = QSize(72, 40))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image.save(path, "JPG");
}

} // namespace QurelTest
