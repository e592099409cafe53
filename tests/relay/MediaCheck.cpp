#include "MediaCheck.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

extern "C" {
#include <libavformat/avformat.h>
}

namespace Qurel::Test {

namespace {

    QByteArray run(const QString &program, const QStringList &args, bool errorChannel)
    {
        QProcess process;
        process.start(program, args);
        process.waitForFinished(120000);
        return errorChannel ? process.readAllStandardError() : process.readAllStandardOutput();
    }

} // namespace

FileProbe probeFile(const QString &path)
{
    FileProbe probe;
    const QByteArray json = run("ffprobe",
        { "-v", "error", "-count_packets", "-show_entries",
            "format=duration:stream=codec_type,codec_name,nb_read_packets", "-of", "json", path },
        false);
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    if (!root.contains("format"))
        return probe;
    probe.ok = true;
    probe.duration = root["format"].toObject()["duration"].toString().toDouble();
    for (const QJsonValue &s : root["streams"].toArray()) {
        const QString type = s.toObject()["codec_type"].toString();
        probe.streams << type;
        probe.codecs << s.toObject()["codec_name"].toString();
        if (type == "video")
            probe.videoFrames += s.toObject()["nb_read_packets"].toString().toInt();
    }
    return probe;
}

QList<TrackTiming> trackTimings(const QString &path)
{
    const QByteArray csv = run("ffprobe",
        { "-v", "error", "-show_entries", "packet=stream_index,pts_time,duration_time", "-of", "csv=p=0", path },
        false);
    QList<TrackTiming> tracks;
    for (const QByteArray &line : csv.split('\n')) {
        const QList<QByteArray> f = line.split(',');
        if (f.size() < 3)
            continue;
        const int index = f[0].toInt();
        const double start = f[1].toDouble(), end = start + f[2].toDouble();
        while (tracks.size() <= index)
            tracks.append(TrackTiming {});
        TrackTiming &t = tracks[index];
        if (t.packets == 0)
            t.start = start;
        else if (t.packets > 1)
            t.largestGap = qMax(t.largestGap, start - t.end);
        t.end = qMax(t.end, end);
        t.covered += end - start;
        ++t.packets;
    }
    return tracks;
}

int concealmentCount(const QString &path)
{
    const QByteArray log = run("ffmpeg", { "-nostdin", "-v", "info", "-i", path, "-f", "null", "-" }, true);
    return int(log.count("concealing"));
}

QString decodeErrors(const QString &path)
{
    return QString::fromUtf8(
        run("ffmpeg", { "-nostdin", "-v", "error", "-i", path, "-f", "null", "-" }, true));
}

int openRtsp(const QString &url, bool tcp, int *streamCount, QStringList *codecs)
{
    AVDictionary *options = nullptr;
    av_dict_set(&options, "rtsp_transport", tcp ? "tcp" : "udp", 0);
    av_dict_set(&options, "timeout", "5000000", 0);
    AVFormatContext *context = nullptr;
    int rc = avformat_open_input(&context, url.toUtf8().constData(), nullptr, &options);
    av_dict_free(&options);
    if (rc == 0) {
        rc = avformat_find_stream_info(context, nullptr);
        if (streamCount)
            *streamCount = int(context->nb_streams);
        for (unsigned i = 0; codecs && i < context->nb_streams; ++i)
            *codecs << avcodec_get_name(context->streams[i]->codecpar->codec_id);
    }
    avformat_close_input(&context);
    return rc < 0 ? rc : 0;
}

int openFileDescriptors()
{
    return int(QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size());
}

} // namespace Qurel::Test
