// Finds and decodes the picture shown at a given time of a video file.
#pragma once

#include "AvHandles.h"

#include <string>

namespace Qurel {

struct GrabbedFrame
{
    FramePtr frame; // empty on failure
    std::string error;
};

// The first picture at or after `seconds`; when the video is shorter, its first picture.
// Seeks to the keyframe before the time and decodes only from there.
GrabbedFrame grabFrame(const std::string &path, double seconds);

} // namespace Qurel
