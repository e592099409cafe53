// Relay cost and quality against the ffmpeg CLI: both record the same 1280x720, 25 fps,
// ~3 Mbit/s test stream with split keyframes side by side; prints CPU, peak memory, frames,
// concealment counts and the relay's start/stop latencies.
// Usage: bench_relay [SECONDS] (default 60)
#include "ChildProcess.h"
#include "MediaCheck.h"
#include "RtspTestServer.h"

#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using namespace Qurel;

namespace {

// The value printed after a step name by the relay driver ("first-media 0.47").
std::string driverFigure(const std::string &log, const std::string &step)
{
    const size_t at = log.find(step + " ");
    if (at == std::string::npos)
        return "?";
    const size_t end = log.find('\n', at);
    return log.substr(at + step.size() + 1, end - at - step.size() - 1);
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
    std::printf(
        "%-7s file: %.2f s, %.0f kbit/s, %d video frames (%.1f per second), concealing messages: %d\n", who,
        probe.duration, kbps, probe.videoFrames,
        probe.duration > 0 ? probe.videoFrames / probe.duration : 0.0, Test::concealmentCount(path));
}

} // namespace

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
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
    RtspTestServer server;
    if (!server.start(options)) {
        std::fprintf(stderr, "cannot start the test stream\n");
        return 1;
    }
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    const std::string url = server.url();

    const double started = Bench::now();
    const int relay = Bench::spawn({ QUREL_BINARY_DIR "/tests/relay/qurel-relay-driver", url, "1", folder,
                                       "relay", std::to_string(seconds) },
        folder + "relay.log");
    // The two connect one after the other, as two viewers of a recorder would.
    waitForLine(folder + "relay.log", "start ", 15);
    const int ffmpeg
        = Bench::spawn({ "ffmpeg", "-nostdin", "-v", "warning", "-y", "-rtsp_transport", "tcp", "-i", url,
                           "-c", "copy", "-t", std::to_string(seconds), folder + "ffmpeg.mp4" },
            folder + "ffmpeg.log");
    const Bench::ChildUsage relayUsage = Bench::waitFor(relay, started);
    const Bench::ChildUsage ffmpegUsage = Bench::waitFor(ffmpeg, started);
    server.stop();

    std::printf("stream: 1280x720, 25 fps, %d kbit/s, two slices per frame with repeated SPS/PPS, %d s\n",
        options.bitrateKbps, seconds);
    std::printf("relay   exit %d: CPU %.2f s, peak RSS %ld KiB\n", relayUsage.exitCode, relayUsage.cpuSeconds,
        relayUsage.peakRssKb);
    std::printf("ffmpeg  exit %d: CPU %.2f s, peak RSS %ld KiB\n", ffmpegUsage.exitCode,
        ffmpegUsage.cpuSeconds, ffmpegUsage.peakRssKb);
    if (ffmpegUsage.cpuSeconds > 0 && ffmpegUsage.peakRssKb > 0)
        std::printf("ratio relay/ffmpeg: CPU %.2f (target <= 0.9), peak RSS %.2f (target <= 0.75)\n",
            relayUsage.cpuSeconds / ffmpegUsage.cpuSeconds,
            double(relayUsage.peakRssKb) / ffmpegUsage.peakRssKb);
    printFile("relay", QString::fromStdString(folder + "relay.mp4"));
    printFile("ffmpeg", QString::fromStdString(folder + "ffmpeg.mp4"));
    const std::string log = Bench::readFile(folder + "relay.log");
    std::printf("relay latency: create %s s, start call %s s, start to first media on disk %s s, "
                "destroy to finalised file %s s\n",
        driverFigure(log, "create 0").c_str(), driverFigure(log, "start 0").c_str(),
        driverFigure(log, "first-media").c_str(), driverFigure(log, "destroy 0").c_str());
    return relayUsage.ok ? 0 : 1;
}
