#include "movie/frame_view.h"

#include <algorithm>
#include <cmath>

#include "coloring/rotate_image.h"
#include "coloring/scale_image.h"
#include "movie/zoom_text.h"
#include "settings/movie_spec.h"

namespace zr {

namespace {

// The part of `rect` that lies inside a picture of width x height.
PixelRect clipToPicture(PixelRect rect, int width, int height) {
    const int left = std::max(rect.left, 0);
    const int top = std::max(rect.top, 0);
    const int right = std::min(rect.left + rect.width, width);
    const int bottom = std::min(rect.top + rect.height, height);
    return {left, top, std::max(right - left, 0), std::max(bottom - top, 0)};
}

}  // namespace

PixelRect viewedPixels(int composedWidth, int composedHeight, int movieWidth, int movieHeight,
                       int halfWidth, int halfHeight) {
    const PixelRect view =
        clipToPicture(PixelRect{composedWidth / 2 - halfWidth, composedHeight / 2 - halfHeight,
                                2 * halfWidth, 2 * halfHeight},
                      composedWidth, composedHeight);
    if (view.width <= 0 || view.height <= 0 || movieWidth <= 0 || movieHeight <= 0) {
        return PixelRect{0, 0, 0, 0};
    }
    const PixelRect frame{0, 0, movieWidth, movieHeight};
    return sourcePixelsRead(view, composedWidth, composedHeight, frame, frame);
}

void viewFrame(const FrameImage& composed, FrameImage& movieFrame, int halfWidth, int halfHeight,
               const ThreadShare& threads) {
    if (composed.empty() || movieFrame.empty()) {
        return;
    }
    const PixelRect view =
        clipToPicture(PixelRect{composed.width() / 2 - halfWidth,
                                composed.height() / 2 - halfHeight, 2 * halfWidth, 2 * halfHeight},
                      composed.width(), composed.height());
    if (view.width <= 0 || view.height <= 0) {
        return;
    }
    // Every movie frame goes through here: its rows are shared among the processors.
    scaleImageInto(composed, view, movieFrame,
                   PixelRect{0, 0, movieFrame.width(), movieFrame.height()},
                   scalingThreads(threads));
}

void scrollFrame(const FrameImage& composed, FrameImage& movieFrame, double x) {
    if (composed.empty() || movieFrame.empty() || !std::isfinite(x)) {
        return;
    }
    const double column = std::trunc(x);
    if (column >= composed.width() || column <= -static_cast<double>(movieFrame.width())) {
        return;
    }
    copyBlock(composed, static_cast<int>(column), 0, movieFrame, 0, 0, movieFrame.width(),
              movieFrame.height());
}

ExactSampling exactSamplingOf(const MovieSpec& spec, const ThreadShare& threads) {
    ExactSampling sampling;
    sampling.supersample = std::clamp(spec.zoom.supersample, 1, kMaxSupersample);
    sampling.threads = scalingThreads(threads);
    return sampling;
}

void viewFrameExact(const FrameImage& composed, int composedWidth, int composedHeight,
                    double progress, FrameImage& movieFrame, const ExactSampling& sampling) {
    if (composed.empty() || movieFrame.empty() || composedWidth <= 0 || composedHeight <= 0) {
        return;
    }
    const double scaleX = static_cast<double>(composed.width()) / composedWidth;
    const double scaleY = static_cast<double>(composed.height()) / composedHeight;
    const double viewWidth = composedWidth * progress;
    const double viewHeight = composedHeight * progress;
    const ExactRect view{(composedWidth - viewWidth) / 2.0 * scaleX,
                         (composedHeight - viewHeight) / 2.0 * scaleY, viewWidth * scaleX,
                         viewHeight * scaleY};
    resampleExact(composed, view, movieFrame,
                  ExactRect{0.0, 0.0, static_cast<double>(movieFrame.width()),
                            static_cast<double>(movieFrame.height())},
                  sampling);
}

void scrollFrameExact(const FrameImage& composed, FrameImage& movieFrame, double x,
                      const ExactSampling& sampling) {
    if (composed.empty() || movieFrame.empty() || !std::isfinite(x)) {
        return;
    }
    const double shown = std::min<double>(movieFrame.width(), composed.width() - x);
    if (!(shown > 0.0) || x <= -static_cast<double>(movieFrame.width())) {
        return;
    }
    const double height = std::min(movieFrame.height(), composed.height());
    resampleExact(composed, ExactRect{x, 0.0, shown, height}, movieFrame,
                  ExactRect{0.0, 0.0, shown, height}, sampling);
}

OptionalImage finishFrame(const FrameImage& movieFrame, const FinishOptions& options,
                          bool forMovieFile) {
    const int w = movieFrame.width();
    const int h = movieFrame.height();
    if (options.rotationActive) {
        if (w / 2 <= 0 || h / 2 <= 0) {
            return std::nullopt;
        }
        FrameImage output(w / 2, h / 2);
        if (options.rotation == 0.0) {
            copyBlock(movieFrame, w / 4, h / 4, output, 0, 0, output.width(), output.height());
        } else {
            rotateImage(movieFrame, output, w / 2, h / 2, options.rotation, false);
        }
        if (options.zoomText != nullptr) {
            options.zoomText->draw(output, options.zoomTextString);
        }
        return output;
    }
    if (forMovieFile && options.aspect43) {
        // A frame narrower than 4:3 is written whole.
        const int partWidth = 4 * h / 3;
        if (partWidth >= w || partWidth <= 0) {
            return std::nullopt;
        }
        FrameImage output(partWidth, h);
        copyBlock(movieFrame, (w - partWidth) / 2, 0, output, 0, 0, partWidth, h);
        return output;
    }
    return std::nullopt;
}

PictureSize movieFilePictureSize(const MovieSpec& spec) {
    const int w = std::max(spec.output.movieWidth, 1);
    const int h = std::max(spec.output.movieHeight, 1);
    if (spec.start.rotationActive) {
        return w / 2 > 0 && h / 2 > 0 ? PictureSize{w / 2, h / 2} : PictureSize{w, h};
    }
    const long long partWidth = 4LL * h / 3;
    if (spec.output.aspect43 && partWidth < w && partWidth > 0) {
        return {static_cast<int>(partWidth), h};
    }
    return {w, h};
}

}  // namespace zr
