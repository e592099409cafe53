#include "RtspSource.h"

#include "MediaRules.h"
#include "VideoNal.h"

#include <thread>

namespace Qurel {

bool isRefusal(int averror)
{
    switch (averror) {
    case AVERROR_HTTP_BAD_REQUEST:
    case AVERROR_HTTP_UNAUTHORIZED:
    case AVERROR_HTTP_FORBIDDEN:
    case AVERROR_HTTP_NOT_FOUND:
    case AVERROR_HTTP_OTHER_4XX:
        return true;
    default:
        return false;
    }
}

RtspSource::RtspSource(std::string url, bool tcp, const std::atomic<bool> &stop)
    : m_url(std::move(url))
    , m_tcp(tcp)
    , m_stop(stop)
{
}

int RtspSource::interrupted(void *opaque)
{
    auto *self = static_cast<RtspSource *>(opaque);
    if (self->m_closing)
        return CoarseClock::now() > self->m_deadline;
    if (self->m_stop)
        return 1;
    // Asked around every read of a busy stream; while it waits, every 100 ms: the clock is read
    // on every eighth call only, which still ends a wait within a second of its deadline.
    if (++self->m_checks % 8 != 0)
        return 0;
    return CoarseClock::now() > self->m_deadline;
}

void RtspSource::close()
{
    if (!m_input)
        return;
    // A session left without TEARDOWN counts against the recorder's few RTSP connections until it
    // times out there; a server that does not take it within a second is not waited for.
    m_closing = true;
    arm(std::chrono::milliseconds(1000));
    m_input.reset();
    m_closing = false;
}

int RtspSource::connect(bool tcp)
{
    AVFormatContext *context = avformat_alloc_context();
    if (!context)
        return AVERROR(ENOMEM);
    context->interrupt_callback = { &RtspSource::interrupted, this };
    Options options;
    options.set("rtsp_transport", tcp ? "tcp" : "udp");
    options.set("timeout", "5000000"); // socket I/O, microseconds
    options.set("buffer_size", "2097152"); // UDP receive buffer: a keyframe arrives as one burst
    // The URL comes from the recorder's answer: it may name nothing but the stream's own protocols.
    options.set("protocol_whitelist", "rtsp,rtp,udp,tcp");
    // On failure avformat_open_input frees the context itself.
    const int rc = avformat_open_input(&context, m_url.c_str(), nullptr, options.get());
    if (rc == 0)
        m_input.reset(context);
    return rc;
}

// True when the session description gave what the file needs, so no packet has to be read
// ahead: codecs, the sound's rate and channels, the picture size (read from the configuration it
// gives); H.264, H.265 and MPEG-4 Part 2 pictures may also tell their size in their first keyframe.
bool RtspSource::describedEnough()
{
    for (unsigned i = 0; i < m_input->nb_streams; ++i) {
        AVCodecParameters &par = *m_input->streams[i]->codecpar;
        if (par.codec_type == AVMEDIA_TYPE_VIDEO && par.width <= 0 && par.extradata_size > 0)
            readPictureSize(par, par.extradata, par.extradata_size);
        if (par.codec_type == AVMEDIA_TYPE_VIDEO && !sizeKnownLater(par.codec_id) && par.width <= 0)
            return false;
        if (par.codec_type == AVMEDIA_TYPE_AUDIO && (par.sample_rate <= 0 || par.ch_layout.nb_channels <= 0))
            return false;
    }
    return true;
}

bool RtspSource::pauseBeforeRetry()
{
    for (int i = 0; i < 10; ++i) {
        if (m_stop || CoarseClock::now() > m_deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

int RtspSource::open(std::chrono::milliseconds limit)
{
    close();
    m_hadPacket = false;
    arm(limit);
    int rc = connect(m_tcp);
    if (rc == AVERROR(EPROTONOSUPPORT) && !m_stop) { // "461 Unsupported transport"
        // A server may still be closing the refused session and answer "503" for a moment.
        do
            rc = connect(!m_tcp);
        while (rc == AVERROR_HTTP_SERVER_ERROR && pauseBeforeRetry());
        if (rc == 0)
            m_tcp = !m_tcp;
    }
    if (rc < 0)
        return rc;
    if (!describedEnough()) {
        // Some codec needs a look at the packets; a short look, the stream is live. The frame
        // rate is not waited for (the stream's timestamps serve): what is read here is played out
        // first once recording starts, and would put the time before the start into the file.
        m_input->max_analyze_duration = 500000;
        m_input->fps_probe_size = 0;
        rc = avformat_find_stream_info(m_input.get(), nullptr);
        if (rc < 0 || m_stop) {
            close();
            return rc < 0 ? rc : AVERROR_EXIT;
        }
    }
    return 0;
}

int RtspSource::read(AVPacket *packet, std::chrono::milliseconds silenceLimit)
{
    if (!m_input)
        return AVERROR(EINVAL);
    constexpr std::chrono::milliseconds kUdpWait { 3000 };
    const bool awaitingUdp = !m_tcp && !m_hadPacket;
    arm(awaitingUdp ? std::min(silenceLimit, kUdpWait) : silenceLimit);
    int rc = av_read_frame(m_input.get(), packet);
    if (rc < 0 && awaitingUdp && !m_stop && CoarseClock::now() > m_deadline) {
        m_tcp = true;
        if (open(silenceLimit) < 0)
            return rc;
        arm(silenceLimit);
        rc = av_read_frame(m_input.get(), packet);
    }
    m_hadPacket = m_hadPacket || rc >= 0;
    return rc;
}

} // namespace Qurel
