// Turns sound the MP4 file cannot carry (G.711 and the like) into AAC with libavcodec's own
// encoder. The sound keeps the stream's timestamps: a gap (lost packets) is filled with silence
// and an overlap trimmed, so it stays in step with the picture.
#pragma once

#include "AvHandles.h"

#include <functional>

struct SwrContext;
struct AVAudioFifo;

namespace Qurel {

class AudioTranscoder final
{
public:
    // Receives each finished AAC packet (timestamps in timeBase()); it may take the packet's data.
    using Sink = std::function<void(AVPacket *)>;

    AudioTranscoder(const AVCodecParameters &input, AVRational inputTimeBase);
    ~AudioTranscoder();
    AudioTranscoder(const AudioTranscoder &) = delete;
    AudioTranscoder &operator=(const AudioTranscoder &) = delete;

    // False when the sound cannot be decoded or the encoder cannot be set up for it.
    bool isOpen() const { return bool(m_output); }
    // The AAC stream as the file describes it.
    const AVCodecParameters &output() const { return *m_output; }
    AVRational timeBase() const { return m_outTimeBase; }

    // Leaves out the sound before this time (microseconds of the input's timestamps), so the first
    // AAC frame after the priming one begins exactly where the file's picture does.
    void startAtUs(int64_t us);

    // Decodes one packet of the stream and encodes what is ready. A packet that does not decode is
    // skipped; false once the encoder has failed, after which nothing more comes out.
    bool push(const AVPacket &packet, const Sink &sink);
    // Encodes the sound still held, the last frame shorter. Call once, at the end.
    void drain(const Sink &sink);

private:
    struct SwrFree
    {
        void operator()(SwrContext *context) const;
    };
    struct FifoFree
    {
        void operator()(AVAudioFifo *fifo) const;
    };

    bool take(const AVFrame &decoded, const Sink &sink);
    bool openResampler(const AVFrame &decoded);
    void place(int64_t start, uint8_t *const *planes, int count);
    void addSilence(int count);
    bool encodeHeld(const Sink &sink, bool all);
    bool receivePackets(const Sink &sink);

    AVRational m_inTimeBase;
    AVRational m_outTimeBase { 1, 48000 };
    CodecContextPtr m_decoder;
    CodecContextPtr m_encoder;
    CodecParametersPtr m_output;
    std::unique_ptr<SwrContext, SwrFree> m_resampler;
    std::unique_ptr<AVAudioFifo, FifoFree> m_fifo;
    FramePtr m_decoded;
    FramePtr m_converted;
    PacketPtr m_packet;
    int64_t m_fifoPts = AV_NOPTS_VALUE; // timestamp of the first sample held, in m_outTimeBase
    int64_t m_startPts = AV_NOPTS_VALUE; // nothing before it is kept, in m_outTimeBase
    bool m_failed = false;
};

} // namespace Qurel
