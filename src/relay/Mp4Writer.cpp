#include "Mp4Writer.h"

#include "MediaRules.h"
#include "VideoNal.h"
#include "zelmicro.h"

#include <algorithm>
#include <cstring>

namespace Qurel {

namespace {

    constexpr AVRational kMicroseconds { 1, 1000000 };

    // Samples per packet of the sound codecs the file takes as they come.
    int frameSizeOf(const AVCodecParameters &par)
    {
        if (par.frame_size > 0)
            return par.frame_size;
        return par.codec_id == AV_CODEC_ID_MP3 || par.codec_id == AV_CODEC_ID_MP2 ? 1152 : 1024;
    }

    int64_t frameDurationOf(const SegmentStream &stream)
    {
        AVRational rate = stream.frameRate;
        const AVCodecParameters *par = stream.par;
        if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->sample_rate > 0)
            rate = AVRational { par->sample_rate, frameSizeOf(*par) };
        if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > 1000)
            rate = AVRational { 25, 1 };
        return std::max<int64_t>(1, av_rescale_q(1, av_inv_q(rate), stream.timeBase));
    }

    bool setExtradata(AVCodecParameters *par, const std::vector<uint8_t> &data)
    {
        auto *buffer = static_cast<uint8_t *>(av_mallocz(data.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!buffer)
            return false;
        std::memcpy(buffer, data.data(), data.size());
        av_freep(&par->extradata);
        par->extradata = buffer;
        par->extradata_size = int(data.size());
        return true;
    }

    bool sameBytes(const AVCodecParameters &a, const AVCodecParameters &b)
    {
        return a.extradata_size == b.extradata_size
            && (a.extradata_size == 0 || std::memcmp(a.extradata, b.extradata, size_t(a.extradata_size)) == 0);
    }

    // Whether a later connection's stream can go on in the file's track: same codec, and where both
    // tell them, the same picture size and parameter sets, or sound rate, channels and configuration.
    bool sameFormat(const AVCodecParameters &file, const AVCodecParameters &now)
    {
        if (file.codec_id != now.codec_id)
            return false;
        const bool bothConfigured = file.extradata_size > 0 && now.extradata_size > 0;
        if (bothConfigured && !sameBytes(file, now))
            return false;
        if (file.codec_type == AVMEDIA_TYPE_VIDEO)
            return file.width <= 0 || now.width <= 0 || (file.width == now.width && file.height == now.height);
        return file.sample_rate == now.sample_rate && file.ch_layout.nb_channels == now.ch_layout.nb_channels;
    }

} // namespace

Mp4Writer::Mp4Writer(FileSink &sink)
    : m_sink(sink)
{
}

Mp4Writer::~Mp4Writer() = default;

void Mp4Writer::beginSegment(const std::vector<SegmentStream> &streams)
{
    flushHeld();
    m_tracks.clear();
    m_tracks.resize(streams.size());
    m_segmentPlaced = false;
    m_segmentHasVideo = false;

    if (!m_output)
        m_fileTracks.clear(); // nothing written yet: this connection decides the file's streams
    int ordinal[AVMEDIA_TYPE_NB] = {};
    for (size_t i = 0; i < streams.size(); ++i) {
        const AVCodecParameters *par = streams[i].par;
        if (!par || par->codec_type < 0 || par->codec_type >= AVMEDIA_TYPE_NB)
            continue;
        Track &track = m_tracks[i];
        track.type = par->codec_type;
        track.codec = par->codec_id;
        track.timeBase = streams[i].timeBase;
        track.joinsSlices = hasNalReader(par->codec_id);
        track.frameDuration = frameDurationOf(streams[i]);
        const int nth = ordinal[track.type]++;
        if (!m_output) {
            CodecParametersPtr copy(avcodec_parameters_alloc());
            if (!copy || avcodec_parameters_copy(copy.get(), par) < 0)
                continue;
            if (copy->codec_type == AVMEDIA_TYPE_AUDIO)
                copy->frame_size = frameSizeOf(*copy);
            track.out = int(m_fileTracks.size());
            m_fileTracks.push_back(FileTrack { std::move(copy), AV_NOPTS_VALUE });
        } else {
            // A later connection: the nth stream of a kind continues the file's nth of that kind.
            int seen = 0;
            for (size_t f = 0; f < m_fileTracks.size(); ++f) {
                const AVCodecParameters *filePar = m_fileTracks[f].par.get();
                if (filePar->codec_type != track.type)
                    continue;
                if (seen++ != nth)
                    continue;
                // The file's header as written, with what the first keyframe told.
                if (sameFormat(*m_output->streams[f]->codecpar, *par))
                    track.out = int(f);
                else
                    m_changed = true;
            }
        }
        if (track.out >= 0 && track.type == AVMEDIA_TYPE_VIDEO)
            m_segmentHasVideo = true;
    }
}

bool Mp4Writer::joinsHeld(const Track &track, const AVPacket &packet) const
{
    switch (firstSlice(track.codec, packet.data, size_t(packet.size))) {
    case FirstSlice::StartsPicture:
        return false;
    case FirstSlice::None:
        return true; // parameter sets or SEI alone go with the picture before
    case FirstSlice::ContinuesPicture:
        break;
    }
    // All slices of a picture carry its timestamp; a slice whose picture start was lost with its
    // packet keeps its own timestamp and so stays apart.
    const AVPacket &held = *track.held;
    return held.pts == AV_NOPTS_VALUE || packet.pts == AV_NOPTS_VALUE || held.pts == packet.pts;
}

bool Mp4Writer::write(AVPacket *packet)
{
    if (m_error || m_changed || !m_segmentHasVideo || packet->stream_index < 0
        || size_t(packet->stream_index) >= m_tracks.size() || m_tracks[size_t(packet->stream_index)].out < 0) {
        av_packet_unref(packet);
        return !m_error;
    }
    Track &track = m_tracks[size_t(packet->stream_index)];
    if (track.type != AVMEDIA_TYPE_VIDEO) {
        pass(track, packet, AV_NOPTS_VALUE);
        av_packet_unref(packet);
        return !m_error;
    }
    // A picture may arrive as several packets (slices split by repeated parameter sets); the
    // file needs it as one sample, so the latest picture waits until the next one begins.
    if (track.joinsSlices && track.held && joinsHeld(track, *packet)) {
        AVPacket *held = track.held.get();
        const int oldSize = held->size;
        if (av_grow_packet(held, packet->size) == 0) {
            std::memcpy(held->data + oldSize, packet->data, size_t(packet->size));
            held->flags |= packet->flags & AV_PKT_FLAG_KEY;
            if (held->pts == AV_NOPTS_VALUE)
                held->pts = packet->pts;
        }
        av_packet_unref(packet);
        return true;
    }
    // Two packets per video track take turns holding the latest picture.
    PacketPtr previous = std::move(track.held);
    track.held = previous && track.spare ? std::move(track.spare) : makePacket();
    if (!track.held) {
        av_packet_unref(packet);
        track.held = std::move(previous);
        return true;
    }
    av_packet_move_ref(track.held.get(), packet);
    if (previous) {
        pass(track, previous.get(), track.held->pts);
        av_packet_unref(previous.get());
        track.spare = std::move(previous);
    }
    return !m_error;
}

void Mp4Writer::pass(Track &track, AVPacket *packet, int64_t nextPts)
{
    // Streams from RTSP often lack the first picture's timestamp: take it from its neighbours.
    if (packet->pts == AV_NOPTS_VALUE)
        packet->pts = packet->dts;
    if (packet->pts == AV_NOPTS_VALUE) {
        const int64_t step = packet->duration > 0 ? packet->duration : track.frameDuration;
        if (track.lastPts != AV_NOPTS_VALUE)
            packet->pts = track.lastPts + step;
        else if (nextPts != AV_NOPTS_VALUE)
            packet->pts = nextPts - step;
        else
            return;
    }
    if (packet->dts == AV_NOPTS_VALUE || packet->dts > packet->pts)
        packet->dts = packet->pts;
    // A picture lasts until the next one: the file then shows each for its real time, also the
    // last one of a fragment.
    if (packet->duration <= 0 && nextPts != AV_NOPTS_VALUE && nextPts > packet->pts)
        packet->duration = nextPts - packet->pts;
    track.lastPts = packet->pts;

    if (!m_segmentPlaced) {
        const bool opensSegment = track.type == AVMEDIA_TYPE_VIDEO && (packet->flags & AV_PKT_FLAG_KEY);
        if (!opensSegment || !placeSegment(track, *packet))
            return;
    }
    if (packet->pts < track.base)
        return; // sound from before the first picture
    writeToFile(track, packet);
}

bool Mp4Writer::placeSegment(const Track &first, const AVPacket &packet)
{
    const auto now = std::chrono::steady_clock::now();
    if (!m_output) {
        if (!openFile(first, packet))
            return false;
        m_fileStart = now;
        m_segmentOffsetUs = 0;
    } else {
        if (pictureSizeChanged(first, packet)) {
            m_changed = true;
            return false;
        }
        // After a drop-out the file goes on where the clock says, never back in time.
        const int64_t elapsedUs
            = std::chrono::duration_cast<std::chrono::microseconds>(now - m_fileStart).count();
        m_segmentOffsetUs = std::max(m_endUs, elapsedUs);
    }
    m_segmentBaseUs = av_rescale_q(packet.pts, first.timeBase, kMicroseconds);
    for (Track &track : m_tracks)
        track.base = av_rescale_q(m_segmentBaseUs, kMicroseconds, track.timeBase);
    m_segmentPlaced = true;
    return true;
}

bool Mp4Writer::pictureSizeChanged(const Track &track, const AVPacket &keyframe) const
{
    const AVCodecParameters &file = *m_output->streams[track.out]->codecpar;
    CodecParametersPtr now(avcodec_parameters_alloc());
    if (file.width <= 0 || !now || avcodec_parameters_copy(now.get(), &file) < 0)
        return false;
    now->width = now->height = 0;
    return readPictureSize(*now, keyframe.data, keyframe.size) && (now->width != file.width || now->height != file.height);
}

bool Mp4Writer::openFile(const Track &first, const AVPacket &packet)
{
    AVFormatContext *raw = nullptr;
    int rc = avformat_alloc_output_context2(&raw, nullptr, "mp4", m_sink.path().c_str());
    if (rc < 0) {
        fail(rc);
        return false;
    }
    OutputContextPtr output(raw);
    for (size_t i = 0; i < m_fileTracks.size(); ++i) {
        AVStream *stream = avformat_new_stream(output.get(), nullptr);
        if (!stream || avcodec_parameters_copy(stream->codecpar, m_fileTracks[i].par.get()) < 0) {
            fail(AVERROR(ENOMEM));
            return false;
        }
        AVCodecParameters *par = stream->codecpar;
        par->codec_tag = 0;
        for (const Track &track : m_tracks)
            if (track.out == int(i))
                stream->time_base = track.timeBase;
        if (int(i) != first.out || !sizeKnownLater(first.codec))
            continue;
        // Without parameter sets or configuration from the session description, take them from
        // the keyframe; the picture size too, as the stream was not probed for it.
        if (par->extradata_size == 0) {
            const auto sets = streamHeaders(first.codec, packet.data, size_t(packet.size));
            if (!sets.empty() && !setExtradata(par, sets)) {
                fail(AVERROR(ENOMEM));
                return false;
            }
        }
        if (par->width <= 0 || par->height <= 0)
            readPictureSize(*par, packet.data, packet.size);
    }
    output->pb = m_sink.openIo();
    if (!output->pb) {
        fail(AVERROR(ENOMEM));
        return false;
    }
    output->flags |= AVFMT_FLAG_CUSTOM_IO;
    Options options;
    options.set("movflags", "frag_keyframe+empty_moov+default_base_moof");
    options.set("frag_duration", "1000000"); // a long keyframe interval still loses at most ~1 s
    options.set("flush_packets", "1");
    rc = avformat_write_header(output.get(), options.get());
    if (rc < 0) {
        fail(rc);
        return false;
    }
    m_output = std::move(output);
    return true;
}

void Mp4Writer::writeToFile(Track &track, AVPacket *packet)
{
    const AVStream *stream = m_output->streams[track.out];
    const AVRational tb = stream->time_base;
    const int64_t offset = av_rescale_q(m_segmentOffsetUs, kMicroseconds, tb);
    int64_t pts = av_rescale_q(packet->pts - track.base, track.timeBase, tb) + offset;
    int64_t dts = av_rescale_q(packet->dts - track.base, track.timeBase, tb) + offset;
    FileTrack &fileTrack = m_fileTracks[size_t(track.out)];
    if (fileTrack.lastDts != AV_NOPTS_VALUE && dts <= fileTrack.lastDts)
        dts = fileTrack.lastDts + 1;
    pts = std::max(pts, dts);
    fileTrack.lastDts = dts;

    const int64_t duration
        = av_rescale_q(packet->duration > 0 ? packet->duration : track.frameDuration, track.timeBase, tb);
    packet->pts = pts;
    packet->dts = dts;
    packet->duration = duration;
    packet->stream_index = track.out;
    packet->pos = -1;
    m_endUs = std::max(m_endUs, av_rescale_q(pts + duration, tb, kMicroseconds));
    const int rc = av_write_frame(m_output.get(), packet);
    if (rc < 0) {
        fail(rc);
        return;
    }
    // The first picture goes to disk at once instead of with the first full fragment, so the
    // file holds media a moment after recording starts.
    if (!m_firstFragmentOut && track.type == AVMEDIA_TYPE_VIDEO) {
        m_firstFragmentOut = true;
        if (const int flushed = av_write_frame(m_output.get(), nullptr); flushed < 0)
            fail(flushed);
    }
}

void Mp4Writer::flushHeld()
{
    for (Track &track : m_tracks)
        if (track.held) {
            pass(track, track.held.get(), AV_NOPTS_VALUE);
            track.held.reset();
        }
}

void Mp4Writer::fail(int error)
{
    if (!m_error)
        m_error = error < 0 ? error : AVERROR_UNKNOWN;
}

int Mp4Writer::finish()
{
    flushHeld();
    if (!m_output)
        return m_error ? ZMS32_ERR_WRITE : ZMS32_ERR_NO_MEDIA;
    if (const int rc = av_write_trailer(m_output.get()); rc < 0)
        fail(rc);
    avio_flush(m_output->pb);
    m_output.reset();
    return m_error ? ZMS32_ERR_WRITE : ZMS32_OK;
}

} // namespace Qurel
