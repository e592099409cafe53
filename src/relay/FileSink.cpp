#include "FileSink.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/mem.h>
}

namespace Qurel {

namespace {

    // Read too: a file removed from its path is copied from its descriptor to the new one.
    constexpr int kFileFlags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    constexpr int kIoBuffer = 64 * 1024;

    bool sameFile(const struct stat &a, const struct stat &b)
    {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    }

    std::string folderOf(const std::string &path)
    {
        const size_t slash = path.find_last_of('/');
        return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    }

    // Makes the folder and the folders above it that are missing.
    void makeFolders(const std::string &folder)
    {
        for (size_t at = folder.find('/', 1); at != std::string::npos; at = folder.find('/', at + 1))
            ::mkdir(folder.substr(0, at).c_str(), 0777);
        ::mkdir(folder.c_str(), 0777);
    }

    // The header of an MP4 "free" box spanning size bytes, which players skip.
    std::vector<uint8_t> freeBox(int64_t size)
    {
        std::vector<uint8_t> box;
        auto put = [&box](uint64_t value, int bytes) {
            for (int i = bytes - 1; i >= 0; --i)
                box.push_back(uint8_t(value >> (8 * i)));
        };
        const bool large = size > int64_t(UINT32_MAX);
        put(large ? 1 : uint64_t(size), 4);
        box.insert(box.end(), { 'f', 'r', 'e', 'e' });
        if (large)
            put(uint64_t(size), 8);
        return box;
    }

} // namespace

void UniqueFd::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

FileSink::FileSink(std::string path, Timing timing)
    : m_path(std::move(path))
    , m_timing(timing)
{
}

FileSink::~FileSink()
{
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
}

int FileSink::create()
{
    m_fd.reset(::open(m_path.c_str(), kFileFlags, 0666));
    if (!m_fd)
        return errno == ELOOP ? EEXIST : errno; // ELOOP: a symbolic link has the name
    m_lastSync = m_lastCheck = Clock::now();
    return 0;
}

AVIOContext *FileSink::openIo()
{
    if (m_io)
        return m_io;
    auto *buffer = static_cast<unsigned char *>(av_malloc(kIoBuffer));
    if (!buffer)
        return nullptr;
    m_io = avio_alloc_context(buffer, kIoBuffer, 1, this, nullptr, &FileSink::writePlain, &FileSink::seek);
    if (!m_io) {
        av_free(buffer);
        return nullptr;
    }
    // Typed writes tell where the muxer's header, fragments and index begin.
    m_io->write_data_type = &FileSink::writeTyped;
    return m_io;
}

int FileSink::writeTyped(void *opaque, uint8_t *data, int size, AVIODataMarkerType type, int64_t)
{
    const bool fragmentStart = type == AVIO_DATA_MARKER_SYNC_POINT || type == AVIO_DATA_MARKER_BOUNDARY_POINT
        || type == AVIO_DATA_MARKER_TRAILER;
    static_cast<FileSink *>(opaque)->write(data, size_t(size), fragmentStart, type == AVIO_DATA_MARKER_HEADER);
    return size;
}

int FileSink::writePlain(void *opaque, uint8_t *data, int size)
{
    static_cast<FileSink *>(opaque)->write(data, size_t(size), false, false);
    return size;
}

int64_t FileSink::seek(void *opaque, int64_t offset, int whence)
{
    auto *self = static_cast<FileSink *>(opaque);
    if (whence & AVSEEK_SIZE)
        return self->m_end;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
        self->m_pos = offset;
        break;
    case SEEK_CUR:
        self->m_pos += offset;
        break;
    case SEEK_END:
        self->m_pos = self->m_end + offset;
        break;
    default:
        return AVERROR(EINVAL);
    }
    return self->m_pos;
}

// The muxer is always told the data was written: a failed write leaves a hole from the start of
// its fragment, and the file goes on at a later fragment once the disk takes data again, so the
// muxer's offsets (its index at the end) stay true.
void FileSink::write(const uint8_t *data, size_t size, bool fragmentStart, bool header)
{
    if (fragmentStart)
        atFragmentStart();
    if (header && m_pos == int64_t(m_header.size()))
        m_header.insert(m_header.end(), data, data + size);
    if (fragmentStart)
        m_fragmentStart = m_pos;
    const bool writing = m_holeStart < 0 || (fragmentStart && Clock::now() >= m_nextRetry && resume());
    if (writing && m_fd) {
        if (writeAt(data, size, m_pos))
            m_headerOnDisk = m_headerOnDisk || header;
        else
            startHole(errno);
    }
    m_pos += int64_t(size);
    m_end = std::max(m_end, m_pos);
}

bool FileSink::writeAt(const uint8_t *data, size_t size, int64_t at)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd.get(), data, size, off_t(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        data += n;
        size -= size_t(n);
        at += n;
    }
    return true;
}

void FileSink::startHole(int error)
{
    m_holeStart = m_fragmentStart;
    if (m_holeStart == 0)
        m_headerOnDisk = false;
    // What reached the disk of the failed fragment goes: a player must not meet half a fragment.
    if (::ftruncate(m_fd.get(), off_t(m_holeStart)) != 0) {
        // The part stays; the hole's box, written over it on resuming, tells players to skip it.
    }
    m_error = error > 0 ? error : EIO;
    m_nextRetry = Clock::now() + m_timing.retry;
}

// At a fragment start after failed writes: the header if it never reached the disk, then a box
// over the hole so players skip it; true when both are on disk.
bool FileSink::resume()
{
    int64_t from = m_holeStart;
    bool ok = true;
    if (!m_headerOnDisk) {
        ok = writeAt(m_header.data(), m_header.size(), 0);
        from = int64_t(m_header.size());
    }
    const int64_t gap = m_pos - from;
    if (ok && gap >= 8) {
        const std::vector<uint8_t> box = freeBox(gap);
        ok = writeAt(box.data(), box.size(), from);
    } else if (ok && gap > 0) {
        errno = EIO; // cannot happen: boxes are at least 8 bytes
        ok = false;
    }
    if (!ok) {
        startHole(errno);
        return false;
    }
    m_headerOnDisk = true;
    m_holeStart = -1;
    m_error = 0;
    return true;
}

void FileSink::atFragmentStart()
{
    const Clock::time_point now = Clock::now();
    if (now - m_lastCheck >= m_timing.check) {
        m_lastCheck = now;
        checkPath();
    }
    if (m_holeStart < 0 && m_headerOnDisk && now - m_lastSync >= m_timing.sync) {
        m_lastSync = now;
        ::fdatasync(m_fd.get());
        if (!m_folderSynced) {
            syncFolder(); // the file's name survives a power cut too
            m_folderSynced = true;
        }
    }
}

void FileSink::checkPath()
{
    struct stat mine
    {
    }, there {};
    if (!m_fd || ::fstat(m_fd.get(), &mine) != 0)
        return;
    bool gone = mine.st_nlink == 0;
    if (!gone && ::stat(m_path.c_str(), &there) != 0)
        gone = errno == ENOENT || errno == ENOTDIR; // not an unreachable share
    else if (!gone)
        gone = !sameFile(mine, there);
    if (!gone) {
        m_missing = false;
        return;
    }
    const bool made = makeAgain();

    m_missing = !made;
    if (made)
        m_recreated = true;
}

// The folder or the file was removed: the file is made again at its path with everything written
// so far, which the open descriptor still reaches.
bool FileSink::makeAgain()
{
    makeFolders(folderOf(m_path));
    UniqueFd fresh(::open(m_path.c_str(), kFileFlags, 0666));
    if (!fresh)
        return false;
    std::vector<uint8_t> buffer(1 << 20);
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(m_fd.get(), buffer.data(), buffer.size(), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            break;
        const int saved = errno;
        if (n < 0 || ::pwrite(fresh.get(), buffer.data(), size_t(n), at) != n) {
            ::unlink(m_path.c_str()); // the copy just begun, ours
            errno = n < 0 ? saved : errno;
            return false;
        }
        at += n;
    }
    m_fd = std::move(fresh);
    m_folderSynced = false;
    return true;
}

void FileSink::syncFolder() const
{
    UniqueFd folder(::open(folderOf(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder)
        ::fsync(folder.get());
}

int FileSink::close()
{
    if (!m_fd)
        return EBADF;
    if (m_io)
        avio_flush(m_io);
    checkPath();
    int rc = m_holeStart >= 0 ? m_error.load() : 0;
    if (::fdatasync(m_fd.get()) != 0 && rc == 0 && errno != EINVAL)
        rc = errno;
    if (!m_folderSynced)
        syncFolder();
    if (::close(m_fd.release()) != 0 && rc == 0)
        rc = errno; // a network share may report a lost write only here
    if (m_missing && rc == 0)
        rc = ENOENT;
    return rc;
}

void FileSink::discard()
{
    struct stat mine
    {
    }, there {};
    if (m_fd && ::fstat(m_fd.get(), &mine) == 0 && ::stat(m_path.c_str(), &there) == 0 && sameFile(mine, there))
        ::unlink(m_path.c_str());
    m_fd.reset();
}

} // namespace Qurel
