#pragma once

#include <cstddef>
#include <cstdint>

#include "support/frame_image.h"
#include "support/thread_pool.h"

namespace zr {

// Area averaging, any ratio up or down, each axis on its own: every target pixel is the mean
// of the source area it covers, each source pixel weighted by the part of it that is covered.
// The mean is computed exactly (integer weights) and rounded to the nearest byte value, a
// half rounding up. Scaling by a whole factor therefore copies (up) or averages whole blocks
// (down) exactly.

// A new picture of width x height holding the whole source. An empty source or a size that is
// not positive gives an empty picture. The threads of `threads` (the caller included) share
// the rows; by default the caller does it alone.
FrameImage scaleImage(const FrameImage& source, int width, int height,
                      const ThreadShare& threads = {});

// Scales the source rectangle onto the target rectangle. Target pixels outside the target
// picture are not drawn (the rest of the rectangle keeps its place); a source rectangle that
// reaches outside the source repeats the source's border pixels. Empty rectangles or pictures
// draw nothing. The source may be the target picture itself.
void scaleImageInto(const FrameImage& source, PixelRect sourceRect, FrameImage& target,
                    PixelRect targetRect, const ThreadShare& threads = {});

// The same, drawing only the target pixels inside `clip` (in target picture coordinates); each
// drawn pixel is the one the whole scale gives.
void scaleImageInto(const FrameImage& source, PixelRect sourceRect, FrameImage& target,
                    PixelRect targetRect, PixelRect clip, const ThreadShare& threads = {});

// The source pixels on which the pixels of the target rectangle inside `clip` depend, in a
// source of sourceWidth x sourceHeight (a rectangle inside it; width 0 when none): what must be
// in place before that part is drawn. Clipping to the target picture is the caller's.
PixelRect sourcePixelsRead(PixelRect sourceRect, int sourceWidth, int sourceHeight,
                           PixelRect targetRect, PixelRect clip);

namespace detail {

// The row kernels scaleImageInto uses: the best the processor has, or those every processor of
// the architecture has. Both give the same bytes; tests compare them.
enum class ScaleKernels { best, baseline };

void scaleImageIntoWith(ScaleKernels kernels, const FrameImage& source, PixelRect sourceRect,
                        FrameImage& target, PixelRect targetRect, PixelRect clip,
                        const ThreadShare& threads = {});

// The output bytes of `count` pixel sums over weights adding up to `total` (at most
// (2^32 - 1) / 511, a pixel sum at most 255 * total): each sum's mean rounded to nearest, a
// half rounding up, as scaleImageInto computes it with the given kernels.
void roundedMeans(ScaleKernels kernels, const std::int32_t* pixelSums, std::size_t count,
                  std::uint64_t total, std::uint8_t* out);

}  // namespace detail

}  // namespace zr
