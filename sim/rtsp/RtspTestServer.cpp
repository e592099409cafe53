#include "RtspTestServer.h"

#include <arpa/inet.h>
#include <condition_variable>
#include <functional>
#include <random>
#include <gst/gst.h>
#include <gst/rtp/gstrtcpbuffer.h>
#include <gst/rtsp-server/rtsp-server.h>
#include <regex>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace Qurel {

namespace {

    struct GObjectUnref
    {
        void operator()(gpointer object) const
        {
            if (object)
                g_object_unref(object);
        }
    };
    template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

    struct MainContextUnref
    {
        void operator()(GMainContext *context) const { g_main_context_unref(context); }
    };
    struct MainLoopUnref
    {
        void operator()(GMainLoop *loop) const { g_main_loop_unref(loop); }
    };

    const char *const kMountPath = "/stream/0";
    const char *const kAuthorisedTag = "qurel-authorised";

    // The value of config.login in a query such as "config.login=KEY&x=y"; false when absent.
    bool loginFromQuery(const char *query, std::string &login)
    {
        if (!query)
            return false;
        std::istringstream parts(query);
        std::string item;
        const std::string name = "config.login=";
        while (std::getline(parts, item, '&')) {
            if (item.compare(0, name.size(), name) == 0) {
                login = item.substr(name.size());
                return true;
            }
        }
        return false;
    }

    std::string videoChain(const RtspTestServerOptions &o)
    {
        const int gop = o.keyframeInterval > 0 ? o.keyframeInterval : o.fps;
        std::ostringstream s;
        if (o.video == StreamVideo::Vp8) {
            s << "vp8enc deadline=1 cpu-used=8 threads=1 target-bitrate=" << o.bitrateKbps * 1000
              << " keyframe-max-dist=" << gop << " ! rtpvp8pay name=pay0 pt=96";
            return s.str();
        }
        if (o.video == StreamVideo::Mjpeg) {
            s << "video/x-raw,format=I420 ! jpegenc quality=50 ! rtpjpegpay name=pay0 pt=26";
            return s.str();
        }
        if (o.video == StreamVideo::H265) {
            // One worker thread, like x264 below: the machine is shared with the code under test.
            s << "x265enc tune=zerolatency speed-preset=ultrafast bitrate=" << o.bitrateKbps
              << " key-int-max=" << gop << " option-string=\"pools=1:frame-threads=1"
              << (o.slicedKeyframes ? ":slices=2" : "") << "\""
              << " ! video/x-h265,stream-format=byte-stream ! rtph265pay name=pay0 pt=96 config-interval=-1";
            return s.str();
        }
        s << "x264enc tune=zerolatency speed-preset=ultrafast threads=1 bitrate=" << o.bitrateKbps
          << " key-int-max=" << gop;
        if (o.slicedKeyframes)
            s << " option-string=slices=2";
        s << " ! video/x-h264,stream-format=byte-stream ! rtph264pay name=pay0 pt=96 config-interval=-1";
        return s.str();
    }

    std::string audioChain(StreamAudio audio)
    {
        const std::string source = "audiotestsrc is-live=true wave=ticks volume=0.3";
        switch (audio) {
        case StreamAudio::Aac:
            return source
                + " ! audio/x-raw,rate=48000,channels=1 ! audioconvert ! audioresample"
                  " ! avenc_aac bitrate=64000 ! rtpmp4gpay name=pay1 pt=97";
        case StreamAudio::Pcma:
        case StreamAudio::Pcmu: {
            // 160 samples: the 20 ms packets of telephones and IP cameras.
            const bool alaw = audio == StreamAudio::Pcma;
            return source + " samplesperbuffer=160 ! audio/x-raw,format=S16LE,rate=8000,channels=1"
                + (alaw ? " ! alawenc ! rtppcmapay name=pay1 pt=8" : " ! mulawenc ! rtppcmupay name=pay1 pt=0");
        }
        case StreamAudio::G722:
            // 16 kHz sound on an 8 kHz RTP clock, as the payload format has it; 20 ms packets.
            return source
                + " samplesperbuffer=320 ! audio/x-raw,format=S16LE,rate=16000,channels=1"
                  " ! avenc_g722 ! rtpg722pay name=pay1 pt=9";
        case StreamAudio::None:
            break;
        }
        return {};
    }

    std::string launchLine(const RtspTestServerOptions &o)
    {
        std::ostringstream s;
        s << "( videotestsrc is-live=true " << o.picture << " ! video/x-raw,width=" << o.width
          << ",height=" << o.height << ",framerate=" << o.fps << "/1"
          << " ! clockoverlay halignment=left valignment=top time-format=\"%H:%M:%S\" font-desc=\"Sans 14\""
          << " ! timeoverlay halignment=right valignment=bottom font-desc=\"Sans 14\""
          << " ! videoconvert ! " << videoChain(o) << " " << audioChain(o.audio) << " )";
        return s.str();
    }

    // Throws away a share of the RTP packets leaving one payloader; a fixed seed per stream
    // makes a lossy run repeatable.
    class PacketDropper
    {
    public:
        PacketDropper(double percent, unsigned seed)
            : m_share(percent / 100)
            , m_random(seed)
        {
        }

        static GstPadProbeReturn onData(GstPad *, GstPadProbeInfo *info, gpointer data)
        {
            auto *self = static_cast<PacketDropper *>(data);
            if (info->type & GST_PAD_PROBE_TYPE_BUFFER)
                return self->drops() ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
            if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
                GstBufferList *list = gst_buffer_list_make_writable(gst_pad_probe_info_get_buffer_list(info));
                GST_PAD_PROBE_INFO_DATA(info) = list;
                gst_buffer_list_foreach(
                    list,
                    [](GstBuffer **buffer, guint, gpointer dropper) -> gboolean {
                        if (static_cast<PacketDropper *>(dropper)->drops()) {
                            gst_buffer_unref(*buffer);
                            *buffer = nullptr; // removes it from the list
                        }
                        return TRUE;
                    },
                    self);
                if (gst_buffer_list_length(list) == 0)
                    return GST_PAD_PROBE_DROP;
            }
            return GST_PAD_PROBE_OK;
        }

        static void destroy(gpointer data) { delete static_cast<PacketDropper *>(data); }

    private:
        bool drops() { return std::uniform_real_distribution<double>(0, 1)(m_random) < m_share; }

        double m_share;
        std::mt19937 m_random;
    };

    void onMediaConfigure(GstRTSPMediaFactory *, GstRTSPMedia *media, gpointer data)
    {
        const double percent = *static_cast<const double *>(data);
        GObjectPtr<GstElement> bin(gst_rtsp_media_get_element(media));
        for (unsigned i = 0; i < 2; ++i) {
            const std::string name = "pay" + std::to_string(i);
            GObjectPtr<GstElement> pay(gst_bin_get_by_name(GST_BIN(bin.get()), name.c_str()));
            if (!pay)
                continue;
            GObjectPtr<GstPad> pad(gst_element_get_static_pad(pay.get(), "src"));
            gst_pad_add_probe(pad.get(), GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
                &PacketDropper::onData, new PacketDropper(percent, 1234 + i), &PacketDropper::destroy);
        }
    }

    // Moves the wall-clock time of the sender reports by the step once it is due.
    struct ClockStep
    {
        double seconds = 0;
        std::chrono::steady_clock::time_point at;

        static gboolean onSendingRtcp(GObject *, GstBuffer *buffer, gboolean, gpointer data)
        {
            const auto *self = static_cast<const ClockStep *>(data);
            if (std::chrono::steady_clock::now() < self->at)
                return FALSE;
            GstRTCPBuffer rtcp = GST_RTCP_BUFFER_INIT;
            if (!gst_rtcp_buffer_map(buffer, GST_MAP_READWRITE, &rtcp))
                return FALSE;
            GstRTCPPacket packet;
            for (gboolean more = gst_rtcp_buffer_get_first_packet(&rtcp, &packet); more;
                 more = gst_rtcp_packet_move_to_next(&packet)) {
                if (gst_rtcp_packet_get_type(&packet) != GST_RTCP_TYPE_SR)
                    continue;
                guint32 ssrc = 0, packets = 0, octets = 0, rtpTime = 0;
                guint64 ntp = 0; // 32.32 fixed point seconds
                gst_rtcp_packet_sr_get_sender_info(&packet, &ssrc, &ntp, &rtpTime, &packets, &octets);
                ntp += guint64(gint64(self->seconds * 4294967296.0));
                gst_rtcp_packet_sr_set_sender_info(&packet, ssrc, ntp, rtpTime, packets, octets);
            }
            gst_rtcp_buffer_unmap(&rtcp);
            return FALSE;
        }

        // Every stream of a prepared media reports through the step, and reports every second so
        // that clients meet it soon.
        static void onPrepared(GstRTSPMedia *media, gpointer data)
        {
            for (guint i = 0; i < gst_rtsp_media_n_streams(media); ++i) {
                GObjectPtr<GObject> session(gst_rtsp_stream_get_rtpsession(gst_rtsp_media_get_stream(media, i)));
                if (!session)
                    continue;
                g_object_set(session.get(), "rtcp-min-interval", guint64(GST_SECOND), nullptr);
                g_signal_connect(session.get(), "on-sending-rtcp", G_CALLBACK(onSendingRtcp), data);
            }
        }

        static void onMediaConfigure(GstRTSPMediaFactory *, GstRTSPMedia *media, gpointer data)
        {
            g_signal_connect(media, "prepared", G_CALLBACK(onPrepared), data);
        }
    };

} // namespace

struct RtspTestServer::Impl
{
    RtspTestServerOptions options;
    std::unique_ptr<GMainContext, MainContextUnref> context;
    std::unique_ptr<GMainLoop, MainLoopUnref> loop;
    GObjectPtr<GstRTSPServer> server;
    guint sourceId = 0;
    std::thread thread;
    uint16_t boundPort = 0;

    mutable std::mutex mutex;
    std::string key;
    std::chrono::steady_clock::time_point pausedUntil;
    std::atomic<int> clients { 0 };
    std::atomic<int> refused { 0 };
    std::atomic<int> teardowns { 0 };
    ClockStep clockStep;
    int blackHole[2] = { -1, -1 }; // UDP sockets that swallow RTP and RTCP when udpBlocked
    uint16_t blackHolePort = 0;

    // Two bound UDP sockets on an even and the next port, read by nobody.
    bool openBlackHole()
    {
        for (uint16_t port = 40000; port < 41000; port += 2) {
            int bound = 0;
            for (int i = 0; i < 2; ++i) {
                blackHole[i] = ::socket(AF_INET, SOCK_DGRAM, 0);
                sockaddr_in at {};
                at.sin_family = AF_INET;
                at.sin_port = htons(uint16_t(port + i));
                inet_pton(AF_INET, options.address.c_str(), &at.sin_addr);
                bound += blackHole[i] >= 0 && ::bind(blackHole[i], reinterpret_cast<sockaddr *>(&at), sizeof at) == 0;
            }
            if (bound == 2) {
                blackHolePort = port;
                return true;
            }
            closeBlackHole();
        }
        return false;
    }
    void closeBlackHole()
    {
        for (int &fd : blackHole) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }

    // Points a SETUP's UDP transport at the black hole instead of the client's ports.
    void divertUdp(GstRTSPMessage *request) const
    {
        gchar *value = nullptr;
        if (gst_rtsp_message_get_header(request, GST_RTSP_HDR_TRANSPORT, &value, 0) != GST_RTSP_OK || !value)
            return;
        const std::string transport = value;
        if (transport.find("RTP/AVP/TCP") != std::string::npos || transport.find("interleaved") != std::string::npos)
            return;
        const std::string diverted = std::regex_replace(transport, std::regex("client_port=[0-9]+-[0-9]+"),
            "client_port=" + std::to_string(blackHolePort) + "-" + std::to_string(blackHolePort + 1));
        gst_rtsp_message_remove_header(request, GST_RTSP_HDR_TRANSPORT, -1);
        gst_rtsp_message_add_header(request, GST_RTSP_HDR_TRANSPORT, diverted.c_str());
    }

    bool isPaused() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::chrono::steady_clock::now() < pausedUntil;
    }
    // An empty key accepts every client; otherwise config.login must be present and equal.
    bool admits(const char *query) const
    {
        std::string login;
        const bool present = loginFromQuery(query, login);
        std::lock_guard<std::mutex> lock(mutex);
        return key.empty() || (present && login == key);
    }

    GstRTSPStatusCode refuse(GstRTSPStatusCode code)
    {
        ++refused;
        return code;
    }

    // The key travels only in DESCRIBE's address; the verdict is kept on the client for the
    // SETUP and PLAY requests that follow on the same connection.
    static GstRTSPStatusCode onDescribe(GstRTSPClient *client, GstRTSPContext *ctx, gpointer data)
    {
        auto *self = static_cast<Impl *>(data);
        if (self->isPaused())
            return self->refuse(GST_RTSP_STS_SERVICE_UNAVAILABLE);
        if (!self->admits(ctx->uri ? ctx->uri->query : nullptr)) {
            g_object_set_data(G_OBJECT(client), kAuthorisedTag, nullptr);
            return self->refuse(GST_RTSP_STS_UNAUTHORIZED);
        }
        g_object_set_data(G_OBJECT(client), kAuthorisedTag, GINT_TO_POINTER(1));
        return GST_RTSP_STS_OK;
    }

    static GstRTSPStatusCode onSetupOrPlay(GstRTSPClient *client, GstRTSPContext *ctx, gpointer data)
    {
        auto *self = static_cast<Impl *>(data);
        // The stream is live: a PLAY's range ("npt=0.000-") would make the server seek the media
        // all viewers share, which can deadlock it while another viewer leaves.
        if (ctx && ctx->request && ctx->request->type == GST_RTSP_MESSAGE_REQUEST
            && ctx->request->type_data.request.method == GST_RTSP_PLAY)
            gst_rtsp_message_remove_header(ctx->request, GST_RTSP_HDR_RANGE, -1);
        if (self->options.udpBlocked && ctx && ctx->request && ctx->request->type == GST_RTSP_MESSAGE_REQUEST
            && ctx->request->type_data.request.method == GST_RTSP_SETUP)
            self->divertUdp(ctx->request);
        if (self->isPaused())
            return self->refuse(GST_RTSP_STS_SERVICE_UNAVAILABLE);
        if (!g_object_get_data(G_OBJECT(client), kAuthorisedTag))
            return self->refuse(GST_RTSP_STS_UNAUTHORIZED);
        return GST_RTSP_STS_OK;
    }

    static void onClosed(GstRTSPClient *, gpointer data) { --static_cast<Impl *>(data)->clients; }
    static void onTeardown(GstRTSPClient *, GstRTSPContext *, gpointer data) { ++static_cast<Impl *>(data)->teardowns; }

    static void onClientConnected(GstRTSPServer *, GstRTSPClient *client, gpointer data)
    {
        auto *self = static_cast<Impl *>(data);
        ++self->clients;
        g_signal_connect(client, "pre-describe-request", G_CALLBACK(onDescribe), data);
        g_signal_connect(client, "pre-setup-request", G_CALLBACK(onSetupOrPlay), data);
        g_signal_connect(client, "pre-play-request", G_CALLBACK(onSetupOrPlay), data);
        g_signal_connect(client, "closed", G_CALLBACK(onClosed), data);
        g_signal_connect(client, "teardown-request", G_CALLBACK(onTeardown), data);
    }

    // Closing lets each client take down its own watch; removing it from the server's list under
    // a watch still being dispatched can leave the loop spinning on a freed stream.
    static GstRTSPFilterResult removeClient(GstRTSPServer *, GstRTSPClient *client, gpointer)
    {
        gst_rtsp_client_close(client);
        return GST_RTSP_FILTER_KEEP;
    }

    // Runs fn on the server's loop thread and waits for it.
    void runOnLoop(const std::function<void()> &fn)
    {
        struct Call
        {
            const std::function<void()> *fn;
            std::mutex m;
            std::condition_variable cv;
            bool done = false;
        } call { &fn, {}, {}, false };
        g_main_context_invoke(
            context.get(),
            [](gpointer p) -> gboolean {
                auto *c = static_cast<Call *>(p);
                (*c->fn)();
                std::lock_guard<std::mutex> lock(c->m);
                c->done = true;
                c->cv.notify_all();
                return G_SOURCE_REMOVE;
            },
            &call);
        std::unique_lock<std::mutex> lock(call.m);
        call.cv.wait(lock, [&] { return call.done; });
    }

    void dropClients() { gst_rtsp_server_client_filter(server.get(), removeClient, nullptr); }
};

RtspTestServer::RtspTestServer()
    : d(std::make_unique<Impl>())
{
}

RtspTestServer::~RtspTestServer()
{
    stop();
}

bool RtspTestServer::start(const RtspTestServerOptions &options)
{
    if (isRunning())
        return false;
    static std::once_flag gstInit;
    std::call_once(gstInit, [] { gst_init(nullptr, nullptr); });

    d->options = options;
    setKey(options.key);
    if (options.udpBlocked && !d->openBlackHole())
        return false;
    d->context.reset(g_main_context_new());
    d->loop.reset(g_main_loop_new(d->context.get(), FALSE));
    d->server.reset(gst_rtsp_server_new());
    GstRTSPServer *server = d->server.get();
    gst_rtsp_server_set_address(server, options.address.c_str());
    gst_rtsp_server_set_service(server, std::to_string(options.port).c_str());

    GstRTSPMediaFactory *factory = gst_rtsp_media_factory_new();
    gst_rtsp_media_factory_set_launch(factory, launchLine(options).c_str());
    gst_rtsp_media_factory_set_shared(factory, TRUE);
    if (options.lossPercent > 0)
        g_signal_connect(factory, "media-configure", G_CALLBACK(onMediaConfigure), &d->options.lossPercent);
    if (options.clockStep != 0) {
        d->clockStep.seconds = options.clockStep;
        d->clockStep.at = std::chrono::steady_clock::now()
            + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(options.clockStepAt));
        g_signal_connect(factory, "media-configure", G_CALLBACK(ClockStep::onMediaConfigure), &d->clockStep);
    }
    unsigned protocols = 0;
    if (options.udp)
        protocols |= GST_RTSP_LOWER_TRANS_UDP;
    if (options.tcp)
        protocols |= GST_RTSP_LOWER_TRANS_TCP;
    gst_rtsp_media_factory_set_protocols(factory, GstRTSPLowerTrans(protocols));

    // RTP/RTCP over UDP leave from the same loopback address, never from the wildcard address.
    GObjectPtr<GstRTSPAddressPool> pool(gst_rtsp_address_pool_new());
    gst_rtsp_address_pool_add_range(
        pool.get(), options.address.c_str(), options.address.c_str(), 20000, 60999, 0);
    gst_rtsp_media_factory_set_address_pool(factory, pool.get());

    GObjectPtr<GstRTSPMountPoints> mounts(gst_rtsp_server_get_mount_points(server));
    gst_rtsp_mount_points_add_factory(mounts.get(), kMountPath, factory); // takes the factory

    g_signal_connect(server, "client-connected", G_CALLBACK(Impl::onClientConnected), d.get());
    d->sourceId = gst_rtsp_server_attach(server, d->context.get());
    if (d->sourceId == 0) {
        d->server.reset();
        d->loop.reset();
        d->context.reset();
        return false;
    }
    d->boundPort = uint16_t(gst_rtsp_server_get_bound_port(server));
    d->thread = std::thread([loop = d->loop.get()] { g_main_loop_run(loop); });
    return true;
}

void RtspTestServer::stop()
{
    if (!isRunning())
        return;
    d->runOnLoop([this] {
        d->dropClients();
        if (GSource *source = g_main_context_find_source_by_id(d->context.get(), d->sourceId))
            g_source_destroy(source);
        g_main_loop_quit(d->loop.get());
    });
    d->thread.join();
    d->server.reset();
    d->loop.reset();
    d->context.reset();
    d->sourceId = 0;
    d->boundPort = 0;
    d->closeBlackHole();
}

bool RtspTestServer::isRunning() const
{
    return d->thread.joinable();
}

uint16_t RtspTestServer::port() const
{
    return d->boundPort;
}

std::string RtspTestServer::url() const
{
    return "rtsp://" + d->options.address + ":" + std::to_string(d->boundPort) + kMountPath
        + "?config.login=" + key();
}

void RtspTestServer::setKey(const std::string &key)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->key = key;
}

std::string RtspTestServer::key() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->key;
}

void RtspTestServer::pauseFor(double seconds)
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->pausedUntil = std::chrono::steady_clock::now()
            + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(seconds));
    }
    if (isRunning())
        d->runOnLoop([this] { d->dropClients(); });
}

void RtspTestServer::restartWithKey(double downSeconds, const std::string &key)
{
    setKey(key);
    pauseFor(downSeconds);
}

int RtspTestServer::connectedClients() const
{
    return d->clients;
}

int RtspTestServer::teardowns() const
{
    return d->teardowns;
}

int RtspTestServer::refusedRequests() const
{
    return d->refused;
}

bool parseStreamAudio(const std::string &name, StreamAudio &audio)
{
    static const std::pair<const char *, StreamAudio> names[] { { "aac", StreamAudio::Aac },
        { "pcma", StreamAudio::Pcma }, { "pcmu", StreamAudio::Pcmu }, { "g722", StreamAudio::G722 },
        { "none", StreamAudio::None } };
    for (const auto &[text, value] : names)
        if (name == text) {
            audio = value;
            return true;
        }
    return false;
}

bool parseStreamVideo(const std::string &name, StreamVideo &video)
{
    static const std::pair<const char *, StreamVideo> names[] { { "h264", StreamVideo::H264 },
        { "h265", StreamVideo::H265 }, { "mjpeg", StreamVideo::Mjpeg }, { "vp8", StreamVideo::Vp8 } };
    for (const auto &[text, value] : names)
        if (name == text) {
            video = value;
            return true;
        }
    return false;
}

} // namespace Qurel
