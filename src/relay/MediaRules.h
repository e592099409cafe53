// Which streams of a connection the MP4 file takes, and how.
#pragma once

extern "C" {
#include <libavcodec/codec_par.h>
}

namespace Qurel {

// How the file holds the sound of a connection.
enum class AudioHandling {
    None, // the stream has no sound
    Copied, // as it comes (AAC, MP3, MP2)
    Transcoded, // decoded and encoded as AAC (G.711 and everything else libavcodec decodes)
    Dropped, // neither: the file has the picture alone
};

// What becomes of one audio stream; never None.
AudioHandling audioHandlingFor(const AVCodecParameters &par);

// True when the file can carry this video as it comes. H.264 and H.265 qualify before their
// picture size is known (it is read from the first keyframe); other codecs need their size.
bool isCopyableVideo(const AVCodecParameters &par);

} // namespace Qurel
