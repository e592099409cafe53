// Small readers of H.264 and H.265 Annex B packets, enough to keep pictures whole in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace Qurel {

// True for the codecs these readers understand (H.264, H.265).
bool hasNalReader(AVCodecID codec);

// What the first slice of a packet is: none (parameter sets or SEI alone), the first slice of a
// picture, or a later slice of one.
enum class FirstSlice { None, StartsPicture, ContinuesPicture };
FirstSlice firstSlice(AVCodecID codec, const uint8_t *data, size_t size);

// True when the packet's first slice continues a picture (H.264: first_mb_in_slice != 0, H.265:
// first_slice_segment_in_pic_flag == 0), or when the packet carries no slice at all (parameter
// sets or SEI on their own): such a packet belongs to the picture before it.
bool continuesPicture(AVCodecID codec, const uint8_t *data, size_t size);

// The parameter sets of a packet (H.264: SPS and PPS; H.265: VPS, SPS and PPS), each with a start
// code, for a file header that needs them.
std::vector<uint8_t> parameterSets(AVCodecID codec, const uint8_t *data, size_t size);

} // namespace Qurel
