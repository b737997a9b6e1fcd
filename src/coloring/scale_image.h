#pragma once

#include "support/frame_image.h"

namespace zr {

// A rectangle of pixels: left and top column and row, width and height in pixels.
struct PixelRect {
    int left;
    int top;
    int width;
    int height;
};

// Area averaging, any ratio up or down, each axis on its own: every target pixel is the mean
// of the source area it covers, each source pixel weighted by the part of it that is covered.
// The mean is computed exactly (integer weights) and rounded to the nearest byte value, a
// half rounding up. Scaling by a whole factor therefore copies (up) or averages whole blocks
// (down) exactly.

// A new picture of width x height holding the whole source. An empty source or a size that is
// not positive gives an empty picture. Up to `threadCount` threads of the process's pool (the
// caller included) share the rows.
FrameImage scaleImage(const FrameImage& source, int width, int height, int threadCount = 1);

// Scales the source rectangle onto the target rectangle. Target pixels outside the target
// picture are not drawn (the rest of the rectangle keeps its place); a source rectangle that
// reaches outside the source repeats the source's border pixels. Empty rectangles or pictures
// draw nothing. The source may be the target picture itself.
void scaleImageInto(const FrameImage& source, PixelRect sourceRect, FrameImage& target,
                    PixelRect targetRect, int threadCount = 1);

}  // namespace zr
