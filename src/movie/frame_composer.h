#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/frame_image.h"

namespace zr {

class RenderHost;
class RenderSession;
class ZoomTextPainter;

// A rectangle of a picture: left, top, right, bottom (right and bottom exclusive).
struct PlacementRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const PlacementRect&) const = default;
};

// Where the key frames k, k + 1, ... of one composition are drawn in a composed picture of
// width x height: the whole picture, then each one the middle 1/zoomFactor of the previous one,
// until `maxCount` rectangles or one narrower than 10 pixels would follow.
std::vector<PlacementRect> mergePlacements(int width, int height, double zoomFactor, int maxCount);

// What one composition of key frame `keyFrame` needs besides the settings record.
struct ComposeRequest {
    int keyFrame = 0;
    double cycleOffset = 0.0;
    double zoomFactor = 2.0;
    int movieWidth = 0;
    int movieHeight = 0;
    double slopeScale = 1.0;
    double textureScale = 1.0;
    // Colour method Stretched: each composition moves the range by these steps and shows it.
    double stretchMinStep = 0.0;
    double stretchMaxStep = 0.0;
    int keyMin = 1;
    int keyMax = 1;
};

// The composed picture of a key frame: trunc(Z * movieWidth) x trunc(Z * movieHeight) pixels
// with key frame k stretched over the whole of it and each deeper key frame (read and coloured
// in parallel on the worker pool) in the middle 1/Z of the previous one. With left scrolling,
// key frame k lies unscaled at (movieWidth, 0) and key frame k + 1 at (0, 0).
// `keyFramePaths` is the run's sorted list; an entry whose key frame fell back to its JPEG
// picture is changed to name that picture. The key frames are read through the session's cache.
// None when key frame k yields no picture, while a movie file that already exists is being
// skipped, and with "Skip render".
OptionalImage composeKeyFrames(RenderSession& session, RenderHost& host,
                               std::vector<std::string>& keyFramePaths,
                               const ComposeRequest& request);

// Zoom mode: the middle 2L x 2S pixels of the composed picture, scaled onto the whole movie
// frame. The part that lies outside the composed picture is cut off.
void viewFrame(const FrameImage& composed, FrameImage& movieFrame, int halfWidth, int halfHeight);

// Left scrolling: the movie frame is a plain copy of the composed picture from column
// trunc(x) on; columns beyond the composed picture stay as they were.
void scrollFrame(const FrameImage& composed, FrameImage& movieFrame, double x);

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

}  // namespace zr
