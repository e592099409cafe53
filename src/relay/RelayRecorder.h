// One relayed stream: connects, then reads on its own thread and, once asked, records into the
// MP4 file, reconnecting after drop-outs until it is finished.
#pragma once

#include "AudioTranscoder.h"
#include "ClockStepGuard.h"
#include "FileSink.h"
#include "MediaRules.h"
#include "Mp4Writer.h"
#include "RelayConfig.h"
#include "RtspSource.h"
#include "zelmicro.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace Qurel {

struct RelayTimeouts
{
    std::chrono::milliseconds connect { 8000 }; // first connection, inside the create call
    std::chrono::milliseconds reconnect { 10000 };
    std::chrono::milliseconds silence { 5000 }; // no packet for this long: reconnect
};

// What the client may show about a running relay; see zms32GetDispatchStreamStatus.
struct RelayStatus
{
    bool connected = false;
    bool tcp = false;
    bool refused = false; // the server refused the last reconnect (authentication, unknown stream)
    bool recording = false; // the file exists and receives media
    bool ended = false; // the stream came back changed: the file is finished, nothing more is written
    bool fileMissing = false; // the file is gone from its path and could not be made again
    bool fileRecreated = false; // the file was removed and made again at its path
    AudioHandling audio = AudioHandling::None;
    int writeError = 0; // errno of the write failing now, 0 while writing works
    int reconnects = 0;
    int64_t recordedMs = 0;
    int64_t msSincePacket = -1;
    int64_t msSinceWrite = -1;
};

class RelayRecorder final
{
public:
    explicit RelayRecorder(RelayConfig config, RelayTimeouts timeouts = {});
    ~RelayRecorder();
    RelayRecorder(const RelayRecorder &) = delete;
    RelayRecorder &operator=(const RelayRecorder &) = delete;

    // Makes the file, empty until media comes; 0 or an errno (EEXIST: the name is taken).
    int createFile() { return m_sink.create(); }
    // Removes the empty file again (the stream could not be had).
    void discardFile() { m_sink.discard(); }
    // Opens the stream and starts the reading thread; ZMS32_OK, ZMS32_ERR_CONNECT when the
    // stream cannot be had, ZMS32_ERR_VIDEO when its picture cannot go into an MP4 file.
    int connect();
    // From now on packets go into the file.
    void startRecording() { m_recording = true; }
    // Ends the thread and finalises the file; ZMS32_OK or the error code. Call once.
    int finish();
    // What finish() would say as things stand, from any thread, while it has not returned.
    int resultSoFar() const;
    // May be called from any thread at any time.
    RelayStatus status() const;
    // The URL the next connects use; from any thread. A relay waiting to reconnect tries it at once.
    void setUrl(std::string url);

private:
    using Clock = CoarseClock;

    int finishFile();
    void run() noexcept;
    void readLoop();
    bool waitBeforeRetry(std::chrono::milliseconds pause);
    void takeNewUrl();
    void beginSegment();
    void endSegment();
    void record(AVPacket *packet);
    void deliver(AVPacket *packet);
    void noteWrite();

    RelayConfig m_config;
    RelayTimeouts m_timeouts;
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_recording { false };
    RtspSource m_source;
    ClockStepGuard m_clockSteps;
    FileSink m_sink;
    Mp4Writer m_writer;
    // Sound that the file takes as AAC, by stream index of the current connection.
    std::map<int, std::unique_ptr<AudioTranscoder>> m_transcoders;
    // Sound that came before the connection's first keyframe was in the file, kept until it is.
    std::deque<PacketPtr> m_early;
    std::thread m_thread;
    std::mutex m_waitMutex;
    std::condition_variable m_wake;
    std::string m_newUrl; // under m_waitMutex: set by setUrl(), taken before the next connect
    bool m_urlChanged = false; // under m_waitMutex

    // Read by status() from other threads.
    const Clock::time_point m_created = Clock::now();
    std::atomic<bool> m_connected { false };
    std::atomic<bool> m_tcp { false };
    std::atomic<bool> m_refused { false };
    std::atomic<bool> m_ended { false }; // the file was finished as the stream came back changed
    std::atomic<int> m_result { ZMS32_OK }; // of finishing the file
    std::atomic<AudioHandling> m_audio { AudioHandling::None };
    std::atomic<int> m_writeError { 0 };
    std::atomic<int> m_reconnects { 0 };
    std::atomic<int64_t> m_recordedUs { 0 };
    std::atomic<int64_t> m_lastPacketUs { -1 }; // since m_created
    std::atomic<int64_t> m_lastWriteUs { -1 };
};

} // namespace Qurel
