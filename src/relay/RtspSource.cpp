#include "RtspSource.h"

namespace Qurel {

RtspSource::RtspSource(std::string url, bool tcp, const std::atomic<bool> &stop)
    : m_url(std::move(url))
    , m_tcp(tcp)
    , m_stop(stop)
{
}

bool isRecordable(const AVCodecParameters &par)
{
    if (par.codec_type == AVMEDIA_TYPE_VIDEO)
        return par.width > 0 && par.height > 0;
    if (par.codec_type == AVMEDIA_TYPE_AUDIO)
        return par.sample_rate > 0;
    return false;
}

int RtspSource::interrupted(void *opaque)
{
    auto *self = static_cast<RtspSource *>(opaque);
    return self->m_stop || std::chrono::steady_clock::now() > self->m_deadline;
}

int RtspSource::open(std::chrono::milliseconds limit)
{
    close();
    AVFormatContext *context = avformat_alloc_context();
    if (!context)
        return AVERROR(ENOMEM);
    context->interrupt_callback = { &RtspSource::interrupted, this };
    arm(limit);

    Options options;
    options.set("rtsp_transport", m_tcp ? "tcp" : "udp");
    options.set("timeout", "5000000"); // socket I/O, microseconds
    options.set("buffer_size", "2097152"); // UDP receive buffer: a keyframe arrives as one burst
    options.set("analyzeduration", "500000"); // parameters come with the session description
    // On failure avformat_open_input frees the context itself.
    int rc = avformat_open_input(&context, m_url.c_str(), nullptr, options.get());
    if (rc < 0)
        return rc;
    m_input.reset(context);
    rc = avformat_find_stream_info(context, nullptr);
    if (rc < 0 || m_stop) {
        close();
        return rc < 0 ? rc : AVERROR_EXIT;
    }
    // An interrupted probe can return without the picture size or sample rate; such a
    // connection cannot be recorded, so it counts as failed.
    bool hasMedia = false;
    for (unsigned i = 0; i < context->nb_streams; ++i)
        hasMedia = hasMedia || isRecordable(*context->streams[i]->codecpar);
    if (!hasMedia) {
        close();
        return AVERROR_STREAM_NOT_FOUND;
    }
    return 0;
}

int RtspSource::read(AVPacket *packet, std::chrono::milliseconds silenceLimit)
{
    if (!m_input)
        return AVERROR(EINVAL);
    arm(silenceLimit);
    return av_read_frame(m_input.get(), packet);
}

} // namespace Qurel
