#pragma once

#include <string>

namespace zr {

// The number of video frames stored in a movie file, or -1 when the file cannot be read as a
// movie. Frames are counted from the stored packets, so nothing is decoded.
long long movieFileFrameCount(const std::string& path);

}  // namespace zr
