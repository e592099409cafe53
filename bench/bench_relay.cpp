// Relay cost and quality against the ffmpeg CLI, and how fast the relay starts.
// Two comparisons, relay and ffmpeg recording the same 1280x720, 25 fps, ~3 Mbit/s stream with
// split keyframes side by side: H.264 + AAC, both copying; H.264 + G.711 A-law, ffmpeg doing the
// relay's transcode (-c:v copy -c:a aac). Each prints CPU, peak memory, frames and concealment.
// Then the start: the create call on a stream already being served (as a recorder's always is)
// and on one the server first has to start, and the start call to the first media on disk with a
// keyframe in every picture, so the keyframe wait is at most one picture (40 ms).
// Last, what syncing the file to disk (about once a second) costs: the syncs timed by strace.
// Usage: bench_relay [SECONDS] (default 60) | bench_relay start | bench_relay sync (those figures alone)
#include "ChildProcess.h"
#include "MediaCheck.h"
#include "RtspTestServer.h"

#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <unistd.h>
#include <vector>

using namespace Qurel;

namespace {

const char *const kDriver = QUREL_BINARY_DIR "/tests/relay/qurel-relay-driver";

// Every value printed after a step name by the relay driver ("first-media 0.47").
std::vector<double> driverFigures(const std::string &log, const std::string &step)
{
    std::vector<double> values;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line))
        if (line.compare(0, step.size() + 1, step + " ") == 0)
            values.push_back(std::atof(line.c_str() + step.size() + 1));
    return values;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void waitForLine(const std::string &logFile, const std::string &text, double seconds)
{
    const double until = Bench::now() + seconds;
    while (Bench::now() < until && Bench::readFile(logFile).find(text) == std::string::npos)
        usleep(50000);
}

void printFile(const char *who, const QString &path)
{
    const Test::FileProbe probe = Test::probeFile(path);
    const double kbps = probe.duration > 0 ? QFileInfo(path).size() * 8 / probe.duration / 1000 : 0;
    std::printf("  %-7s file: %s, %.2f s, %.0f kbit/s, %d video frames (%.1f per second), concealing "
                "messages: %d\n",
        who, qPrintable(probe.codecs.join('+')), probe.duration, kbps, probe.videoFrames,
        probe.duration > 0 ? probe.videoFrames / probe.duration : 0.0, Test::concealmentCount(path));
}

RtspTestServerOptions benchStream()
{
    RtspTestServerOptions options;
    options.address = "127.0.0.14";
    options.key = "bench";
    options.width = 1280;
    options.height = 720;
    options.fps = 25;
    options.bitrateKbps = 3000;
    options.keyframeInterval = 50;
    options.slicedKeyframes = true;
    options.picture = "pattern=smpte horizontal-speed=8"; // moving bars: the encoder needs ~3 Mbit/s
    return options;
}

// Relay and ffmpeg on the same stream; false when either failed.
bool compare(const char *title, StreamAudio audio, const char *ffmpegAudio, double cpuTarget, int seconds)
{
    RtspTestServerOptions options = benchStream();
    options.audio = audio;
    RtspTestServer server;
    if (!server.start(options)) {
        std::fprintf(stderr, "cannot start the test stream\n");
        return false;
    }
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    const std::string url = server.url();
    const double started = Bench::now();
    const int relay
        = Bench::spawn({ kDriver, url, "1", folder, "relay", std::to_string(seconds) }, folder + "relay.log");
    // The two connect one after the other, as two viewers of a recorder would.
    waitForLine(folder + "relay.log", "start ", 15);
    const int ffmpeg = Bench::spawn({ "ffmpeg", "-nostdin", "-v", "warning", "-y", "-rtsp_transport", "tcp", "-i",
                                        url, "-c:v", "copy", "-c:a", ffmpegAudio, "-t", std::to_string(seconds),
                                        folder + "ffmpeg.mp4" },
        folder + "ffmpeg.log");
    const Bench::ChildUsage relayUsage = Bench::waitFor(relay, started);
    const Bench::ChildUsage ffmpegUsage = Bench::waitFor(ffmpeg, started);
    server.stop();

    std::printf("%s: 1280x720, 25 fps, %d kbit/s, two slices per frame with repeated SPS/PPS, %d s, ffmpeg "
                "-c:v copy -c:a %s\n",
        title, options.bitrateKbps, seconds, ffmpegAudio);
    std::printf("  relay   exit %d: CPU %.2f s, peak RSS %ld KiB\n", relayUsage.exitCode, relayUsage.cpuSeconds,
        relayUsage.peakRssKb);
    std::printf("  ffmpeg  exit %d: CPU %.2f s, peak RSS %ld KiB\n", ffmpegUsage.exitCode,
        ffmpegUsage.cpuSeconds, ffmpegUsage.peakRssKb);
    if (ffmpegUsage.cpuSeconds > 0 && ffmpegUsage.peakRssKb > 0)
        std::printf("  ratio relay/ffmpeg: CPU %.2f (target <= %.2f), peak RSS %.2f (target <= 0.75)\n",
            relayUsage.cpuSeconds / ffmpegUsage.cpuSeconds, cpuTarget,
            double(relayUsage.peakRssKb) / ffmpegUsage.peakRssKb);
    printFile("relay", QString::fromStdString(folder + "relay.mp4"));
    printFile("ffmpeg", QString::fromStdString(folder + "ffmpeg.mp4"));
    return relayUsage.ok && ffmpegUsage.ok;
}

// Create and first-media times over a few recordings; the first meets a stream nobody watches.
bool measureStart()
{
    RtspTestServerOptions options = benchStream();
    options.keyframeInterval = 1;
    options.slicedKeyframes = false;
    RtspTestServer server;
    if (!server.start(options))
        return false;
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    const std::string url = server.url();
    double t = Bench::now();
    const bool cold = Bench::waitFor(Bench::spawn({ kDriver, url, "1", folder, "cold", "2" }, folder + "cold.log"), t).ok;
    // A viewer keeps the stream served, as a recorder's is whether anyone records it or not.
    const int viewer = Bench::spawn({ "ffmpeg", "-nostdin", "-v", "quiet", "-rtsp_transport", "tcp", "-i", url,
                                        "-c", "copy", "-f", "null", "-" },
        folder + "viewer.log");
    usleep(1500000);
    t = Bench::now();
    const bool warm
        = Bench::waitFor(Bench::spawn({ kDriver, url, "1", folder, "warm", "2", "8" }, folder + "warm.log"), t).ok;
    ::kill(viewer, SIGKILL); // it may sit in a read that a polite signal does not end
    Bench::waitFor(viewer, t);
    server.stop();

    const std::string coldLog = Bench::readFile(folder + "cold.log");
    const std::string warmLog = Bench::readFile(folder + "warm.log");
    const std::vector<double> coldCreate = driverFigures(coldLog, "create 0");
    const std::vector<double> warmCreate = driverFigures(warmLog, "create 0");
    const std::vector<double> firstMedia = driverFigures(warmLog, "first-media");
    const std::vector<double> destroy = driverFigures(warmLog, "destroy 0");
    std::printf("start (1280x720, 25 fps, a keyframe in every picture):\n");
    std::printf("  create on a stream being served: median %.3f s, worst %.3f s of %zu (target < 0.25 s)\n",
        median(warmCreate), warmCreate.empty() ? -1 : *std::max_element(warmCreate.begin(), warmCreate.end()),
        warmCreate.size());
    std::printf("  create on a stream the server first starts: %.3f s\n", coldCreate.empty() ? -1 : coldCreate[0]);
    std::printf("  start call to first media on disk: median %.3f s, worst %.3f s (keyframe wait <= 0.04 s + "
                "target 0.3 s)\n",
        median(firstMedia), firstMedia.empty() ? -1 : *std::max_element(firstMedia.begin(), firstMedia.end()));
    std::printf("  destroy to finalised file: median %.3f s\n", median(destroy));
    return cold && warm;
}

// What syncing the file to disk costs the relay: its syncs counted and timed by strace (wall
// time inside the calls, which the reading thread spends waiting) over one recording.
bool measureSync(int seconds)
{
    RtspTestServer server;
    if (!server.start(benchStream()))
        return false;
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    const double t = Bench::now();
    const Bench::ChildUsage usage = Bench::waitFor(
        Bench::spawn({ "strace", "-f", "--seccomp-bpf", "-w", "-c", "-e", "trace=fdatasync,fsync", "-o",
                         folder + "syncs.txt", kDriver, server.url(), "1", folder, "synced", std::to_string(seconds) },
            folder + "synced.log"),
        t);
    server.stop();
    std::printf("sync to disk (1280x720, 25 fps, 3 Mbit/s, %d s, timed by strace):\n", seconds);
    std::istringstream lines(Bench::readFile(folder + "syncs.txt"));
    std::string line;
    bool any = false;
    while (std::getline(lines, line)) {
        double share = 0, total = 0;
        long perCall = 0, calls = 0;
        char name[32] = {};
        if (std::sscanf(line.c_str(), "%lf %lf %ld %ld %31s", &share, &total, &perCall, &calls, name) == 5
            && std::string(name) != "total") {
            std::printf("  %s: %ld calls (%.2f a second), %ld us each on average, %.3f s in all (%.2f%% of the "
                        "recording's time)\n",
                name, calls, double(calls) / seconds, perCall, total, 100 * total / seconds);
            any = true;
        }
    }
    if (!any)
        std::printf("  no figures (strace missing or the recording failed: exit %d)\n", usage.exitCode);
    return usage.ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::string(argv[1]) == "start")
        return measureStart() ? 0 : 1;
    if (argc > 1 && std::string(argv[1]) == "sync")
        return measureSync(30) ? 0 : 1;
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    bool ok = compare("copy (H.264 + AAC)", StreamAudio::Aac, "copy", 0.8, seconds);
    ok = compare("transcode (H.264 + G.711 A-law)", StreamAudio::Pcma, "aac", 0.9, seconds) && ok;
    ok = measureStart() && ok;
    ok = measureSync(std::min(seconds, 30)) && ok;
    return ok ? 0 : 1;
}
