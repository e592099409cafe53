#include "RelayConfig.h"

#include "zelmicro.h"

#include <cstdint>
#include <cstring>

namespace Qurel {

namespace {

    bool readText(const unsigned char *record, int offset, int length, std::string &text)
    {
        const auto *begin = reinterpret_cast<const char *>(record + offset);
        const void *end = std::memchr(begin, '\0', size_t(length));
        if (!end)
            return false;
        text.assign(begin, static_cast<const char *>(end));
        return true;
    }

    int32_t readInt(const unsigned char *record, int offset)
    {
        const unsigned char *p = record + offset;
        return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
    }

} // namespace

bool parseRelayConfig(const void *record, RelayConfig &config)
{
    if (!record)
        return false;
    const auto *bytes = static_cast<const unsigned char *>(record);
    const int32_t mode = readInt(bytes, ZMS32_OFS_RTP_MODE);
    if (mode != 0 && mode != 1)
        return false;
    config.tcp = mode == 1;
    if (!readText(bytes, ZMS32_OFS_URL, ZMS32_LEN_URL, config.url)
        || !readText(bytes, ZMS32_OFS_FOLDER, ZMS32_LEN_FOLDER, config.folder)
        || !readText(bytes, ZMS32_OFS_NAME, ZMS32_LEN_NAME, config.name))
        return false;
    if (config.url.empty() || config.folder.empty() || config.name.empty())
        return false;
    // The name is a file name of the folder: no separators, so it cannot point elsewhere.
    if (config.name.find_first_of("/\\") != std::string::npos || config.name == "." || config.name == "..")
        return false;
    const char last = config.folder.back();
    if (last != '/' && last != '\\')
        config.folder += '/';
    return true;
}

} // namespace Qurel
