#include "RelayRecorder.h"

#include "zelmicro.h"

#include <cerrno>

namespace Qurel {

namespace {

    // An errno for the client; libav* failures that carry none count as I/O errors.
    int errnoOf(int averror)
    {
        if (averror == 0)
            return 0;
        const int code = AVUNERROR(averror);
        return code > 0 && code < 4096 ? code : EIO;
    }

} // namespace

RelayRecorder::RelayRecorder(RelayConfig config, RelayTimeouts timeouts)
    : m_config(std::move(config))
    , m_timeouts(timeouts)
    , m_source(m_config.url, m_config.tcp, m_stop)
    , m_sink(m_config.outputPath())
    , m_writer(m_sink)
{
}

RelayRecorder::~RelayRecorder()
{
    if (m_thread.joinable())
        finish();
}

int RelayRecorder::connect()
{
    if (m_source.open(m_timeouts.connect) < 0)
        return ZMS32_ERR_CONNECT;
    const AVFormatContext *input = m_source.context();
    bool video = false;
    AudioHandling audio = AudioHandling::None;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVCodecParameters &par = *input->streams[i]->codecpar;
        video = video || isCopyableVideo(par);
        if (par.codec_type == AVMEDIA_TYPE_AUDIO && audio == AudioHandling::None)
            audio = audioHandlingFor(par);
    }
    if (!video) {
        m_source.close();
        return ZMS32_ERR_VIDEO;
    }
    m_connected = true;
    m_tcp = m_source.tcp();
    m_audio = audio;
    m_thread = std::thread(&RelayRecorder::run, this);
    return ZMS32_OK;
}

int RelayRecorder::finish()
{
    {
        std::lock_guard<std::mutex> lock(m_waitMutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    if (!m_ended)
        m_result = finishFile();
    return m_result;
}

int RelayRecorder::finishFile()
{
    endSegment();
    m_source.close();
    m_connected = false;
    const bool started = m_writer.started();
    int rc = m_writer.finish();
    if (started) {
        // The file is at its path (made again if it was removed) and on disk, or the caller hears.
        if (m_sink.close() != 0 && rc == ZMS32_OK)
            rc = ZMS32_ERR_WRITE;
    } else {
        m_sink.discard(); // no media: no file
    }
    noteWrite();
    return rc;
}

int RelayRecorder::resultSoFar() const
{
    if (m_ended)
        return m_result;
    if (m_lastWriteUs < 0)
        return ZMS32_ERR_NO_MEDIA;
    return m_writeError || m_sink.error() || m_sink.missing() ? ZMS32_ERR_WRITE : ZMS32_OK;
}

RelayStatus RelayRecorder::status() const
{
    const int64_t nowUs = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - m_created).count();
    auto age = [nowUs](int64_t atUs) { return atUs < 0 ? int64_t(-1) : (nowUs - atUs) / 1000; };
    RelayStatus s;
    s.connected = m_connected;
    s.tcp = m_tcp;
    s.refused = m_refused;
    s.ended = m_ended;
    s.writeError = m_sink.error() ? m_sink.error() : errnoOf(m_writeError);
    s.recording = m_lastWriteUs >= 0 && !s.writeError && !m_ended;
    s.fileMissing = m_sink.missing();
    s.fileRecreated = m_sink.recreated();
    s.audio = m_audio;
    s.reconnects = m_reconnects;
    s.recordedMs = m_recordedUs / 1000;
    s.msSincePacket = age(m_lastPacketUs);
    s.msSinceWrite = age(m_lastWriteUs);
    return s;
}

void RelayRecorder::setUrl(std::string url)
{
    {
        std::lock_guard<std::mutex> lock(m_waitMutex);
        m_newUrl = std::move(url);
        m_urlChanged = true;
    }
    m_wake.notify_all();
}

void RelayRecorder::takeNewUrl()
{
    std::lock_guard<std::mutex> lock(m_waitMutex);
    if (!m_urlChanged)
        return;
    m_source.setUrl(std::move(m_newUrl));
    m_urlChanged = false;
}

// False when stopped; a new URL ends the pause early.
bool RelayRecorder::waitBeforeRetry(std::chrono::milliseconds pause)
{
    std::unique_lock<std::mutex> lock(m_waitMutex);
    m_wake.wait_for(lock, pause, [this] { return m_stop || m_urlChanged; });
    return !m_stop;
}

void RelayRecorder::beginSegment()
{
    endSegment();
    const AVFormatContext *input = m_source.context();
    m_clockSteps.reset(*input);
    std::vector<SegmentStream> streams(input->nb_streams);
    AudioHandling audio = AudioHandling::None;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream *stream = input->streams[i];
        const AVCodecParameters *par = stream->codecpar;
        SegmentStream &s = streams[i];
        s.timeBase = stream->time_base;
        s.frameRate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && isCopyableVideo(*par))
            s.par = par;
        if (par->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        AudioHandling handling = audioHandlingFor(*par);
        if (handling == AudioHandling::Copied)
            s.par = par;
        if (handling == AudioHandling::Transcoded) {
            auto transcoder = std::make_unique<AudioTranscoder>(*par, stream->time_base);
            if (transcoder->isOpen()) {
                s.par = &transcoder->output();
                s.timeBase = transcoder->timeBase();
                m_transcoders[int(i)] = std::move(transcoder);
            } else {
                handling = AudioHandling::Dropped;
            }
        }
        if (audio == AudioHandling::None || audio == AudioHandling::Dropped)
            audio = handling;
    }
    m_audio = audio;
    m_writer.beginSegment(streams);
}

void RelayRecorder::endSegment()
{
    // The sound each encoder still holds belongs to the connection that is ending.
    for (auto &[index, transcoder] : m_transcoders)
        transcoder->drain([this, index = index](AVPacket *out) {
            out->stream_index = index;
            m_writer.write(out);
        });
    m_transcoders.clear();
    m_early.clear();
}

void RelayRecorder::record(AVPacket *packet)
{
    m_clockSteps.correct(*packet, m_lastPacketUs);
    const AVFormatContext *input = m_source.context();
    const bool video = packet->stream_index >= 0 && unsigned(packet->stream_index) < input->nb_streams
        && input->streams[packet->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    if (!video && !m_writer.segmentPlaced()) {
        // Sound may be due in the file before the keyframe that places the connection has gone
        // through the writer: it waits, so the sound starts with the picture.
        constexpr size_t kMostEarly = 1000; // a long keyframe interval of 48 kHz AAC
        if (m_early.size() >= kMostEarly)
            m_early.pop_front();
        PacketPtr early = makePacket();
        if (early) {
            av_packet_move_ref(early.get(), packet);
            m_early.push_back(std::move(early));
        }
        av_packet_unref(packet);
        return;
    }
    deliver(packet);
    if (m_writer.segmentPlaced()) {
        for (PacketPtr &early : m_early)
            deliver(early.get());
        m_early.clear();
    }
    noteWrite();
}

void RelayRecorder::deliver(AVPacket *packet)
{
    const int index = packet->stream_index;
    const auto found = m_transcoders.find(index);
    if (found == m_transcoders.end()) {
        m_writer.write(packet);
        return;
    }
    AudioTranscoder &transcoder = *found->second;
    transcoder.startAtUs(m_writer.segmentStartUs());
    const bool ok = transcoder.push(*packet, [this, index](AVPacket *out) {
        out->stream_index = index;
        m_writer.write(out);
    });
    av_packet_unref(packet);
    if (!ok)
        m_audio = AudioHandling::Dropped; // the picture goes on alone
}

void RelayRecorder::noteWrite()
{
    const int64_t endUs = m_writer.endUs();
    if (endUs != m_recordedUs) {
        m_recordedUs = endUs;
        m_lastWriteUs = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - m_created).count();
    }
    if (m_writer.error())
        m_writeError = m_writer.error();
}

void RelayRecorder::run() noexcept
{
    try {
        readLoop();
    } catch (...) {
        // Memory ran out: nothing more is recorded, the status says so and what was written stays.
        m_writeError = AVERROR(ENOMEM);
    }
}

void RelayRecorder::readLoop()
{
    PacketPtr packet = makePacket();
    bool fresh = true; // the source was (re)opened and the writer has not seen it yet
    std::chrono::milliseconds retryPause(250);
    while (!m_stop) {
        if (!m_source.isOpen()) {
            m_connected = false;
            takeNewUrl();
            if (const int rc = m_source.open(m_timeouts.reconnect); rc < 0) {
                m_refused = isRefusal(rc);
                if (!waitBeforeRetry(retryPause))
                    break;
                retryPause = std::min(retryPause * 2, std::chrono::milliseconds(2000));
                continue;
            }
            ++m_reconnects;
            m_refused = false;
            m_connected = true;
            m_tcp = m_source.tcp();
            fresh = true;
            retryPause = std::chrono::milliseconds(250);
        }
        if (m_source.read(packet.get(), m_timeouts.silence) < 0) {
            m_source.close();
            continue;
        }
        m_tcp = m_source.tcp(); // the source may have moved from UDP that never came to TCP
        m_lastPacketUs = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - m_created).count();
        if (!m_recording) {
            av_packet_unref(packet.get());
            continue;
        }
        if (fresh) {
            beginSegment();
            fresh = false;
        }
        record(packet.get());
        if (m_writer.changed()) {
            // The stream came back as another one: the file ends cleanly here rather than play
            // the new pictures or sound under the old description.
            m_result = finishFile();
            m_ended = true;
            break;
        }
        if (m_writer.error())
            break; // the disk refused the data: keep what was written and stop reading
    }
}

} // namespace Qurel
