#include "MediaRules.h"

#include "VideoNal.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace Qurel {

AudioHandling audioHandlingFor(const AVCodecParameters &par)
{
    if (par.sample_rate <= 0 || par.ch_layout.nb_channels <= 0)
        return AudioHandling::Dropped;
    switch (par.codec_id) {
    case AV_CODEC_ID_AAC:
        // Raw AAC needs its configuration from the session description, for the file as for a decoder.
        return par.extradata_size > 0 ? AudioHandling::Copied : AudioHandling::Dropped;
    case AV_CODEC_ID_MP3:
    case AV_CODEC_ID_MP2:
        return AudioHandling::Copied;
    default:
        return avcodec_find_decoder(par.codec_id) ? AudioHandling::Transcoded : AudioHandling::Dropped;
    }
}

bool isCopyableVideo(const AVCodecParameters &par)
{
    if (par.codec_type != AVMEDIA_TYPE_VIDEO)
        return false;
    if (hasNalReader(par.codec_id))
        return true;
    const AVOutputFormat *mp4 = av_guess_format("mp4", nullptr, nullptr);
    return par.width > 0 && par.height > 0 && avformat_query_codec(mp4, par.codec_id, FF_COMPLIANCE_NORMAL) == 1;
}

} // namespace Qurel
