// Small readers of H.264 Annex B packets, enough to keep pictures whole in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Qurel {

// True when the packet's first slice continues a picture (first_mb_in_slice != 0), or when the
// packet carries no slice at all (parameter sets or SEI on their own): such a packet belongs to
// the picture before it.
bool continuesPicture(const uint8_t *data, size_t size);

// The SPS and PPS units of a packet, each with a start code, for a file header that needs them.
std::vector<uint8_t> parameterSets(const uint8_t *data, size_t size);

} // namespace Qurel
