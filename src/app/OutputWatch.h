#pragma once
// OutputWatch: tells from periodic looks at a lesson's MP4 whether the local copy is still
// growing, and if not, why (folder gone, disk full, nothing arriving), so the operator can act
// before the lesson is lost. Pure logic: the looks are taken elsewhere.

#include <QString>

#include <cstdint>

namespace Qurel {

// One look at the recording's file and its folder's disk.
struct OutputProbe
{
    bool folderExists = true;
    bool fileExists = false;
    std::int64_t size = 0;
    std::int64_t freeBytes = -1; // -1: unknown
};

enum class OutputProblem {
    None,
    FolderGone, // the recordings folder was removed or its drive unplugged
    DiskFull, // the file stopped growing and its disk has no room
    Stalled, // the file stopped growing although it could: no stream, or writes failing
    LowSpace // still growing, but less than the warning limit is left on the disk
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
