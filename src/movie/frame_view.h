#pragma once

#include <string_view>

#include "coloring/exact_resample.h"
#include "support/frame_image.h"
#include "support/thread_pool.h"

namespace zr {

class ZoomTextPainter;
struct MovieSpec;

// How a composed picture becomes a movie frame: the view of its middle, the scroll, and the
// turn or the 4:3 cut that makes the picture shown and written.

// The threads that share the rows of a scale, at most eight of `threads`: the composition and
// the view run while the key frame jobs are done, so every thread of the budget is free for
// them.
inline ThreadShare scalingThreads(const ThreadShare& threads) {
    constexpr int kMaxScaleThreads = 8;
    return threads.atMost(kMaxScaleThreads);
}

// Zoom mode: the pixels of a composed picture of composedWidth x composedHeight that viewFrame()
// reads for a view of halfWidth x halfHeight onto a movie frame of movieWidth x movieHeight
// (width 0 when none).
PixelRect viewedPixels(int composedWidth, int composedHeight, int movieWidth, int movieHeight,
                       int halfWidth, int halfHeight);

// Zoom mode: the middle 2L x 2S pixels of the composed picture, scaled onto the whole movie
// frame. The part that lies outside the composed picture is cut off.
void viewFrame(const FrameImage& composed, FrameImage& movieFrame, int halfWidth, int halfHeight,
               const ThreadShare& threads = {});

// Left scrolling: the movie frame is a plain copy of the composed picture from column
// trunc(x) on; columns beyond the composed picture stay as they were.
void scrollFrame(const FrameImage& composed, FrameImage& movieFrame, double x);

// How sub-pixel zoom reads the composed picture for the movie `spec`.
ExactSampling exactSamplingOf(const MovieSpec& spec, const ThreadShare& threads = {});

// Sub-pixel zoom mode: the middle progress * W2 x progress * H2 of a composed picture of
// composedWidth x composedHeight (W2 x H2), exactly, onto the whole movie frame. `composed` may
// hold the composition at another size (a key frame alone at its own size): the view is read
// from the same part of it.
void viewFrameExact(const FrameImage& composed, int composedWidth, int composedHeight,
                    double progress, FrameImage& movieFrame, const ExactSampling& sampling);

// Sub-pixel left scrolling: the movie frame shows the composed picture from column x on,
// fractional columns read with the interpolating filter; columns beyond the composed picture
// stay as they were.
void scrollFrameExact(const FrameImage& composed, FrameImage& movieFrame, double x,
                      const ExactSampling& sampling);

// How a drawn movie frame becomes the picture that is shown, written and dumped.
struct FinishOptions {
    bool rotationActive = false;
    double rotation = 0.0;  // degrees
    bool aspect43 = false;
    // Draws the zoom text again on a turned picture when set.
    ZoomTextPainter* zoomText = nullptr;
    std::string_view zoomTextString;
};

// The output picture of a movie frame: with rotation the middle half of the frame turned by
// the angle (a plain copy at angle 0) and captioned again; else, for the movie file only and
// with `aspect43`, the middle 4:3 part. None when the output is the movie frame itself.
OptionalImage finishFrame(const FrameImage& movieFrame, const FinishOptions& options,
                          bool forMovieFile);

// The size of the pictures finishFrame() gives the movie file of `spec` (the movie size, or the
// part of it that rotation or 4:3 keeps).
struct PictureSize {
    int width = 0;
    int height = 0;
};
PictureSize movieFilePictureSize(const MovieSpec& spec);

}  // namespace zr
