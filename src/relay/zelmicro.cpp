// libzelmicro: the C functions over one relayed stream (stream 0).
#include "zelmicro.h"

#include "RelayConfig.h"
#include "RelayRecorder.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>

using Qurel::RelayConfig;
using Qurel::RelayRecorder;

namespace {

using std::chrono::milliseconds;

// How long a destroy or stop call waits for the file to be finished before it leaves the rest to
// a thread of its own (a stalled disk or network share).
constexpr milliseconds kFinishWait { 900 };

// A recording being finished (reading ended, the file's end written and closed) on its own thread.
class FinishJob final
{
public:
    explicit FinishJob(std::shared_ptr<RelayRecorder> recorder)
        : m_recorder(std::move(recorder))
    {
    }

    // Starts the thread; runs the finish here when no thread can be made.
    static std::shared_ptr<FinishJob> start(std::shared_ptr<RelayRecorder> recorder)
    {
        auto job = std::make_shared<FinishJob>(std::move(recorder));
        try {
            std::thread([job] { job->run(); }).detach();
        } catch (...) {
            job->run();
        }
        return job;
    }

    // The result once finished within the limit.
    std::optional<int> waitFor(milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_done.wait_for(lock, limit, [this] { return m_finished; }))
            return std::nullopt;
        return m_result;
    }

    bool finished()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_finished;
    }

private:
    void run() noexcept
    {
        int result = ZMS32_ERR_INTERNAL;
        try {
            result = m_recorder->finish();
            m_recorder.reset();
        } catch (...) {
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_result = result;
        m_finished = true;
        m_done.notify_all();
    }

    std::shared_ptr<RelayRecorder> m_recorder;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    int m_result = ZMS32_OK;
};

enum class StreamState { None, Creating, Created, Recording, Stopping, Finished };

// The library's state. The lock is held only to read and change these fields, never across a
// connect, a thread join or file I/O, so no call waits for another's slow work.
struct Library
{
    std::mutex mutex;
    bool initialised = false;
    StreamState state = StreamState::None;
    std::shared_ptr<RelayRecorder> recorder;
    int finishCode = ZMS32_OK; // result of a StopRecord that came before Destroy
    bool stopAfterDestroy = false; // Destroy done, the StopRecord that follows it is expected
    std::vector<std::shared_ptr<FinishJob>> finishing; // recordings whose files are still being finished
};

Library &library()
{
    // Never destroyed: a file still being finished at exit must not meet a destroyed lock.
    static Library *instance = new Library;
    return *instance;
}

// Runs a call and turns any exception (memory running out) into a result code: nothing thrown
// may cross into the C caller.
template <typename Call> int32_t guarded(Call call) noexcept
{
    try {
        return call();
    } catch (...) {
        return ZMS32_ERR_INTERNAL;
    }
}

// Runs a short call under the library's lock once the library is initialised and the stream
// number is valid.
template <typename Call> int32_t streamCall(int32_t stream, Call call) noexcept
{
    return guarded([&]() -> int32_t {
        Library &lib = library();
        std::lock_guard<std::mutex> lock(lib.mutex);
        if (!lib.initialised)
            return ZMS32_ERR_NOT_INITIALISED;
        if (stream != 0)
            return ZMS32_ERR_BAD_STREAM;
        return call(lib);
    });
}

// Finishes the recording on a thread of its own and waits for it a short while: the result, or,
// while the disk still holds it up, the verdict so far.
int finishWithin(Library &lib, const std::shared_ptr<RelayRecorder> &recorder, milliseconds limit)
{
    std::shared_ptr<FinishJob> job = FinishJob::start(recorder);
    {
        std::lock_guard<std::mutex> lock(lib.mutex);
        lib.finishing.erase(std::remove_if(lib.finishing.begin(), lib.finishing.end(),
                                [](const std::shared_ptr<FinishJob> &j) { return j->finished(); }),
            lib.finishing.end());
        lib.finishing.push_back(job);
    }
    if (const std::optional<int> result = job->waitFor(limit))
        return *result;
    return recorder->resultSoFar();
}

int32_t audioCode(Qurel::AudioHandling handling)
{
    switch (handling) {
    case Qurel::AudioHandling::None:
        break;
    case Qurel::AudioHandling::Copied:
        return ZMS32_AUDIO_COPIED;
    case Qurel::AudioHandling::Transcoded:
        return ZMS32_AUDIO_TRANSCODED;
    case Qurel::AudioHandling::Dropped:
        return ZMS32_AUDIO_DROPPED;
    }
    return ZMS32_AUDIO_NONE;
}

// Makes the file and connects; the recorder on success.
int32_t makeRecorder(const void *config, std::shared_ptr<RelayRecorder> &made)
{
    RelayConfig parsed;
    if (!Qurel::parseRelayConfig(config, parsed))
        return ZMS32_ERR_BAD_CONFIG;
    if (access(parsed.folder.c_str(), W_OK | X_OK) != 0)
        return ZMS32_ERR_FOLDER;
    auto recorder = std::make_shared<RelayRecorder>(parsed);
    if (const int error = recorder->createFile(); error != 0)
        return error == EEXIST ? ZMS32_ERR_EXISTS : ZMS32_ERR_FOLDER;
    if (const int rc = recorder->connect(); rc != ZMS32_OK) {
        recorder->discardFile();
        return rc;
    }
    made = std::move(recorder);
    return ZMS32_OK;
}

} // namespace

int32_t zms32Init(int32_t, int32_t, int32_t)
{
    return guarded([] {
        Library &lib = library();
        std::lock_guard<std::mutex> lock(lib.mutex);
        if (lib.initialised)
            return ZMS32_ERR_WRONG_STATE;
        avformat_network_init();
        lib.initialised = true;
        return ZMS32_OK;
    });
}

int32_t zms32Uninit(void)
{
    return guarded([] {
        Library &lib = library();
        std::shared_ptr<RelayRecorder> recorder;
        {
            std::lock_guard<std::mutex> lock(lib.mutex);
            if (!lib.initialised)
                return ZMS32_ERR_NOT_INITIALISED;
            recorder = std::move(lib.recorder);
            lib.state = StreamState::None;
            lib.stopAfterDestroy = false;
            lib.initialised = false;
        }
        if (recorder)
            finishWithin(lib, recorder, kFinishWait); // a recording still running is kept, finalised
        std::vector<std::shared_ptr<FinishJob>> finishing;
        {
            std::lock_guard<std::mutex> lock(lib.mutex);
            finishing.swap(lib.finishing);
        }
        // Files a stalled disk still holds are left to their threads.
        const auto until = std::chrono::steady_clock::now() + kFinishWait;
        for (const auto &job : finishing)
            job->waitFor(std::chrono::duration_cast<milliseconds>(
                std::max(until - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero())));
        avformat_network_deinit();
        return ZMS32_OK;
    });
}

int32_t zms32CreateDispatchStream(int32_t stream, const void *config)
{
    const int32_t reserved = streamCall(stream, [](Library &lib) -> int32_t {
        if (lib.state != StreamState::None)
            return ZMS32_ERR_WRONG_STATE; // one recording at a time; the running one goes on
        lib.state = StreamState::Creating;
        lib.stopAfterDestroy = false;
        return ZMS32_OK;
    });
    if (reserved != ZMS32_OK)
        return reserved;
    std::shared_ptr<RelayRecorder> recorder;
    const int32_t rc = guarded([&] { return makeRecorder(config, recorder); });
    return guarded([&]() -> int32_t {
        Library &lib = library();
        std::lock_guard<std::mutex> lock(lib.mutex);
        if (lib.state != StreamState::Creating)
            return rc == ZMS32_OK ? ZMS32_ERR_NOT_INITIALISED : rc; // Uninit came meanwhile
        lib.state = rc == ZMS32_OK ? StreamState::Created : StreamState::None;
        lib.recorder = std::move(recorder);
        return rc;
    });
}

int32_t zms32StartDispatchStreamRecord(int32_t stream)
{
    return streamCall(stream, [](Library &lib) -> int32_t {
        if (lib.state != StreamState::Created)
            return ZMS32_ERR_WRONG_STATE;
        lib.recorder->startRecording();
        lib.state = StreamState::Recording;
        return ZMS32_OK;
    });
}

int32_t zms32DestroyDispatchStream(int32_t stream)
{
    std::shared_ptr<RelayRecorder> recorder;
    StreamState was = StreamState::None;
    int32_t finishCode = ZMS32_OK;
    const int32_t taken = streamCall(stream, [&](Library &lib) -> int32_t {
        if (lib.state == StreamState::None || lib.state == StreamState::Creating || lib.state == StreamState::Stopping)
            return ZMS32_ERR_WRONG_STATE;
        was = lib.state;
        finishCode = lib.finishCode;
        recorder = std::move(lib.recorder);
        // The slot is free again even when the file had a problem: the caller skips StopRecord
        // then, and the next recording must be able to start.
        lib.state = StreamState::None;
        lib.stopAfterDestroy = true;
        return ZMS32_OK;
    });
    if (taken != ZMS32_OK)
        return taken;
    if (was == StreamState::Finished)
        return finishCode;
    return guarded([&]() -> int32_t {
        const int rc = finishWithin(library(), recorder, kFinishWait);
        return was == StreamState::Created ? ZMS32_OK : rc; // never asked to record: nothing is expected on disk
    });
}

int32_t zms32StopDispatchStreamRecord(int32_t stream)
{
    std::shared_ptr<RelayRecorder> recorder;
    const int32_t taken = streamCall(stream, [&](Library &lib) -> int32_t {
        if (lib.state == StreamState::None && lib.stopAfterDestroy) {
            lib.stopAfterDestroy = false; // the destroy call finished the recording already
            return ZMS32_OK;
        }
        if (lib.state != StreamState::Recording)
            return ZMS32_ERR_WRONG_STATE;
        recorder = lib.recorder;
        lib.state = StreamState::Stopping;
        return ZMS32_OK;
    });
    if (taken != ZMS32_OK || !recorder)
        return taken;
    const int32_t rc = guarded([&] { return finishWithin(library(), recorder, kFinishWait); });
    streamCall(stream, [rc](Library &lib) -> int32_t {
        if (lib.state == StreamState::Stopping) {
            lib.state = StreamState::Finished;
            lib.finishCode = rc;
        }
        return ZMS32_OK;
    });
    return rc;
}

// The created stream's recorder, taken under the library's lock so the caller can use it without
// holding the lock; ZMS32_ERR_BAD_CONFIG when the caller's argument is bad.
static int32_t takeRecorder(int32_t stream, bool argumentOk, std::shared_ptr<RelayRecorder> &recorder)
{
    return streamCall(stream, [&](Library &lib) -> int32_t {
        if (!argumentOk)
            return ZMS32_ERR_BAD_CONFIG;
        if (!lib.recorder)
            return ZMS32_ERR_WRONG_STATE;
        recorder = lib.recorder;
        return ZMS32_OK;
    });
}

int32_t zms32GetDispatchStreamStatus(int32_t stream, Zms32StreamStatus *status)
{
    std::shared_ptr<RelayRecorder> recorder;
    if (const int32_t taken = takeRecorder(stream, status != nullptr, recorder); taken != ZMS32_OK)
        return taken;
    return guarded([&]() -> int32_t {
        const Qurel::RelayStatus s = recorder->status();
        int32_t flags = 0;
        auto set = [&flags](bool on, int32_t bit) {
            if (on)
                flags |= bit;
        };
        set(s.connected, ZMS32_STATUS_CONNECTED);
        set(s.tcp, ZMS32_STATUS_TCP);
        set(s.recording, ZMS32_STATUS_RECORDING);
        set(s.writeError != 0, ZMS32_STATUS_WRITE_FAILED);
        set(s.fileMissing, ZMS32_STATUS_FILE_MISSING);
        set(s.refused, ZMS32_STATUS_REFUSED);
        set(s.ended, ZMS32_STATUS_ENDED);
        set(s.fileRecreated, ZMS32_STATUS_RECREATED);
        *status = Zms32StreamStatus { flags, audioCode(s.audio), s.writeError, s.reconnects, s.recordedMs,
            s.msSincePacket, s.msSinceWrite };
        return ZMS32_OK;
    });
}

int32_t zms32SetDispatchStreamUrl(int32_t stream, const char *url)
{
    std::shared_ptr<RelayRecorder> recorder;
    const bool goodUrl = url && *url && std::strlen(url) < ZMS32_LEN_URL;
    if (const int32_t taken = takeRecorder(stream, goodUrl, recorder); taken != ZMS32_OK)
        return taken;
    return guarded([&] {
        recorder->setUrl(url);
        return ZMS32_OK;
    });
}
