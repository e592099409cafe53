#include "ClockStepGuard.h"

#include <cstdlib>

namespace Qurel {

void ClockStepGuard::reset(const AVFormatContext &input)
{
    m_streams.assign(input.nb_streams, Stream {});
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        Stream &s = m_streams[i];
        s.timeBase = input.streams[i]->time_base;
        s.limit = av_rescale_q(1, AVRational { 1, 1 }, s.timeBase);
    }
}

bool ClockStepGuard::correct(AVPacket &packet, int64_t arrivalUs)
{
    if (packet.stream_index < 0 || size_t(packet.stream_index) >= m_streams.size() || packet.pts == AV_NOPTS_VALUE)
        return false;
    Stream &s = m_streams[size_t(packet.stream_index)];
    int64_t pts = packet.pts + s.offset;
    bool stepped = false;
    if (s.last != AV_NOPTS_VALUE) {
        const int64_t advance = pts - s.last;
        const int64_t arrived = av_rescale_q(arrivalUs - s.lastArrivalUs, AVRational { 1, 1000000 }, s.timeBase);
        // A stream that was silent for a while (lost packets) moves on by about the time that
        // passed; a stepped clock moves by the step however little time passed.
        if (std::llabs(advance - arrived) > s.limit) {
            const int64_t step = advance - s.cadence; // the packet comes one usual distance on
            s.offset -= step;
            pts -= step;
            stepped = true;
        } else if (advance > 0) {
            s.cadence = advance;
        }
    }
    if (packet.dts != AV_NOPTS_VALUE)
        packet.dts += pts - packet.pts;
    packet.pts = pts;
    s.last = pts;
    s.lastArrivalUs = arrivalUs;
    return stepped;
}

} // namespace Qurel
