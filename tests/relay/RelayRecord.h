// Builds the relay's configuration record the way the client fills it.
#pragma once

#include "zelmicro.h"

#include <array>
#include <cstring>
#include <string>

namespace Qurel::Test {

using RelayRecord = std::array<unsigned char, ZMS32_CONFIG_SIZE>;

inline void putInt(RelayRecord &r, int offset, int32_t value)
{
    for (int i = 0; i < 4; ++i)
        r[size_t(offset + i)] = static_cast<unsigned char>(uint32_t(value) >> (8 * i));
}

inline void putText(RelayRecord &r, int offset, int length, const std::string &text)
{
    std::memcpy(r.data() + offset, text.data(), std::min<size_t>(text.size(), size_t(length)));
}

inline RelayRecord makeRelayRecord(
    int rtpMode, const std::string &url, const std::string &folder, const std::string &name)
{
    RelayRecord r {};
    putInt(r, ZMS32_OFS_VERSION, 256);
    putInt(r, ZMS32_OFS_RTP_MODE, rtpMode);
    putText(r, ZMS32_OFS_URL, ZMS32_LEN_URL - 1, url);
    putText(r, ZMS32_OFS_FOLDER, ZMS32_LEN_FOLDER - 1, folder);
    putText(r, ZMS32_OFS_NAME, ZMS32_LEN_NAME - 1, name);
    putInt(r, ZMS32_OFS_ENABLE, 1);
    putInt(r, ZMS32_OFS_FLAGS, 0);
    putInt(r, ZMS32_OFS_BITRATE, 3000000);
    putInt(r, ZMS32_OFS_RESERVED, 0);
    return r;
}

} // namespace Qurel::Test
