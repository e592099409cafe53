// Writes the packets of one or more connections to the same stream into one MP4 file:
// timestamps from zero and rising across reconnections, whole pictures only, fragments flushed
// to disk so that a killed process leaves a playable file.
#pragma once

#include "AvHandles.h"
#include "FileSink.h"

#include <chrono>
#include <string>
#include <vector>

namespace Qurel {

// One stream of a connection as the file sees it.
struct SegmentStream
{
    const AVCodecParameters *par = nullptr; // what the file receives from it; null: left out
    AVRational timeBase { 1, 90000 }; // of the packets handed to write()
    AVRational frameRate { 0, 1 }; // video's nominal rate when known
};

class Mp4Writer final
{
public:
    // Writes into the sink's file, which must be made already.
    explicit Mp4Writer(FileSink &sink);
    ~Mp4Writer();
    Mp4Writer(const Mp4Writer &) = delete;
    Mp4Writer &operator=(const Mp4Writer &) = delete;

    // A new connection, its streams by index: they are matched to the file's by kind and order.
    // Nothing is written until the connection's first video keyframe; a connection without video
    // the file can take writes nothing, so the file never holds sound alone.
    void beginSegment(const std::vector<SegmentStream> &streams);
    // Takes the packet's data. False once writing has failed.
    bool write(AVPacket *packet);
    // Writes what is held back and the index; 0, ZMS32_ERR_NO_MEDIA or ZMS32_ERR_WRITE. The sink's
    // file is left to the caller.
    int finish();

    bool started() const { return bool(m_output); }
    // True when a later connection's stream came back in another format (codec, picture size,
    // parameter sets, sound rate or channels) than the file holds: nothing of it is written.
    bool changed() const { return m_changed; }
    // True once the connection's first keyframe has placed it in the file.
    bool segmentPlaced() const { return m_segmentPlaced; }
    // Where the file's part of the connection begins, in microseconds of the connection's
    // timestamps; AV_NOPTS_VALUE before the segment is placed.
    int64_t segmentStartUs() const { return m_segmentPlaced ? m_segmentBaseUs : AV_NOPTS_VALUE; }
    // The end of the media written so far, in microseconds of the file.
    int64_t endUs() const { return m_endUs; }
    // The AVERROR code that stopped the writing; 0 while it works.
    int error() const { return m_error; }

private:
    struct Track
    {
        int out = -1; // index in the file, -1: not recorded
        AVRational timeBase { 1, 90000 };
        AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
        AVCodecID codec = AV_CODEC_ID_NONE;
        bool joinsSlices = false; // H.264/H.265: pictures may come split into several packets
        int64_t frameDuration = 0; // in timeBase, used when a packet has no timestamp
        int64_t base = AV_NOPTS_VALUE; // the segment's zero in timeBase
        int64_t lastPts = AV_NOPTS_VALUE;
        PacketPtr held; // video: the picture waiting for its remaining slices
        PacketPtr spare;
    };
    struct FileTrack
    {
        CodecParametersPtr par;
        int64_t lastDts = AV_NOPTS_VALUE;
    };

    bool joinsHeld(const Track &track, const AVPacket &packet) const;
    void pass(Track &track, AVPacket *packet, int64_t nextPts);
    bool placeSegment(const Track &track, const AVPacket &first);
    bool pictureSizeChanged(const Track &track, const AVPacket &keyframe) const;
    bool openFile(const Track &track, const AVPacket &first);
    void writeToFile(Track &track, AVPacket *packet);
    void flushHeld();
    void fail(int error);

    FileSink &m_sink;
    std::vector<FileTrack> m_fileTracks;
    std::vector<Track> m_tracks; // by stream index of the current segment
    bool m_segmentHasVideo = false;
    bool m_segmentPlaced = false;
    bool m_changed = false;
    bool m_firstFragmentOut = false;
    int64_t m_segmentOffsetUs = 0; // where the current segment starts in the file
    int64_t m_segmentBaseUs = 0; // the connection's timestamp that the file's segment starts at
    int64_t m_endUs = 0; // end of the latest packet written
    std::chrono::steady_clock::time_point m_fileStart;
    OutputContextPtr m_output;
    int m_error = 0;
};

} // namespace Qurel
