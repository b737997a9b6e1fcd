#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "coloring/color_state.h"
#include "coloring/palette.h"
#include "coloring/slopes.h"
#include "coloring/texture.h"
#include "coloring/waves.h"
#include "keyframes/key_frame.h"
#include "support/frame_image.h"
#include "support/thread_pool.h"

namespace zr {

// Everything the colouring of one key frame reads besides the key frame itself.
struct ColoringPlan {
    int method = kStandard;  // colour method
    bool smooth = true;      // "Smooth color transitions"
    bool fixedCycling = false;
    double division = 1.0;  // colour division; 0 means none
    double cycleOffset = 0.0;
    double stretchMin = 0.0;  // range of the Stretched method
    double stretchMax = 0.0;
    double slopeScale = 1.0;  // scale of the Distance method
    Bgr inside;               // colour of the pixels inside the set
    // The count that marks a pixel inside the set in a key frame whose file holds no maximum
    // iteration of its own.
    std::int32_t maxIteration = -1;
    std::shared_ptr<const Palette> palette;         // none: every entry black
    std::shared_ptr<const HsbWaveList> waves;       // HSB waves instead of the palette; none: off
    std::shared_ptr<const LongWaveList> longWaves;  // none or empty: no long waves
    std::optional<TextureSampler> texture;          // none: no texture stage
    std::optional<SlopeShading> slopes;             // none: no slope shading

    // The inside value of `frame`: its own maximum iteration, else the plan's.
    std::int32_t insideValueOf(const KeyFrame& frame) const {
        return frame.maxIteration.value_or(maxIteration);
    }
    // The same plan for a key frame that is `slopeScale` and `textureScale` deep: the scale of
    // the Distance method and of slopes, and the zoom of the texture.
    ColoringPlan withScales(double slopeScale, double textureScale) const;
};

// Colours a key frame: every pixel's iteration data goes through the colour method, the
// colour division and the cycle offset to a palette position (or to the HSB waves), pixels
// inside the set take the inside colour, and then the texture, the long waves and the slope
// shading act in that order when the plan holds them. Reads only the key frame and the plan and
// writes only the returned picture, so several key frames may be coloured at once. A key frame
// without pixels, whose tables are smaller than its size, or whose picture would be too large
// to hold, gives an empty picture.
// The threads of `threads` (the caller included) share the rows; by default the caller alone.
FrameImage colorKeyFrame(const KeyFrame& frame, const ColoringPlan& plan,
                         const ThreadShare& threads = {});

// Colours the pixels of `region` (the part inside the key frame) into the same pixels of `image`,
// which has the key frame's size, leaving the rest of `image` as it is; each pixel is the one
// colorKeyFrame gives. False, with nothing drawn, when the key frame cannot be coloured or
// `image` has another size.
bool colorKeyFrameInto(const KeyFrame& frame, const ColoringPlan& plan, FrameImage& image,
                       PixelRect region, const ThreadShare& threads = {});

// The plan for the movie's colouring at the colour state `colour` (its cycle offset, division,
// key colours, range and rotation), with the held `texture` (none: no texture stage), for a key
// frame of the given slope and texture scales.
ColoringPlan makeColoringPlan(const ColoringSpec& coloring, const TextureSpec& textureSpec,
                              const ColorState& color, std::shared_ptr<const FrameImage> texture,
                              double slopeScale, double textureScale);

}  // namespace zr
