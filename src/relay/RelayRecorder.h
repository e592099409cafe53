// One relayed stream: connects, then reads on its own thread and, once asked, records into the
// MP4 file, reconnecting after drop-outs until it is finished.
#pragma once

#include "Mp4Writer.h"
#include "RelayConfig.h"
#include "RtspSource.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace Qurel {

struct RelayTimeouts
{
    std::chrono::milliseconds connect { 8000 }; // first connection, inside the create call
    std::chrono::milliseconds reconnect { 10000 };
    std::chrono::milliseconds silence { 5000 }; // no packet for this long: reconnect
};

class RelayRecorder final
{
public:
    explicit RelayRecorder(RelayConfig config, RelayTimeouts timeouts = {});
    ~RelayRecorder();
    RelayRecorder(const RelayRecorder &) = delete;
    RelayRecorder &operator=(const RelayRecorder &) = delete;

    // Opens the stream and starts the reading thread; false when the stream cannot be had.
    bool connect();
    // From now on packets go into the file.
    void startRecording() { m_recording = true; }
    // Ends the thread and finalises the file; ZMS32_OK or the error code. Call once.
    int finish();

private:
    void run();
    bool waitBeforeRetry(std::chrono::milliseconds pause);

    RelayConfig m_config;
    RelayTimeouts m_timeouts;
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_recording { false };
    RtspSource m_source;
    Mp4Writer m_writer;
    std::thread m_thread;
    std::mutex m_waitMutex;
    std::condition_variable m_wake;
};

} // namespace Qurel
