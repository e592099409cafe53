// The relay's calls while the disk under a recording stalls (an ext4 image on a loop device
// frozen with fsfreeze, as a network share that stops answering): how long the destroy call takes
// and how long the next lesson's create takes meanwhile (into a folder on a working disk), over a
// few rounds. Needs root for the loop mount.
// Usage: bench_relay_stall [ROUNDS] (default 5)
#include "FreezableDisk.h"
#include "RelayRecord.h"
#include "RtspTestServer.h"

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Qurel;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void sleepFor(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

void printFigures(const char *what, std::vector<double> values, double target)
{
    std::sort(values.begin(), values.end());
    std::printf("  %s: median %.3f s, worst %.3f s of %zu (target < %.2f s)\n", what, values[values.size() / 2],
        values.back(), values.size(), target);
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (geteuid() != 0) {
        std::printf("bench_relay_stall: skipped, the loop-device file system needs root\n");
        return 0;
    }
    QTemporaryDir work;
    Test::FreezableDisk disk;
    if (!disk.mount(work.path())) {
        std::printf("bench_relay_stall: skipped, no loop device to mount a file system on\n");
        return 0;
    }
    RtspTestServerOptions options;
    options.address = "127.0.0.19";
    options.key = "stall";
    options.keyframeInterval = 5; // the next lesson has media within its half second
    RtspTestServer server;
    if (!server.start(options) || zms32Init(5555, 0, 1) != 0)
        return 1;

    std::vector<double> destroys, creates;
    int failures = 0;
    for (int i = 0; i < rounds; ++i) {
        const std::string n = std::to_string(i);
        const auto stalled = Test::makeRelayRecord(1, server.url(), disk.folder().toStdString(), "stalled" + n);
        if (zms32CreateDispatchStream(0, stalled.data()) != 0 || zms32StartDispatchStreamRecord(0) != 0)
            return 1;
        sleepFor(2);
        disk.freeze();
        sleepFor(0.5); // the relay's writes now wait on the disk
        auto t = Clock::now();
        failures += zms32DestroyDispatchStream(0) != 0;
        destroys.push_back(secondsSince(t));
        zms32StopDispatchStreamRecord(0);
        const auto next = Test::makeRelayRecord(1, server.url(), work.path().toStdString() + "/", "next" + n);
        t = Clock::now();
        failures += zms32CreateDispatchStream(0, next.data()) != 0;
        creates.push_back(secondsSince(t));
        zms32StartDispatchStreamRecord(0);
        sleepFor(0.5);
        failures += zms32DestroyDispatchStream(0) != 0;
        zms32StopDispatchStreamRecord(0);
        disk.thaw();
        sleepFor(0.5); // the stalled file is finished on its own thread
    }
    zms32Uninit();
    server.stop();
    std::printf("relay with the disk stalled (ext4 on a loop device frozen with fsfreeze), %d rounds, %d calls "
                "failed:\n",
        rounds, failures);
    printFigures("destroy while the disk is stalled", destroys, 1.5);
    printFigures("next create meanwhile (folder on a working disk)", creates, 0.25);
    return failures == 0 ? 0 : 1;
}
