#include "MediaCheck.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QElapsedTimer>
#include <QProcess>

#include <memory>

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

    struct InputCloser
    {
        void operator()(AVFormatContext *context) const { avformat_close_input(&context); }
    };
    using Input = std::unique_ptr<AVFormatContext, InputCloser>;

    // An RTSP address opened with its streams found; *rc the AVERROR code when it fails.
    Input openInput(const QString &url, bool tcp, int *rc)
    {
        AVDictionary *options = nullptr;
        av_dict_set(&options, "rtsp_transport", tcp ? "tcp" : "udp", 0);
        av_dict_set(&options, "timeout", "5000000", 0);
        AVFormatContext *context = nullptr;
        *rc = avformat_open_input(&context, url.toUtf8().constData(), nullptr, &options);
        av_dict_free(&options);
        Input input(context);
        if (*rc == 0)
            *rc = avformat_find_stream_info(context, nullptr);
        return input;
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
    int rc = 0;
    const Input input = openInput(url, tcp, &rc);
    if (input) {
        if (streamCount)
            *streamCount = int(input->nb_streams);
        for (unsigned i = 0; codecs && i < input->nb_streams; ++i)
            *codecs << avcodec_get_name(input->streams[i]->codecpar->codec_id);
    }
    return rc < 0 ? rc : 0;
}

double rtspVideoKbps(const QString &url, double seconds)
{
    int rc = 0;
    const Input input = openInput(url, true, &rc);
    if (!input || rc < 0)
        return -1;
    const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0)
        return -1;
    const AVRational timeBase = input->streams[video]->time_base;
    qint64 bytes = 0;
    qint64 first = AV_NOPTS_VALUE, last = AV_NOPTS_VALUE;
    AVPacket *packet = av_packet_alloc();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000 + 5000 && av_read_frame(input.get(), packet) >= 0) {
        if (packet->stream_index == video && packet->pts != AV_NOPTS_VALUE) {
            // The bytes from the first timed packet on, over the time their stamps span.
            if (first == AV_NOPTS_VALUE)
                first = packet->pts;
            else
                bytes += packet->size;
            last = packet->pts;
        }
        av_packet_unref(packet);
        if (last != AV_NOPTS_VALUE && (last - first) * av_q2d(timeBase) >= seconds)
            break;
    }
    av_packet_free(&packet);
    const double span = first == AV_NOPTS_VALUE ? 0 : (last - first) * av_q2d(timeBase);
    return span > 0 ? bytes * 8 / span / 1000 : -1;
}

int openFileDescriptors()
{
    return int(QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size());
}

} // namespace Qurel::Test
