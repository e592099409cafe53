// The recorder's live stream opened with libavformat; every blocking step can be cut short.
#pragma once

#include "AvHandles.h"
#include "CoarseClock.h"

#include <atomic>
#include <chrono>
#include <string>

namespace Qurel {

// True for the answers of a server that will not serve this URL as it is (401, 403, 404, 454 and
// the like): retrying the same address is unlikely to help, a new one (a fresh key) may.
bool isRefusal(int averror);

class RtspSource final
{
public:
    // stop: when it turns true, an open or read in progress returns at once.
    RtspSource(std::string url, bool tcp, const std::atomic<bool> &stop);
    RtspSource(const RtspSource &) = delete;
    RtspSource &operator=(const RtspSource &) = delete;

    // Connects and learns the streams within the limit; 0 or an AVERROR code. A server that
    // refuses the RTP transport asked for is asked once for the other one, which is then kept.
    int open(std::chrono::milliseconds limit);
    // Next packet; an AVERROR code when the stream ended, broke or was silent for the limit. RTP
    // over UDP that brings no packet within about 3 s of the session's start is given up for TCP
    // (a firewall drops it), which is then kept.
    int read(AVPacket *packet, std::chrono::milliseconds silenceLimit);
    // Ends the session with TEARDOWN (within a second, even when stopped) and closes it.
    void close();
    // The address the next open() uses.
    void setUrl(std::string url) { m_url = std::move(url); }

    bool isOpen() const { return bool(m_input); }
    bool tcp() const { return m_tcp; }
    const AVFormatContext *context() const { return m_input.get(); }

private:
    static int interrupted(void *opaque);
    void arm(std::chrono::milliseconds limit) { m_deadline = CoarseClock::now() + limit; }
    int connect(bool tcp);
    bool describedEnough();
    // Waits 100 ms; false when stopped or past the deadline.
    bool pauseBeforeRetry();

    std::string m_url;
    bool m_tcp;
    const std::atomic<bool> &m_stop;
    CoarseClock::time_point m_deadline;
    unsigned m_checks = 0;
    bool m_hadPacket = false; // since the last open
    bool m_closing = false; // the stop no longer cuts short: the session's TEARDOWN goes out
    InputContextPtr m_input;
};

} // namespace Qurel
