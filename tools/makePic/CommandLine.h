// The ffmpeg-style command line of makePic, e.g. -i IN -y -f image2 -ss 1 -t 2 -s 720x405 OUT.
#pragma once

#include <string>
#include <vector>

namespace Qurel {

struct ThumbnailRequest
{
    std::string input;
    std::string output;
    double seekSeconds = 0;
    int width = 0; // 0: the picture's own size
    int height = 0;
    bool overwrite = false;
};

struct ParsedCommandLine
{
    bool ok = false;
    std::string error;
    ThumbnailRequest request;
};

// Options may come in any order, as ffmpeg takes them; -ss before or after -i means the same
// here. -f accepts image2 or mjpeg; -t, -vframes/-frames:v, -an, -v/-loglevel, -hide_banner and
// -nostdin are accepted and need nothing more.
ParsedCommandLine parseCommandLine(const std::vector<std::string> &args);

} // namespace Qurel
