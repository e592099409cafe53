// libzelmicro: the six C functions over one relayed stream (stream 0).
#include "zelmicro.h"

#include "RelayConfig.h"
#include "RelayRecorder.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

using Qurel::RelayConfig;
using Qurel::RelayRecorder;

namespace {

enum class StreamState { None, Created, Recording, Finished };

struct Library
{
    std::mutex mutex;
    bool initialised = false;
    StreamState state = StreamState::None;
    std::unique_ptr<RelayRecorder> recorder;
    int finishCode = ZMS32_OK; // result of a StopRecord that came before Destroy
    bool stopAfterDestroy = false; // Destroy done, the StopRecord that follows it is expected
    std::string path; // of the file being recorded
};

Library &library()
{
    static Library instance;
    return instance;
}

// Runs a stream call under the library's lock once the library is initialised and the stream
// number is valid.
template <typename Call> int32_t streamCall(int32_t stream, Call call)
{
    Library &lib = library();
    std::lock_guard<std::mutex> lock(lib.mutex);
    if (!lib.initialised)
        return ZMS32_ERR_NOT_INITIALISED;
    if (stream != 0)
        return ZMS32_ERR_BAD_STREAM;
    return call(lib);
}

bool folderWritable(const RelayConfig &config)
{
    return access(config.folder.c_str(), W_OK | X_OK) == 0;
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

// An errno for the client; libav* failures that carry none count as I/O errors.
int32_t errnoOf(int averror)
{
    if (averror == 0)
        return 0;
    const int code = AVUNERROR(averror);
    return code > 0 && code < 4096 ? code : EIO;
}

} // namespace

int32_t zms32Init(int32_t, int32_t, int32_t)
{
    Library &lib = library();
    std::lock_guard<std::mutex> lock(lib.mutex);
    if (lib.initialised)
        return ZMS32_ERR_WRONG_STATE;
    avformat_network_init();
    lib.initialised = true;
    return ZMS32_OK;
}

int32_t zms32Uninit(void)
{
    Library &lib = library();
    std::lock_guard<std::mutex> lock(lib.mutex);
    if (!lib.initialised)
        return ZMS32_ERR_NOT_INITIALISED;
    if (lib.recorder)
        lib.recorder->finish(); // a recording still running is kept, finalised
    lib.recorder.reset();
    lib.state = StreamState::None;
    lib.stopAfterDestroy = false;
    avformat_network_deinit();
    lib.initialised = false;
    return ZMS32_OK;
}

int32_t zms32CreateDispatchStream(int32_t stream, const void *config)
{
    return streamCall(stream, [&](Library &lib) -> int32_t {
        if (lib.state != StreamState::None)
            return ZMS32_ERR_WRONG_STATE; // one recording at a time; the running one goes on
        RelayConfig parsed;
        if (!Qurel::parseRelayConfig(config, parsed))
            return ZMS32_ERR_BAD_CONFIG;
        if (!folderWritable(parsed))
            return ZMS32_ERR_FOLDER;
        auto recorder = std::make_unique<RelayRecorder>(parsed);
        if (const int rc = recorder->connect(); rc != ZMS32_OK)
            return rc;
        lib.path = parsed.outputPath();
        lib.recorder = std::move(recorder);
        lib.state = StreamState::Created;
        lib.stopAfterDestroy = false;
        return ZMS32_OK;
    });
}

int32_t zms32StartDispatchStreamRecord(int32_t stream)
{
    return streamCall(stream, [&](Library &lib) -> int32_t {
        if (lib.state != StreamState::Created)
            return ZMS32_ERR_WRONG_STATE;
        lib.recorder->startRecording();
        lib.state = StreamState::Recording;
        return ZMS32_OK;
    });
}

int32_t zms32DestroyDispatchStream(int32_t stream)
{
    return streamCall(stream, [&](Library &lib) -> int32_t {
        int32_t rc = ZMS32_OK;
        switch (lib.state) {
        case StreamState::None:
            return ZMS32_ERR_WRONG_STATE;
        case StreamState::Created:
            lib.recorder->finish(); // never asked to record: nothing is expected on disk
            break;
        case StreamState::Recording:
            rc = lib.recorder->finish();
            break;
        case StreamState::Finished:
            rc = lib.finishCode;
            break;
        }
        // The slot is free again even when the file had a problem: the caller skips StopRecord
        // then, and the next recording must be able to start.
        lib.recorder.reset();
        lib.state = StreamState::None;
        lib.stopAfterDestroy = true;
        return rc;
    });
}

int32_t zms32StopDispatchStreamRecord(int32_t stream)
{
    return streamCall(stream, [&](Library &lib) -> int32_t {
        if (lib.state == StreamState::None && lib.stopAfterDestroy) {
            lib.stopAfterDestroy = false;
            return ZMS32_OK;
        }
        if (lib.state != StreamState::Recording)
            return ZMS32_ERR_WRONG_STATE;
        lib.finishCode = lib.recorder->finish();
        lib.state = StreamState::Finished;
        return lib.finishCode;
    });
}

int32_t zms32GetDispatchStreamStatus(int32_t stream, Zms32StreamStatus *status)
{
    return streamCall(stream, [&](Library &lib) -> int32_t {
        if (!status)
            return ZMS32_ERR_BAD_CONFIG;
        if (!lib.recorder)
            return ZMS32_ERR_WRONG_STATE;
        const Qurel::RelayStatus s = lib.recorder->status();
        int32_t flags = 0;
        if (s.connected)
            flags |= ZMS32_STATUS_CONNECTED;
        if (s.tcp)
            flags |= ZMS32_STATUS_TCP;
        if (s.recording)
            flags |= ZMS32_STATUS_RECORDING;
        if (s.writeError)
            flags |= ZMS32_STATUS_WRITE_FAILED;
        if (s.refused)
            flags |= ZMS32_STATUS_REFUSED;
        // Writing into a removed folder still succeeds on Linux (the open file lives on unnamed),
        // so the path itself is looked at.
        struct stat st
        {
        };
        if (s.msSinceWrite >= 0 && stat(lib.path.c_str(), &st) != 0)
            flags |= ZMS32_STATUS_FILE_MISSING;
        *status = Zms32StreamStatus { flags, audioCode(s.audio), errnoOf(s.writeError), s.reconnects,
            s.recordedMs, s.msSincePacket, s.msSinceWrite };
        return ZMS32_OK;
    });
}

int32_t zms32SetDispatchStreamUrl(int32_t stream, const char *url)
{
    return streamCall(stream, [&](Library &lib) -> int32_t {
        if (!url || !*url || std::strlen(url) >= ZMS32_LEN_URL)
            return ZMS32_ERR_BAD_CONFIG;
        if (!lib.recorder)
            return ZMS32_ERR_WRONG_STATE;
        lib.recorder->setUrl(url);
        return ZMS32_OK;
    });
}
