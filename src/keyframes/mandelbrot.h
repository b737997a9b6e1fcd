#pragma once

#include <functional>
#include <string>
#include <vector>

#include "keyframes/key_frame_writer.h"
#include "support/thread_pool.h"

namespace zr {

// A view of the Mandelbrot set: its centre, its width in the complex plane, its size in pixels
// and the iteration limit. Square pixels: the height in the plane follows from the pixel size.
struct MandelbrotView {
    double centerRe = -0.743643887037151;
    double centerIm = 0.131825904205330;
    double width = 4.0;
    int pixelWidth = 640;
    int pixelHeight = 360;
    int maxIteration = 4000;
};

// Computes the key frame of `view` on the threads of `threads` (the caller included; by default
// the caller alone), rows handed out one at a time. Points that do not escape get
// count maxIteration and fraction 0. The view must have positive sizes and width, and maxIteration
// >= 1.
KeyFrameFileData renderMandelbrot(const MandelbrotView& view, const ThreadShare& threads = {});

// A folder of key frames zooming into one point: `count` views, each `zoomFactor` times
// wider than the next, the widest `widestWidth` wide.
struct KeyFrameSeries {
    std::string folder;
    int count = 30;
    int pixelWidth = 640;
    int pixelHeight = 360;
    double centerRe = -0.743643887037151;
    double centerIm = 0.131825904205330;
    int maxIteration = 4000;
    double zoomFactor = 2.0;
    double widestWidth = 4.0;
};

// The zoom of a view `width` wide, relative to the whole set (4 wide) and written like
// "1.5e34": three significant digits at most, no "+" and no leading zeros in the exponent.
std::string formatZoom(double zoom);

// "NNNNN_ZOOM.zmb" for key frame `number` (1 is the deepest).
std::string keyFrameFileName(int number, double zoom);

// The key colours written into every key frame.
std::vector<Bgr> defaultKeyColors();

// Computes and writes the key frames of `series`, the deepest (number 1) first. `progress` is
// called after each file with the number written so far. Creates the folder when it is
// missing. Returns false with the reason in *error on failure.
bool makeKeyFrameSeries(const KeyFrameSeries& series,
                        const std::function<void(int written, int total)>& progress,
                        std::string* error, const ThreadShare& threads = {});

}  // namespace zr
