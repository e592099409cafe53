// The recorder's live stream opened with libavformat; every blocking step can be cut short.
#pragma once

#include "AvHandles.h"

#include <atomic>
#include <chrono>
#include <string>

namespace Qurel {

// A stream the MP4 file can take: video with its picture size, or audio with its sample rate.
bool isRecordable(const AVCodecParameters &par);

class RtspSource final
{
public:
    // stop: when it turns true, an open or read in progress returns at once.
    RtspSource(std::string url, bool tcp, const std::atomic<bool> &stop);
    RtspSource(const RtspSource &) = delete;
    RtspSource &operator=(const RtspSource &) = delete;

    // Connects and learns the streams within the limit; 0 or an AVERROR code.
    int open(std::chrono::milliseconds limit);
    // Next packet; an AVERROR code when the stream ended, broke or was silent for the limit.
    int read(AVPacket *packet, std::chrono::milliseconds silenceLimit);
    void close() { m_input.reset(); }

    bool isOpen() const { return bool(m_input); }
    const AVFormatContext *context() const { return m_input.get(); }

private:
    static int interrupted(void *opaque);
    void arm(std::chrono::milliseconds limit) { m_deadline = std::chrono::steady_clock::now() + limit; }

    std::string m_url;
    bool m_tcp;
    const std::atomic<bool> &m_stop;
    std::chrono::steady_clock::time_point m_deadline;
    InputContextPtr m_input;
};

} // namespace Qurel
