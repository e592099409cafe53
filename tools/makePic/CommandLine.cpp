#include "CommandLine.h"

#include <set>

extern "C" {
#include <libavutil/parseutils.h>
}

namespace Qurel {

namespace {

    ParsedCommandLine failure(std::string text)
    {
        ParsedCommandLine result;
        result.error = std::move(text);
        return result;
    }

    bool parseSeconds(const std::string &text, double &seconds)
    {
        int64_t us = 0;
        if (av_parse_time(&us, text.c_str(), 1) < 0 || us < 0)
            return false;
        seconds = double(us) / 1e6;
        return true;
    }

} // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string> &args)
{
    static const std::set<std::string> flags { "-y", "-an", "-hide_banner", "-nostdin", "-n" };
    static const std::set<std::string> ignoredWithValue { "-v", "-loglevel", "-vframes", "-frames:v", "-q:v",
        "-qscale:v" };
    ParsedCommandLine result;
    ThumbnailRequest &r = result.request;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (flags.count(arg)) {
            if (arg == "-y")
                r.overwrite = true;
            else if (arg == "-n")
                r.overwrite = false;
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            if (i + 1 >= args.size())
                return failure("option " + arg + " needs a value");
            const std::string &value = args[++i];
            if (arg == "-i") {
                if (!r.input.empty())
                    return failure("only one input is taken");
                r.input = value;
            } else if (arg == "-ss") {
                if (!parseSeconds(value, r.seekSeconds))
                    return failure("invalid time for -ss: " + value);
            } else if (arg == "-t") {
                double unused = 0;
                if (!parseSeconds(value, unused))
                    return failure("invalid time for -t: " + value);
            } else if (arg == "-s") {
                if (av_parse_video_size(&r.width, &r.height, value.c_str()) < 0)
                    return failure("invalid size for -s: " + value);
            } else if (arg == "-f") {
                if (value != "image2" && value != "mjpeg")
                    return failure("only JPEG pictures are written, not " + value);
            } else if (!ignoredWithValue.count(arg)) {
                return failure("unknown option " + arg);
            }
            continue;
        }
        if (!r.output.empty())
            return failure("only one output is taken");
        r.output = arg;
    }
    if (r.input.empty())
        return failure("no input given (-i)");
    if (r.output.empty())
        return failure("no output file given");
    result.ok = true;
    return result;
}

} // namespace Qurel
