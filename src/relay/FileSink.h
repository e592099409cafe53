// The recording's file on disk, below the MP4 muxer: made exclusively, synced to disk about once a
// second, made again when its folder or name disappears, and carried past failed writes (a full
// disk) as a hole that writing resumes after.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avio.h>
}

namespace Qurel {

// An owned file descriptor.
class UniqueFd final
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd)
        : m_fd(fd)
    {
    }
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd &&other) noexcept
        : m_fd(other.release())
    {
    }
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

struct FileSinkTiming
{
    // At most one sync to disk per this time: a little under the muxer's one-second fragments, so
    // that each of them is synced as it is written.
    std::chrono::milliseconds sync { 900 };
    std::chrono::milliseconds check { 1000 }; // is the file still at its path
    std::chrono::milliseconds retry { 3000 }; // after a failed write, the next attempt
};

class FileSink final
{
public:
    using Clock = std::chrono::steady_clock;

    using Timing = FileSinkTiming;

    explicit FileSink(std::string path, Timing timing = {});
    ~FileSink();
    FileSink(const FileSink &) = delete;
    FileSink &operator=(const FileSink &) = delete;

    // Makes the file, never over an existing file or through a symbolic link; 0 or an errno
    // (EEXIST: the name is taken).
    int create();
    // The muxer's output over this file; the sink must outlive it. Null when out of memory.
    AVIOContext *openIo();
    // Syncs and closes the file, after a last look that it is still at its path; 0 when
    // everything the muxer wrote is in the file at its path, else the errno that kept it out.
    int close();
    // Removes the file this sink made (one without media), if it is still the one at the path.
    void discard();

    const std::string &path() const { return m_path; }
    // Readable from any thread.
    int error() const { return m_error; } // errno of the write failing now, 0 while writing works
    bool missing() const { return m_missing; } // the file is gone from its path and could not be made again
    bool recreated() const { return m_recreated; } // the file was made again at its path

private:
    static int writeTyped(void *opaque, uint8_t *data, int size, AVIODataMarkerType type, int64_t time);
    static int writePlain(void *opaque, uint8_t *data, int size);
    static int64_t seek(void *opaque, int64_t offset, int whence);

    void write(const uint8_t *data, size_t size, bool fragmentStart, bool header);
    bool writeAt(const uint8_t *data, size_t size, int64_t at);
    void startHole(int error);
    bool resume();
    void atFragmentStart();
    void checkPath();
    bool makeAgain();
    void syncFolder() const;

    std::string m_path;
    Timing m_timing;
    UniqueFd m_fd;
    AVIOContext *m_io = nullptr;
    int64_t m_pos = 0; // where the muxer writes next
    int64_t m_end = 0; // the end of what the muxer wrote
    int64_t m_fragmentStart = 0; // where the fragment being written began
    int64_t m_holeStart = -1; // failing since this offset; -1 while writing works
    std::vector<uint8_t> m_header; // the file's header as the muxer wrote it, for a retry
    bool m_headerOnDisk = false;
    bool m_folderSynced = false;
    Clock::time_point m_lastSync;
    Clock::time_point m_lastCheck;
    Clock::time_point m_nextRetry;

    std::atomic<int> m_error { 0 };
    std::atomic<bool> m_missing { false };
    std::atomic<bool> m_recreated { false };
};

} // namespace Qurel
