#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "coloring/color_key_frame.h"
#include "coloring/exact_resample.h"
#include "keyframes/key_frame_cache.h"
#include "movie/frame_view.h"
#include "support/frame_image.h"

namespace zr {

class ZoomTextPainter;
struct MovieSpec;

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

// Sub-pixel zoom: where key frame k + `index` lies in a composed picture of width x height,
// exactly: centred, 1/zoomFactor^index of its width and height.
ExactRect exactPlacement(int width, int height, double zoomFactor, int index);

// What one composition of key frame `keyFrame` needs.
struct ComposeRequest {
    int keyFrame = 0;
    double zoomFactor = 2.0;
    int movieWidth = 0;
    int movieHeight = 0;
    int mergeCount = 6;          // key frames merged, 1 ... 16
    bool frameByFrame = false;   // key frame k alone
    bool testOnly = false;       // two key frames at most
    bool leftScrolling = false;  // key frames k and k + 1 side by side, unscaled
    bool ellipticRegion = false;
    // Zoom mode: deeper key frames at their exact places (exactPlacement), blended at their
    // edges by the part of each pixel they cover; a composition of key frame k alone is key
    // frame k's own picture, unscaled (viewFrameExact reads it at its own size).
    bool subpixel = false;
    // The colouring of key frame k; each deeper key frame takes it with its slope scale (unless
    // scrolling) and texture scale multiplied by the zoom factor once more.
    ColoringPlan plan;
    double slopeScale = 1.0;
    double textureScale = 1.0;
    // The threads that read, colour and scale the key frames (the caller included).
    ThreadShare threads;
};

// The request for a composition of key frame `keyFrame` of the movie `spec`.
ComposeRequest composeRequestOf(const MovieSpec& spec, int keyFrame);

// The composed picture of a key frame: trunc(Z * movieWidth) x trunc(Z * movieHeight) pixels
// with key frame k stretched over the whole of it and each deeper key frame (read through
// `cache` and coloured in parallel on the worker pool) in the middle 1/Z of the previous one.
// With left scrolling, key frame k lies unscaled at (movieWidth, 0) and key frame k + 1 at
// (0, 0). A key frame that cannot be read is replaced by the picture of the same name (see
// keyFrameJobRun). None when key frame k yields no picture. The key frames that gave no picture
// at all are added to `unusable`, when given.
OptionalImage composeKeyFrames(KeyFrameCache& cache, UnreadableKeyFrameListener* listener,
                               const std::vector<std::string>& keyFramePaths,
                               const ComposeRequest& request,
                               std::vector<KeyFrameReadError>* unusable = nullptr);

// Sub-pixel zoom: one key frame of a composition, read straight into each movie frame.
struct ViewLayer {
    FrameImage picture;
    ExactRect place;  // where it lies in the composed picture
    bool elliptic = false;
};

// Sub-pixel zoom: the key frames of one composition, key frame k first, each drawn into the
// movie frame from its own picture at its exact place in the view, instead of through a
// composed picture that would resample it twice.
struct LayeredComposition {
    int width = 0;  // the size of the composed picture, trunc(Z * movie width) x ...
    int height = 0;
    std::vector<ViewLayer> layers;
};

// The layers of the composition of `request` (zoom mode), read as composeKeyFrames() reads them;
// merging stops at the first key frame that yields no picture. None when key frame k yields
// none.
std::optional<LayeredComposition> composeKeyFrameLayers(
    KeyFrameCache& cache, UnreadableKeyFrameListener* listener,
    const std::vector<std::string>& keyFramePaths, const ComposeRequest& request,
    std::vector<KeyFrameReadError>* unusable = nullptr);

// Sub-pixel zoom mode: the middle progress * W2 x progress * H2 of the composed picture
// (composedWidth x composedHeight, W2 x H2) onto the whole movie frame, each key frame read
// from its own picture with resampleLinearMean(), the edges of the deeper ones blended by the
// part of each pixel they cover. A key frame is not drawn where the next one covers it whole.
void drawLayeredView(const LayeredComposition& composition, int composedWidth, int composedHeight,
                     double progress, FrameImage& movieFrame, const ThreadShare& threads = {});

// Whether a composition of `request` can be made part by part (PartialComposition): zoom mode
// without sub-pixel zoom and without elliptic regions.
bool composableInParts(const ComposeRequest& request);

// A composition made part by part: its key frames are read (or stood in for by their pictures)
// once, and only the parts of the composed picture that are asked for are coloured and drawn,
// each pixel as composeKeyFrames() makes it. A key frame is coloured only where the parts that
// it shows (inside its placement, outside the next deeper one) read it. The pictures the key
// frames are coloured into are kept from one composition for the next. For one thread.
class PartialComposition {
  public:
    PartialComposition();
    ~PartialComposition();
    PartialComposition(const PartialComposition&) = delete;
    PartialComposition& operator=(const PartialComposition&) = delete;

    // Reads the key frames of `request` (composableInParts) through `cache`, as
    // composeKeyFrames() does, and adds the key frames that gave no picture at all to
    // `unusable`, when given. False when key frame k yields no picture. The key frames stay in
    // use in the cache, and so valid, until its next clearInUse().
    bool prepare(KeyFrameCache& cache, UnreadableKeyFrameListener* listener,
                 const std::vector<std::string>& keyFramePaths, const ComposeRequest& request,
                 std::vector<KeyFrameReadError>* unusable = nullptr);

    // The size of the composed picture of the prepared request.
    int width() const { return width_; }
    int height() const { return height_; }

    // Draws the pixels of `part` (clipped to the composed picture) of the prepared composition
    // into `composed`, which has its size; the other pixels stay as they are. Nothing when the
    // last prepare() failed or `composed` has another size.
    void draw(FrameImage& composed, PixelRect part);

  private:
    struct Layer;
    std::vector<Layer> layers_;
    std::vector<FrameImage> coloredPictures_;  // kept for the next composition
    std::vector<PlacementRect> placements_;
    ThreadShare threads_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace zr
