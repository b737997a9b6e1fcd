#pragma once

#include "keyframes/key_frame.h"
#include "support/frame_image.h"

namespace zr {

// Colours a key frame: every pixel's iteration data goes through the colour method, the
// colour division and the cycle offset to a palette position (or to the HSB waves), pixels
// inside the set take the inside colour, and then the texture, the long waves and the slope
// shading act in that order when they are on. Reads movieSettings() and the palette without
// locks and writes only the returned picture, so several key frames may be coloured at once.
// A key frame without pixels, whose tables are smaller than its size, or whose picture would
// be too large to hold, gives an empty picture.
FrameImage colorKeyFrame(const KeyFrame& frame, double cycleOffset, double slopeScale,
                         double textureScale);

}  // namespace zr
