#pragma once
// OutputWatch: tells from periodic looks at a lesson's MP4 whether the local copy is still
// growing, and if not, why (folder gone, disk full, nothing arriving), so the operator can act
// before the lesson is lost. Pure logic: the looks are taken elsewhere.

#include <QString>

#include <cstdint>

namespace Qurel {

// What the relay library tells of its stream, when it can tell.
struct RelayHealth
{
    bool known = false;
    bool writeFailed = false;
    int writeError = 0; // errno of the failed write
    bool fileMissing = false; // written, but no longer at its path
    std::int64_t msSincePacket = -1; // -1: nothing arrived yet
    bool soundDropped = false; // the file has the picture alone
    bool refused = false; // the server refuses the relay's reconnects: a fresh login key is wanted
    bool ended = false; // the stream came back changed: the file is closed, a new one is wanted
};

// One look at the recording's file, its folder's disk and the relay.
struct OutputProbe
{
    bool folderExists = true;
    bool fileExists = false;
    std::int64_t size = 0;
    std::int64_t freeBytes = -1; // -1: unknown
    RelayHealth relay;
    bool rekeyed = false; // a fresh address was handed to the relay during this look
};

enum class OutputProblem {
    None,
    FolderGone, // the recordings folder was removed or its drive unplugged
    DiskFull, // the file stopped growing and its disk has no room
    WriteFailed, // the relay cannot write the file (drive gone, file-size limit, I/O error)
    StreamSilent, // nothing arrives from the recorder beyond the relay's reconnect window
    Stalled, // the file stopped growing for a reason nobody reported
    LowSpace, // still growing, but less than the warning limit is left on the disk
    NoSound // the stream's sound cannot be recorded: the file has the picture alone
};

// The status line's warning for a problem; empty for None.
QString OutputProblemText(OutputProblem problem);

class OutputWatch
{
public:
    struct Limits
    {
        std::int64_t stallMs = 3000; // no growth for this long counts as stopped
        std::int64_t graceMs = 5000; // the stream's first keyframe may take this long
        std::int64_t lowSpaceBytes = std::int64_t(1) << 30;
        std::int64_t fullBytes = std::int64_t(16) << 20; // below this a stalled file counts as disk full
    };

    OutputWatch() = default;
    explicit OutputWatch(Limits limits) : m_limits(limits) { }

    // A new recording starts at nowMs.
    void reset(std::int64_t nowMs);
    OutputProblem assess(const OutputProbe &probe, std::int64_t nowMs);

private:
    Limits m_limits;
    std::int64_t m_startMs = 0;
    std::int64_t m_lastSize = -1;
    std::int64_t m_lastGrowthMs = 0;
};

} // namespace Qurel
