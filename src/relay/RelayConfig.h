// The recording order read from the 5204-byte configuration record.
#pragma once

#include <string>

namespace Qurel {

struct RelayConfig
{
    bool tcp = false; // RTP interleaved in the RTSP connection (mode 1) instead of UDP (mode 0)
    std::string url;
    std::string folder; // ends with a path separator
    std::string name; // without extension

    std::string outputPath() const { return folder + name + ".mp4"; }
};

// Reads the record; false when a text has no end inside its field, the RTP mode is neither 0 nor
// 1, or the URL, folder or name is empty. The name must not reach into another folder.
bool parseRelayConfig(const void *record, RelayConfig &config);

} // namespace Qurel
