// Checks on recorded files and RTSP addresses for the relay's tests (ffprobe/ffmpeg/libavformat).
#pragma once

#include <QString>
#include <QStringList>

namespace Qurel::Test {

struct FileProbe
{
    bool ok = false;
    double duration = 0; // seconds, from the container
    QStringList streams; // codec types in order, e.g. "video", "audio"
    int videoFrames = 0; // frames counted by reading every packet
};

FileProbe probeFile(const QString &path);

// Number of "concealing" messages of the H.264 decoder over the whole file (-v info).
int concealmentCount(const QString &path);

// Error lines printed while decoding the whole file with -v error (empty: decodes cleanly).
QString decodeErrors(const QString &path);

// Opens an RTSP address with libavformat; 0 on success, else the AVERROR code.
int openRtsp(const QString &url, bool tcp, int *streamCount = nullptr);

// Open file descriptors of this process.
int openFileDescriptors();

} // namespace Qurel::Test
