// qurel-rtsp-sim: serves the recorder-like RTSP test stream until interrupted.
#include "RtspTestServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_quit = 0;

void usage()
{
    std::fprintf(stderr,
        "usage: qurel-rtsp-sim [--address A] [--port P] [--key K] [--size WxH] [--fps N]\n"
        "                      [--bitrate KBPS] [--gop FRAMES] [--sliced] [--no-audio]\n"
        "                      [--audio aac|pcma|pcmu|g722|none] [--video h264|h265|mjpeg|vp8] [--loss PERCENT]\n"
        "                      [--picture \"pattern=snow\"]\n"
        "                      [--udp-only|--tcp-only|--udp-blocked] [--pause-at S --pause-for N]\n"
        "                      [--clock-step SECONDS@AT]\n"
        "                      [--restart-at S [--restart-for N] --new-key K]\n"
        "  --udp-blocked                RTP over UDP is set up but sent where the client never gets it,\n"
        "                               as behind a host firewall (RTP over TCP works)\n"
        "  --clock-step SECONDS@AT      AT seconds after the start, step the sender's wall clock by\n"
        "                               SECONDS (negative: back), as its RTCP sender reports show it\n"
        "  --pause-at S --pause-for N   at S seconds drop every client and refuse new ones (503) for N s\n"
        "  --restart-at S --new-key K   at S seconds restart like a recorder's stream server: drop every\n"
        "                               client, refuse new ones for N s (default 1), then require key K\n");
}

} // namespace

int main(int argc, char **argv)
{
    Qurel::RtspTestServerOptions options;
    double pauseAt = -1, pauseFor = 0, restartAt = -1, restartFor = 1;
    std::string newKey;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto takes = [&](auto apply) {
            if (!value) {
                usage();
                std::exit(2);
            }
            apply(value);
            ++i;
        };
        if (arg == "--address")
            takes([&](const char *v) { options.address = v; });
        else if (arg == "--port")
            takes([&](const char *v) { options.port = uint16_t(std::atoi(v)); });
        else if (arg == "--key")
            takes([&](const char *v) { options.key = v; });
        else if (arg == "--size")
            takes([&](const char *v) { std::sscanf(v, "%dx%d", &options.width, &options.height); });
        else if (arg == "--fps")
            takes([&](const char *v) { options.fps = std::atoi(v); });
        else if (arg == "--bitrate")
            takes([&](const char *v) { options.bitrateKbps = std::atoi(v); });
        else if (arg == "--gop")
            takes([&](const char *v) { options.keyframeInterval = std::atoi(v); });
        else if (arg == "--picture")
            takes([&](const char *v) { options.picture = v; });
        else if (arg == "--pause-at")
            takes([&](const char *v) { pauseAt = std::atof(v); });
        else if (arg == "--pause-for")
            takes([&](const char *v) { pauseFor = std::atof(v); });
        else if (arg == "--restart-at")
            takes([&](const char *v) { restartAt = std::atof(v); });
        else if (arg == "--restart-for")
            takes([&](const char *v) { restartFor = std::atof(v); });
        else if (arg == "--new-key")
            takes([&](const char *v) { newKey = v; });
        else if (arg == "--audio")
            takes([&](const char *v) { ok = ok && Qurel::parseStreamAudio(v, options.audio); });
        else if (arg == "--video")
            takes([&](const char *v) { ok = ok && Qurel::parseStreamVideo(v, options.video); });
        else if (arg == "--loss")
            takes([&](const char *v) { options.lossPercent = std::atof(v); });
        else if (arg == "--sliced")
            options.slicedKeyframes = true;
        else if (arg == "--no-audio")
            options.audio = Qurel::StreamAudio::None;
        else if (arg == "--udp-only")
            options.tcp = false;
        else if (arg == "--clock-step")
            takes([&](const char *v) { ok = std::sscanf(v, "%lf@%lf", &options.clockStep, &options.clockStepAt) == 2; });
        else if (arg == "--udp-blocked")
            options.udpBlocked = true;
        else if (arg == "--tcp-only")
            options.udp = false;
        else
            ok = false;
        if (!ok) {
            usage();
            return 2;
        }
    }

    Qurel::RtspTestServer server;
    if (!server.start(options)) {
        std::fprintf(
            stderr, "qurel-rtsp-sim: cannot listen on %s:%u\n", options.address.c_str(), options.port);
        return 1;
    }
    std::printf("%s\n", server.url().c_str());
    std::fflush(stdout);

    std::signal(SIGINT, [](int) { g_quit = 1; });
    std::signal(SIGTERM, [](int) { g_quit = 1; });
    for (int tenths = 0; !g_quit; ++tenths) {
        if (pauseAt >= 0 && tenths == int(pauseAt * 10))
            server.pauseFor(pauseFor);
        if (restartAt >= 0 && tenths == int(restartAt * 10))
            server.restartWithKey(restartFor, newKey);
        usleep(100000);
    }
    server.stop();
    return 0;
}
