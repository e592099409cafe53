// Keeps each stream's timestamps continuous when the sender's clock is stepped within one
// connection (a time sync on the recorder moves every later RTCP-derived timestamp by the step):
// a jump of more than a second that the packets' arrival does not show is taken out.
#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace Qurel {

class ClockStepGuard final
{
public:
    // A new connection: its streams, nothing learned yet.
    void reset(const AVFormatContext &input);
    // Corrects the packet's timestamps; arrivalUs is when it came, on any steady clock. True when
    // a step was taken out at this packet.
    bool correct(AVPacket &packet, int64_t arrivalUs);

private:
    struct Stream
    {
        AVRational timeBase { 1, 90000 };
        int64_t limit = 0; // a second in timeBase
        int64_t last = AV_NOPTS_VALUE; // corrected timestamp of the latest packet
        int64_t lastArrivalUs = 0;
        int64_t cadence = 0; // the usual distance between packets
        int64_t offset = 0; // added to every timestamp: the steps taken out so far
    };
    std::vector<Stream> m_streams;
};

} // namespace Qurel
