#pragma once

#include <cstdint>
#include <limits>
#include <ostream>
#include <vector>

#include "coloring/color_key_frame.h"
#include "keyframes/key_frame.h"
#include "settings/movie_settings.h"
#include "support/frame_image.h"

namespace zr {

// Readable colours in test failures.
inline void PrintTo(const Bgr& color, std::ostream* out) {
    *out << "(b " << int{color.blue} << ", g " << int{color.green} << ", r " << int{color.red}
         << ")";
}

}  // namespace zr

namespace zr::testing {

// No pixel of the test key frames lies inside the set unless a test says so.
inline constexpr std::int32_t kNothingInside = std::numeric_limits<std::int32_t>::min();

// A key frame of width x height from row-major counts and fractions (fractions 0 if empty).
inline KeyFrame makeKeyFrame(int width, int height, std::vector<std::int32_t> counts,
                             std::vector<float> fractions = {},
                             std::int32_t insideValue = kNothingInside) {
    KeyFrame frame;
    frame.path = "test.zmb";
    frame.width = width;
    frame.height = height;
    if (fractions.empty()) {
        fractions.assign(counts.size(), 0.0f);
    }
    frame.counts = std::move(counts);
    frame.fractions = std::move(fractions);
    frame.maxIteration = insideValue;
    return frame;
}

// Settings with every optional colouring stage off and a palette whose entry i is
// (blue i mod 256, green 255 - i mod 256, red i / 4).
inline MovieSettings& plainColoringSettings() {
    resetMovieSettings();
    MovieSettings& settings = movieSettings();
    settings.texture = 0;
    settings.slopes = 0;
    settings.waveColoring = 0;
    settings.colorDivision = 1.0;
    for (int i = 0; i < kPaletteSize; ++i) {
        settings.palette[i] =
            Bgr{static_cast<std::uint8_t>(i % 256), static_cast<std::uint8_t>(255 - i % 256),
                static_cast<std::uint8_t>(i / 4)};
    }
    return settings;
}

// The key frame coloured with the plan that the settings record gives.
inline FrameImage colorWithSettings(const KeyFrame& frame, double cycleOffset, double slopeScale,
                                    double textureScale) {
    return colorKeyFrame(frame, coloringPlanFromSettings(movieSettings(), frame.width, frame.height,
                                                         cycleOffset, slopeScale, textureScale));
}

inline Bgr pixelAt(const FrameImage& image, int x, int y) {
    const std::uint8_t* p = image.pixel(x, y);
    return Bgr{p[0], p[1], p[2]};
}

}  // namespace zr::testing
