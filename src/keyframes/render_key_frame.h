#pragma once

#include <atomic>
#include <string>

#include "support/frame_image.h"

namespace zr {

class RenderHost;

// The picture of the key frame at `path`: found in the key frame cache or read into it, then
// coloured with the colour cycle offset, slope scale and texture scale given. None at once,
// touching nothing, while skipRender or skipExistingMovie() is set; none when the key frame
// cannot be read (the host, if any, hears of a file that cannot be opened) or coloured.
OptionalImage renderKeyFrame(const std::string& path, double cycleOffset, double slopeScale,
                             double textureScale, RenderHost* host = nullptr);

// Set by the render job while the movie file now due already exists: key frames are then
// neither read nor coloured.
std::atomic<int>& skipExistingMovie();

}  // namespace zr
