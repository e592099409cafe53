// makePic's time on a 1-minute and a 2-hour recording (the long one made by stream-copy
// concatenation, written as fragmented MP4 like the relay writes). Usage: bench_makepic [RUNS]
#include "ChildProcess.h"

#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <vector>

using namespace Qurel;

namespace {

const char *const kFragmented = "frag_keyframe+empty_moov+default_base_moof";

bool run(const std::vector<std::string> &argv, const std::string &log)
{
    const double t = Bench::now();
    return Bench::waitFor(Bench::spawn(argv, log), t).ok;
}

struct Timing
{
    double wall = -1; // median wall seconds; negative when makePic failed
    double cpu = -1; // median CPU seconds
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Timing timeMakePic(const std::string &input, const std::string &output, int runs)
{
    std::vector<double> times, cpu;
    for (int i = 0; i < runs; ++i) {
        const double t = Bench::now();
        const Bench::ChildUsage usage
            = Bench::waitFor(Bench::spawn({ QUREL_PROGRAM_DIR "/makePic", "-i", input, "-y", "-f", "image2",
                                              "-ss", "1", "-t", "2", "-s", "720x405", output },
                                 output + ".log"),
                t);
        if (!usage.ok)
            return {};
        times.push_back(usage.wallSeconds);
        cpu.push_back(usage.cpuSeconds);
    }
    return { median(times), median(cpu) };
}

long long sizeOf(const std::string &path)
{
    struct stat st
    {
    };
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString() + "/";
    const std::string minute = d + "minute.mp4", hours = d + "twohours.mp4";
    if (!run({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                 "testsrc2=size=1280x720:rate=25", "-f", "lavfi", "-i", "sine", "-t", "60", "-c:v", "libx264",
                 "-preset", "ultrafast", "-g", "50", "-b:v", "1M", "-c:a", "aac", "-movflags", kFragmented,
                 minute },
            d + "minute.log")) {
        std::fprintf(stderr, "cannot make the 1-minute file\n");
        return 1;
    }
    {
        std::ofstream list(d + "list.txt");
        for (int i = 0; i < 120; ++i)
            list << "file '" << minute << "'\n";
    }
    if (!run({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "concat", "-safe", "0", "-i", d + "list.txt",
                 "-c", "copy", "-movflags", kFragmented, hours },
            d + "hours.log")) {
        std::fprintf(stderr, "cannot make the 2-hour file\n");
        return 1;
    }
    // makePic given nothing to do exits once its libraries are loaded: the part no work can save.
    std::vector<double> loadTimes, loadCpu;
    for (int i = 0; i < runs; ++i) {
        const double t = Bench::now();
        const Bench::ChildUsage usage = Bench::waitFor(Bench::spawn({ QUREL_PROGRAM_DIR "/makePic" }, d + "load.log"), t);
        loadTimes.push_back(usage.wallSeconds);
        loadCpu.push_back(usage.cpuSeconds);
    }
    const Timing shortTime = timeMakePic(minute, d + "minute.jpg", runs);
    const Timing longTime = timeMakePic(hours, d + "twohours.jpg", runs);
    std::printf("makePic, median of %d runs (target < 0.1 s, independent of length):\n", runs);
    std::printf("  loading its libraries alone: %.3f s wall, %.3f s CPU\n", median(loadTimes), median(loadCpu));
    std::printf("  1-minute recording (%lld bytes): %.3f s wall, %.3f s CPU\n", sizeOf(minute),
        shortTime.wall, shortTime.cpu);
    std::printf("  2-hour recording  (%lld bytes): %.3f s wall, %.3f s CPU\n", sizeOf(hours), longTime.wall,
        longTime.cpu);
    return shortTime.wall >= 0 && longTime.wall >= 0 ? 0 : 1;
}
