// Which streams of a connection the MP4 file takes, and how.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

// True when the file can carry this video as it comes. H.264, H.265 and MPEG-4 Part 2 qualify
// before their picture size is known (it is read from the first keyframe); others need their size.
bool isCopyableVideo(const AVCodecParameters &par);

// Codecs whose keyframes carry what the file's header needs (parameter sets or configuration, and
// the picture size): H.264, H.265, MPEG-4 Part 2.
bool sizeKnownLater(AVCodecID codec);

// What a keyframe carries for the file's header: H.264/H.265 parameter sets, MPEG-4 Part 2's
// configuration (the headers before the first picture); empty when it carries none.
std::vector<uint8_t> streamHeaders(AVCodecID codec, const uint8_t *data, size_t size);

// Reads the picture size (and pixel format) into par from a keyframe or codec configuration;
// false when the data does not tell it.
bool readPictureSize(AVCodecParameters &par, const uint8_t *data, int size);

} // namespace Qurel
