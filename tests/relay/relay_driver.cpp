// A small program around libzelmicro for crash tests and benchmarks: records URL into
// FOLDER/NAME.mp4 for SECONDS (until killed when SECONDS is 0) and reports its steps on stdout.
// With CYCLES it repeats the whole create/start/destroy/stop sequence, for leak checks.
#include "RelayRecord.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <thread>

namespace {

const char kFragment[] = "moof";

double since(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// Time until the file holds media after its header: its first fragment ("moof") is on disk.
double waitForMedia(const std::string &path, double limitSeconds)
{
    const auto start = std::chrono::steady_clock::now();
    std::vector<char> head(16384); // the header and the first fragment's box header fit
    off_t lastSize = -1;
    struct stat st
    {
    };
    while (since(start) < limitSeconds) {
        const bool grown = stat(path.c_str(), &st) == 0 && st.st_size != lastSize;
        if (grown)
            lastSize = st.st_size;
        if (FILE *file = grown ? std::fopen(path.c_str(), "rb") : nullptr) {
            const size_t size = std::fread(head.data(), 1, head.size(), file);
            std::fclose(file);
            if (std::search(head.begin(), head.begin() + long(size), kFragment, kFragment + 4) != head.begin() + long(size))
                return since(start);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

} // namespace

// One recording; 0 when every call succeeded.
int recordOnce(const Qurel::Test::RelayRecord &record, const std::string &path, double seconds)
{
    std::remove(path.c_str()); // a file of an earlier cycle would look like media already there
    auto t = std::chrono::steady_clock::now();
    int rc = zms32CreateDispatchStream(0, record.data());
    std::printf("create %d %.3f\n", rc, since(t));
    if (rc != 0)
        return 4;
    t = std::chrono::steady_clock::now();
    rc = zms32StartDispatchStreamRecord(0);
    std::printf("start %d %.3f\n", rc, since(t));
    std::fflush(stdout);
    if (seconds <= 0) {
        std::printf("first-media %.3f\n", waitForMedia(path, 10));
        std::fflush(stdout);
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    const double firstMedia = waitForMedia(path, seconds);
    std::printf("first-media %.3f\n", firstMedia);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds - std::max(0.0, firstMedia)));
    t = std::chrono::steady_clock::now();
    rc = zms32DestroyDispatchStream(0);
    std::printf("destroy %d %.3f\n", rc, since(t));
    const int stopRc = zms32StopDispatchStreamRecord(0);
    std::printf("stop %d\n", stopRc);
    std::fflush(stdout);
    return rc == 0 ? 0 : 5;
}

int main(int argc, char **argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: qurel-relay-driver URL RTPMODE FOLDER/ NAME SECONDS [CYCLES]\n");
        return 2;
    }
    const std::string url = argv[1], folder = argv[3], name = argv[4];
    const double seconds = std::atof(argv[5]);
    const int cycles = argc > 6 ? std::max(1, std::atoi(argv[6])) : 1;
    const auto record = Qurel::Test::makeRelayRecord(std::atoi(argv[2]), url, folder, name);

    if (zms32Init(5555, 0, 1) != 0)
        return 3;
    int rc = 0;
    for (int i = 0; i < cycles && rc != 4; ++i) // only a failed create ends the cycles early
        rc = recordOnce(record, folder + name + ".mp4", seconds);
    zms32Uninit();
    return rc;
}
