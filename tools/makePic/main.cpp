// makePic: writes one picture of a recording as a JPEG, for the recordings list.
// Usage as with ffmpeg: makePic -i IN -y -f image2 -ss 1 -t 2 -s 720x405 OUT.jpg
#include "CommandLine.h"
#include "FrameGrabber.h"
#include "JpegWriter.h"

#include <cstdio>
#include <sys/stat.h>

extern "C" {
#include <libavutil/log.h>
}

int main(int argc, char **argv)
{
    av_log_set_level(AV_LOG_ERROR);
    const Qurel::ParsedCommandLine cmd
        = Qurel::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!cmd.ok) {
        std::fprintf(stderr, "makePic: %s\n", cmd.error.c_str());
        return 2;
    }
    const Qurel::ThumbnailRequest &request = cmd.request;
    struct stat st
    {
    };
    if (!request.overwrite && stat(request.output.c_str(), &st) == 0) {
        std::fprintf(stderr, "makePic: %s exists (use -y to replace it)\n", request.output.c_str());
        return 1;
    }
    const Qurel::GrabbedFrame grabbed = Qurel::grabFrame(request.input, request.seekSeconds);
    if (!grabbed.frame) {
        std::fprintf(stderr, "makePic: %s\n", grabbed.error.c_str());
        return 1;
    }
    const std::string error = Qurel::writeJpeg(*grabbed.frame, request.width, request.height, request.output);
    if (!error.empty()) {
        std::fprintf(stderr, "makePic: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
