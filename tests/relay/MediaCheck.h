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
    QStringList codecs; // codec names in the same order, e.g. "h264", "aac"
    int videoFrames = 0; // frames counted by reading every packet
};

FileProbe probeFile(const QString &path);

// Where one stream of a file begins and ends, from its packets (seconds).
struct TrackTiming
{
    double start = 0;
    double end = 0; // of the last packet, its duration included
    int packets = 0;
    // Between one packet's end and the next one's start, from the second packet on: the file
    // draws a track's first sample out to the track's start.
    double largestGap = 0;
    double covered = 0; // the packets' durations added up: the time the track has media for
};

// By stream index.
QList<TrackTiming> trackTimings(const QString &path);

// Number of "concealing" messages of the H.264 decoder over the whole file (-v info).
int concealmentCount(const QString &path);

// Error lines printed while decoding the whole file with -v error (empty: decodes cleanly).
QString decodeErrors(const QString &path);

// Opens an RTSP address with libavformat; 0 on success, else the AVERROR code.
int openRtsp(const QString &url, bool tcp, int *streamCount = nullptr, QStringList *codecs = nullptr);

// Open file descriptors of this process.
int openFileDescriptors();

} // namespace Qurel::Test
