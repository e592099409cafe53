// A live RTSP test stream like the recorder's: test pattern with a running clock, H.264 or H.265
// video, AAC, G.711 or no sound.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace Qurel {

enum class StreamAudio { Aac, Pcma, Pcmu, G722, None };
// MJPEG: a picture MP4 carries that is neither H.264 nor H.265; VP8: one MP4 files cannot carry.
enum class StreamVideo { H264, H265, Mjpeg, Vp8 };

// The names used on command lines: "aac", "pcma", "pcmu", "g722", "none"; "h264", "h265", "mjpeg", "vp8".
bool parseStreamAudio(const std::string &name, StreamAudio &audio);
bool parseStreamVideo(const std::string &name, StreamVideo &video);

struct RtspTestServerOptions
{
    std::string address = "127.0.0.1"; // the only address the server binds to (RTSP and RTP)
    uint16_t port = 0; // 0: pick a free port, see RtspTestServer::port()
    std::string key; // expected config.login value; empty: any key is accepted
    int width = 320;
    int height = 180;
    int fps = 15;
    int bitrateKbps = 300;
    int keyframeInterval = 0; // in frames; 0: one keyframe per second
    // videotestsrc settings of the picture under the clock; busier pictures (e.g.
    // "pattern=snow") make the encoder actually use a high bitrate.
    std::string picture = "pattern=ball";
    StreamVideo video = StreamVideo::H264;
    StreamAudio audio = StreamAudio::Aac; // AAC 48 kHz; G.711 8 kHz in 20 ms packets
    // Share of RTP packets (0-100) thrown away before they leave, like a lossy network.
    double lossPercent = 0;
    // Two slices per frame with SPS/PPS repeated in front of every keyframe slice, so the
    // parameter sets end up between the slices of one picture (some recorders send this).
    bool slicedKeyframes = false;
    // The sender's clock is stepped by this many seconds (a time sync after boot) once the server
    // has run for clockStepAt seconds: every RTCP sender report from then on carries the stepped
    // wall-clock time, and a client that maps RTP time through them sees every stream jump.
    double clockStep = 0;
    double clockStepAt = 0;
    bool udp = true; // offer RTP over UDP
    // RTP over UDP is set up but never arrives, like behind a client's host firewall: the packets
    // go to a port the server holds itself and never reads.
    bool udpBlocked = false;
    bool tcp = true; // offer RTP interleaved in the RTSP connection
};

// Serves rtsp://ADDRESS:PORT/stream/0?config.login=KEY from its own GLib main loop thread.
// All methods may be called from any thread.
class RtspTestServer final
{
public:
    RtspTestServer();
    ~RtspTestServer();
    RtspTestServer(const RtspTestServer &) = delete;
    RtspTestServer &operator=(const RtspTestServer &) = delete;

    bool start(const RtspTestServerOptions &options = {});
    void stop();
    bool isRunning() const;

    uint16_t port() const;
    std::string url() const; // the stream's address with the current key
    void setKey(const std::string &key);
    std::string key() const;

    // Drops every client and refuses new ones (503) for the given time, like a recorder whose
    // stream goes away for a while.
    void pauseFor(double seconds);
    // Like a recorder restarting its stream server: drops every client, refuses new ones (503) for
    // the given time and then serves only clients that bring the new key.
    void restartWithKey(double downSeconds, const std::string &key);

    int connectedClients() const; // RTSP connections open right now
    int refusedRequests() const; // requests answered 401 or 503 so far
    int teardowns() const; // TEARDOWN requests received so far

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

} // namespace Qurel
