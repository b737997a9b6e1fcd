#pragma once

#include "support/frame_image.h"

namespace zr {

// Turns `source` by `angleDegrees` about the source point (centreX, centreY) and resamples it
// into `destination` at the destination's own size, writing every destination pixel.
// Pixel (c, r) is column c of row r counted from the top. With `centred`, destination pixel
// (c, r) lies at offset (c - centreX, r - centreY) from the centre; without it, at offset
// (c + centreX/2 - centreX, r + centreY/2 - centreY), so that a destination of half the
// source's size shows the middle of the source. Each pixel is the mean of a horizontal, a
// vertical and a diagonal linear interpolation; pixels that no source point reaches take the
// colour of the source's bottom-left pixel. With rows counted from the top, a positive angle
// turns the picture clockwise as seen on screen.
// `destination` may be `source` itself. Nothing is done when either picture is empty.
void rotateImage(const FrameImage& source, FrameImage& destination, int centreX, int centreY,
                 double angleDegrees, bool centred);

}  // namespace zr
