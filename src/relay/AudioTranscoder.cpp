#include "AudioTranscoder.h"

#include <algorithm>

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace Qurel {

namespace {

    // The input's rate when the encoder takes it, else the next higher one it takes.
    int encoderRate(const AVCodec &codec, int rate)
    {
        if (!codec.supported_samplerates)
            return rate;
        int higher = 0, highest = 0;
        for (const int *r = codec.supported_samplerates; *r; ++r) {
            if (*r == rate)
                return rate;
            if (*r > rate && (higher == 0 || *r < higher))
                higher = *r;
            highest = std::max(highest, *r);
        }
        return higher > 0 ? higher : highest;
    }

    // Speech from a telephone-grade source needs little; music at full rate gets more.
    int64_t encoderBitRate(int rate, int channels)
    {
        return int64_t(channels) * (rate <= 16000 ? 24000 : 64000);
    }

    // A frame with room for count samples in the encoder's format.
    FramePtr makeFrame(const AVCodecContext &encoder, int count)
    {
        FramePtr frame(av_frame_alloc());
        if (!frame)
            return nullptr;
        frame->format = encoder.sample_fmt;
        frame->sample_rate = encoder.sample_rate;
        frame->nb_samples = count;
        if (av_channel_layout_copy(&frame->ch_layout, &encoder.ch_layout) < 0
            || av_frame_get_buffer(frame.get(), 0) < 0)
            return nullptr;
        return frame;
    }

} // namespace

void AudioTranscoder::SwrFree::operator()(SwrContext *context) const
{
    swr_free(&context);
}

void AudioTranscoder::FifoFree::operator()(AVAudioFifo *fifo) const
{
    av_audio_fifo_free(fifo);
}

AudioTranscoder::AudioTranscoder(const AVCodecParameters &input, AVRational inputTimeBase)
    : m_inTimeBase(inputTimeBase)
    , m_decoded(av_frame_alloc())
    , m_packet(makePacket())
{
    const AVCodec *decoder = avcodec_find_decoder(input.codec_id);
    const AVCodec *aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!decoder || !aac || !m_decoded || !m_packet || input.sample_rate <= 0)
        return;
    m_decoder.reset(avcodec_alloc_context3(decoder));
    if (!m_decoder || avcodec_parameters_to_context(m_decoder.get(), &input) < 0)
        return;
    m_decoder->pkt_timebase = inputTimeBase;
    if (avcodec_open2(m_decoder.get(), decoder, nullptr) < 0)
        return;

    m_encoder.reset(avcodec_alloc_context3(aac));
    if (!m_encoder)
        return;
    const int channels = std::min(input.ch_layout.nb_channels, 2);
    const int rate = encoderRate(*aac, input.sample_rate);
    m_encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    m_encoder->sample_rate = rate;
    av_channel_layout_default(&m_encoder->ch_layout, std::max(channels, 1));
    m_encoder->bit_rate = encoderBitRate(rate, m_encoder->ch_layout.nb_channels);
    m_encoder->time_base = AVRational { 1, rate };
    m_encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER; // the file keeps the configuration in its header
    if (avcodec_open2(m_encoder.get(), aac, nullptr) < 0)
        return;
    m_outTimeBase = m_encoder->time_base;
    m_fifo.reset(av_audio_fifo_alloc(m_encoder->sample_fmt, m_encoder->ch_layout.nb_channels, rate));
    CodecParametersPtr output(avcodec_parameters_alloc());
    if (!m_fifo || !output || avcodec_parameters_from_context(output.get(), m_encoder.get()) < 0)
        return;
    m_output = std::move(output);
}

AudioTranscoder::~AudioTranscoder() = default;

bool AudioTranscoder::push(const AVPacket &packet, const Sink &sink)
{
    if (!isOpen() || m_failed)
        return false;
    if (avcodec_send_packet(m_decoder.get(), &packet) < 0)
        return true; // a damaged packet: its sound is missing, the gap is filled later
    while (avcodec_receive_frame(m_decoder.get(), m_decoded.get()) == 0) {
        const bool ok = take(*m_decoded, sink);
        av_frame_unref(m_decoded.get());
        if (!ok) {
            m_failed = true;
            return false;
        }
    }
    return true;
}

bool AudioTranscoder::take(const AVFrame &decoded, const Sink &sink)
{
    if (!m_resampler && !openResampler(decoded))
        return false;
    int64_t start = decoded.best_effort_timestamp != AV_NOPTS_VALUE ? decoded.best_effort_timestamp : decoded.pts;
    start = start == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : av_rescale_q(start, m_inTimeBase, m_outTimeBase);

    const int room = swr_get_out_samples(m_resampler.get(), decoded.nb_samples);
    if (room < 0)
        return false;
    if (!m_converted || m_converted->nb_samples < room) {
        m_converted = makeFrame(*m_encoder, std::max(room, m_encoder->frame_size));
        if (!m_converted)
            return false;
    }
    const int count = swr_convert(m_resampler.get(), m_converted->data, m_converted->nb_samples,
        const_cast<const uint8_t **>(decoded.extended_data), decoded.nb_samples);
    if (count < 0)
        return false;
    place(start, m_converted->data, count);
    return encodeHeld(sink, false);
}

bool AudioTranscoder::openResampler(const AVFrame &decoded)
{
    SwrContext *raw = nullptr;
    if (swr_alloc_set_opts2(&raw, &m_encoder->ch_layout, m_encoder->sample_fmt, m_encoder->sample_rate,
            const_cast<AVChannelLayout *>(&decoded.ch_layout), AVSampleFormat(decoded.format), decoded.sample_rate, 0, nullptr)
        < 0)
        return false;
    m_resampler.reset(raw);
    return swr_init(raw) >= 0;
}

void AudioTranscoder::startAtUs(int64_t us)
{
    if (us != AV_NOPTS_VALUE && m_fifoPts == AV_NOPTS_VALUE)
        m_startPts = av_rescale_q(us, AVRational { 1, 1000000 }, m_outTimeBase);
}

void AudioTranscoder::place(int64_t start, uint8_t *const *planes, int count)
{
    int skip = 0;
    if (m_fifoPts == AV_NOPTS_VALUE) {
        if (start == AV_NOPTS_VALUE)
            start = m_startPts == AV_NOPTS_VALUE ? 0 : m_startPts;
        if (m_startPts != AV_NOPTS_VALUE && start < m_startPts) {
            skip = int(std::min<int64_t>(m_startPts - start, count));
            start += skip;
        }
        if (skip >= count)
            return; // all of it before the start
        m_fifoPts = start;
    }
    const int64_t held = av_audio_fifo_size(m_fifo.get());
    if (start != AV_NOPTS_VALUE && skip == 0) {
        const int64_t gap = start - (m_fifoPts + held);
        const int64_t tolerance = m_encoder->sample_rate / 100; // 10 ms of clock jitter
        if (gap > m_encoder->sample_rate) {
            // Too long a gap to fill: the sound starts over at its new time.
            av_audio_fifo_reset(m_fifo.get());
            m_fifoPts = start;
        } else if (gap > tolerance) {
            addSilence(int(gap)); // lost packets
        } else if (gap < -tolerance) {
            skip = int(std::min<int64_t>(-gap, count)); // sound that was already placed
        }
    }
    if (skip >= count)
        return;
    uint8_t *shifted[AV_NUM_DATA_POINTERS] = {};
    const int bytes = av_get_bytes_per_sample(m_encoder->sample_fmt);
    const bool planar = av_sample_fmt_is_planar(m_encoder->sample_fmt);
    const int channels = m_encoder->ch_layout.nb_channels;
    for (int c = 0; c < (planar ? channels : 1); ++c)
        shifted[c] = planes[c] + size_t(skip) * size_t(bytes) * size_t(planar ? 1 : channels);
    av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void **>(shifted), count - skip);
}

void AudioTranscoder::addSilence(int count)
{
    FramePtr silence = makeFrame(*m_encoder, count);
    if (!silence)
        return;
    av_samples_set_silence(silence->data, 0, count, m_encoder->ch_layout.nb_channels, m_encoder->sample_fmt);
    av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void **>(silence->data), count);
}

bool AudioTranscoder::encodeHeld(const Sink &sink, bool all)
{
    const int frameSize = m_encoder->frame_size > 0 ? m_encoder->frame_size : 1024;
    for (;;) {
        const int held = av_audio_fifo_size(m_fifo.get());
        if (held < frameSize && !(all && held > 0))
            break;
        const int count = std::min(held, frameSize);
        FramePtr frame = makeFrame(*m_encoder, count);
        if (!frame || av_audio_fifo_read(m_fifo.get(), reinterpret_cast<void **>(frame->data), count) != count)
            return false;
        frame->pts = m_fifoPts;
        m_fifoPts += count;
        if (avcodec_send_frame(m_encoder.get(), frame.get()) < 0 || !receivePackets(sink))
            return false;
    }
    return true;
}

bool AudioTranscoder::receivePackets(const Sink &sink)
{
    for (;;) {
        const int rc = avcodec_receive_packet(m_encoder.get(), m_packet.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0)
            return false;
        sink(m_packet.get());
        av_packet_unref(m_packet.get());
    }
}

void AudioTranscoder::drain(const Sink &sink)
{
    if (!isOpen() || m_failed)
        return;
    if (encodeHeld(sink, true) && avcodec_send_frame(m_encoder.get(), nullptr) >= 0)
        receivePackets(sink);
    m_failed = true; // the encoder is finished
}

} // namespace Qurel
