// Scales a decoded picture and stores it as a JPEG file.
#pragma once

#include "AvHandles.h"

#include <string>

namespace Qurel {

// Writes the picture at width×height (its own size when 0) to path; the file appears whole or
// not at all. Returns an error text, empty on success.
std::string writeJpeg(const AVFrame &frame, int width, int height, const std::string &path);

} // namespace Qurel
