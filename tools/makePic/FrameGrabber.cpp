#include "FrameGrabber.h"

namespace Qurel {

namespace {

    class VideoDecoder
    {
    public:
        std::string open(const std::string &path)
        {
            AVFormatContext *raw = nullptr;
            // A finished recording ends with an index of its fragments: reading it spares walking
            // through every fragment of a long lesson. Files without one are still walked.
            Options options;
            options.set("use_mfra_for", "pts");
            if (avformat_open_input(&raw, path.c_str(), nullptr, options.get()) < 0)
                return "cannot open " + path;
            m_input.reset(raw);
            // The file's header describes its streams; decoding ahead to learn more is wasted
            // time, the picture decoder needs only those parameters.
            const AVCodec *codec = nullptr;
            m_stream = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
            if (m_stream < 0 || !codec)
                return "no video in " + path;
            for (unsigned i = 0; i < raw->nb_streams; ++i) // the sound is not even read
                raw->streams[i]->discard = int(i) == m_stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
            m_codec.reset(avcodec_alloc_context3(codec));
            if (!m_codec || avcodec_parameters_to_context(m_codec.get(), raw->streams[m_stream]->codecpar) < 0)
                return "cannot decode the video of " + path;
            if (avcodec_open2(m_codec.get(), codec, nullptr) < 0)
                return "cannot decode the video of " + path;
            m_start = firstTimestamp();
            return {};
        }

        // Positions the decoder at the keyframe at or before the time (seconds from the start).
        void seek(double seconds)
        {
            const AVStream *stream = m_input->streams[m_stream];
            const int64_t start = m_start;
            const int64_t target
                = start + av_rescale_q(int64_t(seconds * 1e6), AVRational { 1, 1000000 }, stream->time_base);
            if (avformat_seek_file(m_input.get(), m_stream, INT64_MIN, target, target, AVSEEK_FLAG_BACKWARD)
                < 0)
                av_seek_frame(m_input.get(), m_stream, start, AVSEEK_FLAG_BACKWARD);
            avcodec_flush_buffers(m_codec.get());
            m_target = target;
            m_drained = false;
        }

        // Next decoded picture, or null at the end of the file or on an error.
        FramePtr next()
        {
            FramePtr frame(av_frame_alloc());
            PacketPtr packet = makePacket();
            while (frame && packet) {
                const int rc = avcodec_receive_frame(m_codec.get(), frame.get());
                if (rc == 0)
                    return frame;
                if (rc != AVERROR(EAGAIN) || m_drained)
                    return nullptr;
                if (av_read_frame(m_input.get(), packet.get()) < 0) {
                    avcodec_send_packet(m_codec.get(), nullptr);
                    m_drained = true;
                    continue;
                }
                if (packet->stream_index == m_stream)
                    avcodec_send_packet(m_codec.get(), packet.get());
                av_packet_unref(packet.get());
            }
            return nullptr;
        }

        bool reached(const AVFrame &frame) const
        {
            const int64_t ts
                = frame.best_effort_timestamp == AV_NOPTS_VALUE ? frame.pts : frame.best_effort_timestamp;
            return ts != AV_NOPTS_VALUE && ts >= m_target;
        }

    private:
        // Times count from the video's first picture, as with ffmpeg's -ss; a file may begin
        // later than zero (B-frames without an edit list). Read from the first packet.
        int64_t firstTimestamp()
        {
            PacketPtr packet = makePacket();
            while (packet && av_read_frame(m_input.get(), packet.get()) >= 0) {
                const bool video = packet->stream_index == m_stream;
                const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
                av_packet_unref(packet.get());
                if (video)
                    return pts == AV_NOPTS_VALUE ? 0 : pts;
            }
            return 0;
        }

        InputContextPtr m_input;
        CodecContextPtr m_codec;
        int m_stream = -1;
        int64_t m_start = 0;
        int64_t m_target = 0;
        bool m_drained = false;
    };

} // namespace

GrabbedFrame grabFrame(const std::string &path, double seconds)
{
    GrabbedFrame result;
    VideoDecoder decoder;
    result.error = decoder.open(path);
    if (!result.error.empty())
        return result;
    decoder.seek(seconds);
    while (FramePtr frame = decoder.next()) {
        if (decoder.reached(*frame)) {
            result.frame = std::move(frame);
            return result;
        }
    }
    // The video ends before that time: take its first picture.
    decoder.seek(0);
    result.frame = decoder.next();
    if (!result.frame)
        result.error = "no picture could be decoded from " + path;
    return result;
}

} // namespace Qurel
