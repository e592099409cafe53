#include "Mp4Writer.h"

#include "H264Nal.h"
#include "RtspSource.h"
#include "zelmicro.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace Qurel {

namespace {

    constexpr AVRational kMicroseconds { 1, 1000000 };

    int64_t frameDurationOf(const AVStream *stream)
    {
        AVRational rate = stream->avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0)
            rate = stream->r_frame_rate;
        const AVCodecParameters *par = stream->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->frame_size > 0 && par->sample_rate > 0)
            rate = AVRational { par->sample_rate, par->frame_size };
        if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > 1000)
            rate = AVRational { 25, 1 };
        return std::max<int64_t>(1, av_rescale_q(1, av_inv_q(rate), stream->time_base));
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

} // namespace

Mp4Writer::Mp4Writer(std::string path)
    : m_path(std::move(path))
{
}

Mp4Writer::~Mp4Writer() = default;

void Mp4Writer::beginSegment(const AVFormatContext *input)
{
    flushHeld();
    m_tracks.clear();
    m_tracks.resize(input->nb_streams);
    m_segmentPlaced = false;
    m_segmentHasVideo = false;

    const AVOutputFormat *mp4 = av_guess_format("mp4", nullptr, nullptr);
    if (!m_output)
        m_fileTracks.clear(); // nothing written yet: this connection decides the file's streams
    int ordinal[AVMEDIA_TYPE_NB] = {};
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream *stream = input->streams[i];
        const AVCodecParameters *par = stream->codecpar;
        Track &track = m_tracks[i];
        track.type = par->codec_type;
        track.timeBase = stream->time_base;
        track.h264 = par->codec_id == AV_CODEC_ID_H264;
        track.frameDuration = frameDurationOf(stream);
        if (!isRecordable(*par))
            continue;
        if (avformat_query_codec(mp4, par->codec_id, FF_COMPLIANCE_NORMAL) != 1)
            continue;
        const int nth = ordinal[track.type]++;
        if (!m_output) {
            CodecParametersPtr copy(avcodec_parameters_alloc());
            if (!copy || avcodec_parameters_copy(copy.get(), par) < 0)
                continue;
            track.out = int(m_fileTracks.size());
            m_fileTracks.push_back(FileTrack { std::move(copy), AV_NOPTS_VALUE });
        } else {
            // A later connection: the nth stream of a kind continues the file's nth of that kind.
            int seen = 0;
            for (size_t f = 0; f < m_fileTracks.size(); ++f) {
                const AVCodecParameters *filePar = m_fileTracks[f].par.get();
                if (filePar->codec_type != track.type)
                    continue;
                if (seen++ == nth && filePar->codec_id == par->codec_id)
                    track.out = int(f);
            }
        }
        if (track.out >= 0 && track.type == AVMEDIA_TYPE_VIDEO)
            m_segmentHasVideo = true;
    }
}

bool Mp4Writer::write(AVPacket *packet)
{
    if (m_failed || packet->stream_index < 0 || size_t(packet->stream_index) >= m_tracks.size()
        || m_tracks[size_t(packet->stream_index)].out < 0) {
        av_packet_unref(packet);
        return !m_failed;
    }
    Track &track = m_tracks[size_t(packet->stream_index)];
    PacketPtr own = makePacket();
    if (!own) {
        av_packet_unref(packet);
        return true;
    }
    av_packet_move_ref(own.get(), packet);
    if (track.type != AVMEDIA_TYPE_VIDEO) {
        emit(track, std::move(own), AV_NOPTS_VALUE);
        return !m_failed;
    }
    // A picture may arrive as several packets (slices split by repeated parameter sets); the
    // file needs it as one sample, so the latest picture waits until the next one begins.
    if (track.h264 && track.held && continuesPicture(own->data, size_t(own->size))) {
        AVPacket *held = track.held.get();
        const int oldSize = held->size;
        if (av_grow_packet(held, own->size) == 0) {
            std::memcpy(held->data + oldSize, own->data, size_t(own->size));
            held->flags |= own->flags & AV_PKT_FLAG_KEY;
            if (held->pts == AV_NOPTS_VALUE)
                held->pts = own->pts;
        }
        return true;
    }
    PacketPtr previous = std::move(track.held);
    const int64_t nextPts = own->pts;
    track.held = std::move(own);
    if (previous)
        emit(track, std::move(previous), nextPts);
    return !m_failed;
}

void Mp4Writer::emit(Track &track, PacketPtr packet, int64_t nextPts)
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
    track.lastPts = packet->pts;

    if (!m_segmentPlaced) {
        const bool opensSegment = m_segmentHasVideo
            ? track.type == AVMEDIA_TYPE_VIDEO && (packet->flags & AV_PKT_FLAG_KEY)
            : true;
        if (!opensSegment || !placeSegment(track, *packet))
            return;
    }
    if (packet->pts < track.base)
        return; // sound from before the first picture
    writeToFile(track, packet.get());
}

bool Mp4Writer::placeSegment(const Track &first, const AVPacket &packet)
{
    const auto now = std::chrono::steady_clock::now();
    if (!m_output) {
        if (!openFile(first, packet)) {
            m_failed = true;
            return false;
        }
        m_fileStart = now;
        m_segmentOffsetUs = 0;
    } else {
        // After a drop-out the file goes on where the clock says, never back in time.
        const int64_t elapsedUs
            = std::chrono::duration_cast<std::chrono::microseconds>(now - m_fileStart).count();
        m_segmentOffsetUs = std::max(m_endUs, elapsedUs);
    }
    const int64_t baseUs = av_rescale_q(packet.pts, first.timeBase, kMicroseconds);
    for (Track &track : m_tracks)
        track.base = av_rescale_q(baseUs, kMicroseconds, track.timeBase);
    m_segmentPlaced = true;
    return true;
}

bool Mp4Writer::openFile(const Track &first, const AVPacket &packet)
{
    AVFormatContext *raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "mp4", m_path.c_str()) < 0)
        return false;
    OutputContextPtr output(raw);
    for (size_t i = 0; i < m_fileTracks.size(); ++i) {
        AVStream *stream = avformat_new_stream(output.get(), nullptr);
        if (!stream || avcodec_parameters_copy(stream->codecpar, m_fileTracks[i].par.get()) < 0)
            return false;
        stream->codecpar->codec_tag = 0;
        for (const Track &track : m_tracks)
            if (track.out == int(i))
                stream->time_base = track.timeBase;
        // Without parameter sets from the session description, take them from the keyframe.
        if (int(i) == first.out && first.h264 && stream->codecpar->extradata_size == 0) {
            const std::vector<uint8_t> sets = parameterSets(packet.data, size_t(packet.size));
            if (!sets.empty() && !setExtradata(stream->codecpar, sets))
                return false;
        }
    }
    if (avio_open(&output->pb, m_path.c_str(), AVIO_FLAG_WRITE) < 0)
        return false;
    Options options;
    options.set("movflags", "frag_keyframe+empty_moov+default_base_moof");
    options.set("frag_duration", "1000000"); // a long keyframe interval still loses at most ~1 s
    options.set("flush_packets", "1");
    if (avformat_write_header(output.get(), options.get()) < 0) {
        output.reset();
        std::remove(m_path.c_str()); // no half-made file
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
    packet->duration = packet->duration > 0 ? duration : 0;
    packet->stream_index = track.out;
    packet->pos = -1;
    m_endUs = std::max(m_endUs, av_rescale_q(pts + duration, tb, kMicroseconds));
    if (av_write_frame(m_output.get(), packet) < 0)
        m_failed = true;
}

void Mp4Writer::flushHeld()
{
    for (Track &track : m_tracks)
        if (track.held)
            emit(track, std::move(track.held), AV_NOPTS_VALUE);
}

int Mp4Writer::finish()
{
    flushHeld();
    if (!m_output)
        return m_failed ? ZMS32_ERR_WRITE : ZMS32_ERR_NO_MEDIA;
    if (av_write_trailer(m_output.get()) < 0)
        m_failed = true;
    if (avio_closep(&m_output->pb) < 0)
        m_failed = true;
    m_output.reset();
    return m_failed ? ZMS32_ERR_WRITE : ZMS32_OK;
}

} // namespace Qurel
