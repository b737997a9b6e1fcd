#pragma once

#include "support/frame_image.h"
#include "support/thread_pool.h"

namespace zr {

// A rectangle in picture coordinates whose edges need not lie on pixel edges: pixel (x, y)
// covers [x, x + 1) x [y, y + 1).
struct ExactRect {
    double left = 0.0;
    double top = 0.0;
    double width = 0.0;
    double height = 0.0;
    double right() const { return left + width; }
    double bottom() const { return top + height; }
};

// The interpolating filter that reads a picture where it is magnified. Both have four taps.
enum class MagnifyFilter {
    kCatmullRom,
    kLanczos2,
};

struct ExactSampling {
    MagnifyFilter magnify = MagnifyFilter::kCatmullRom;
    // Filtered in linear light (the stored values taken as sRGB) instead of on the stored values.
    bool linearLight = false;
    // 1: each axis that shrinks is read with exact coverage weights and each axis that keeps its
    // size or magnifies with the interpolating filter. N > 1: every target pixel is the mean of
    // N x N samples at the centres of its sub-pixels, each read with the interpolating filter
    // (widened where the samples lie further apart than a source pixel): softer, and less
    // shimmer on detail finer than a target pixel.
    int supersample = 1;
    ThreadShare threads;  // the threads that share the rows, the caller included
};

// An ellipse: drawing inside it only, the pixels on its outline by the part of them inside.
struct EllipseClip {
    double centreX = 0.0;
    double centreY = 0.0;
    double radiusX = 0.0;
    double radiusY = 0.0;
};

// Draws the part `from` of `source` onto the part `to` of `target`, both exact rectangles.
// Target pixels that `to` (or the clip) covers only in part are blended with what they hold,
// each by the part covered; target pixels outside the target picture are not drawn, and parts
// of `from` outside the source repeat its border pixels. Values are rounded to the nearest
// byte value. Empty or non-finite rectangles draw nothing; the source must not be the target.
// With `hole`, the target pixels inside it are not drawn either.
void resampleExact(const FrameImage& source, const ExactRect& from, FrameImage& target,
                   const ExactRect& to, const ExactSampling& sampling,
                   const EllipseClip* clip = nullptr, const PixelRect* hole = nullptr);

// As resampleExact(), but each target pixel is the mean, over the part of the source it covers,
// of the source interpolated linearly between its pixel centres: one filter at every scale,
// that blurs a view alike at every sub-pixel offset. Where one source pixel meets about one
// target pixel, coverage weights and interpolating filters leave a view that lies on the
// source's pixels sharper than one shifted by half a pixel, and a zoom through that scale
// seems to change speed; this one keeps the step even. Of `sampling`, only `threads` is used.
void resampleLinearMean(const FrameImage& source, const ExactRect& from, FrameImage& target,
                        const ExactRect& to, const ExactSampling& sampling,
                        const EllipseClip* clip = nullptr, const PixelRect* hole = nullptr);

}  // namespace zr
