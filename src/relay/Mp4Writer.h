// Writes the packets of one or more connections to the same stream into one MP4 file:
// stream copy, timestamps from zero and rising across reconnections, whole pictures only,
// fragments flushed to disk so that a killed process leaves a playable file.
#pragma once

#include "AvHandles.h"

#include <chrono>
#include <string>
#include <vector>

namespace Qurel {

class Mp4Writer final
{
public:
    explicit Mp4Writer(std::string path);
    ~Mp4Writer();
    Mp4Writer(const Mp4Writer &) = delete;
    Mp4Writer &operator=(const Mp4Writer &) = delete;

    // A new connection: its streams are matched to the file's by kind and order. Nothing is
    // written until the connection's first video keyframe (first packet when there is no video).
    void beginSegment(const AVFormatContext *input);
    // Takes the packet's data. False once writing has failed.
    bool write(AVPacket *packet);
    // Writes what is held back and the index; 0, ZMS32_ERR_NO_MEDIA or ZMS32_ERR_WRITE.
    int finish();

    bool started() const { return bool(m_output); }

private:
    struct Track
    {
        int out = -1; // index in the file, -1: not recorded
        AVRational timeBase { 1, 90000 };
        AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
        bool h264 = false;
        int64_t frameDuration = 0; // in timeBase, used when a packet has no timestamp
        int64_t base = AV_NOPTS_VALUE; // the segment's zero in timeBase
        int64_t lastPts = AV_NOPTS_VALUE;
        PacketPtr held; // video: the picture waiting for its remaining slices
    };
    struct FileTrack
    {
        CodecParametersPtr par;
        int64_t lastDts = AV_NOPTS_VALUE;
    };

    void emit(Track &track, PacketPtr packet, int64_t nextPts);
    bool placeSegment(const Track &track, const AVPacket &first);
    bool openFile(const Track &track, const AVPacket &first);
    void writeToFile(Track &track, AVPacket *packet);
    void flushHeld();

    std::string m_path;
    std::vector<FileTrack> m_fileTracks;
    std::vector<Track> m_tracks; // by input stream index of the current segment
    bool m_segmentHasVideo = false;
    bool m_segmentPlaced = false;
    int64_t m_segmentOffsetUs = 0; // where the current segment starts in the file
    int64_t m_endUs = 0; // end of the latest packet written
    std::chrono::steady_clock::time_point m_fileStart;
    OutputContextPtr m_output;
    bool m_failed = false;
};

} // namespace Qurel
