#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <ostream>
#include <vector>

#include "coloring/color_key_frame.h"
#include "coloring/color_state.h"
#include "coloring/texture.h"
#include "keyframes/key_frame.h"
#include "settings/movie_spec.h"
#include "support/frame_image.h"

namespace zr {

// Readable colours in test failures.
inline void PrintTo(const Bgr& color, std::ostream* out) {
    *out << "(b " << int{color.blue} << ", g " << int{color.green} << ", r " << int{color.red}
         << ")";
}

}  // namespace zr

namespace zr::testing {

// Every value the colouring of a key frame reads, in one place and under the settings' names, as
// the colouring tests and the reference computation set them. The palette is set directly.
struct ColoringSettings {
    int colorMethod = kStandard;
    int smoothColoring = 1;
    int fixedColorCycling = 0;
    std::uint32_t insideColor = 0;  // 0x00BBGGRR
    int waveColoring = 0;
    std::array<HsbWave, kWaveSlots> hsbWaves = ColoringSpec::emptyHsbWaves();
    std::array<LongWave, kWaveSlots> longWaves{};
    int slopes = 0;
    double slopeRatio = 50.0;
    int divideSlopes = 0;
    int texture = 0;
    double textureDepth = 200.0;
    int textureStrength = 100;
    double textureMerge = 1.0;
    std::string textureFile;
    // The run's values.
    double colorDivision = 1.0;
    double stretchMin = -1.0;
    double stretchMax = 1.0;
    double startRotation = 0.0;
    std::int32_t maxIteration = -1;
    Palette palette{};
};

inline ColoringSpec coloringSpecOf(const ColoringSettings& s) {
    ColoringSpec spec;
    spec.colorMethod = s.colorMethod;
    spec.smoothColoring = s.smoothColoring != 0;
    spec.fixedColorCycling = s.fixedColorCycling != 0;
    spec.insideColor = s.insideColor;
    spec.waveColoring = s.waveColoring != 0;
    spec.hsbWaves = s.hsbWaves;
    spec.longWaves = s.longWaves;
    spec.slopes = s.slopes != 0;
    spec.slopeRatio = s.slopeRatio;
    spec.divideSlopes = s.divideSlopes != 0;
    return spec;
}

inline TextureSpec textureSpecOf(const ColoringSettings& s) {
    TextureSpec spec;
    spec.texture = s.texture != 0;
    spec.textureDepth = s.textureDepth;
    spec.textureStrength = s.textureStrength;
    spec.textureMerge = s.textureMerge;
    spec.textureFile = s.textureFile;
    return spec;
}

// The plan of the settings, with `texture` as the held texture and the settings' own palette.
inline ColoringPlan planOf(const ColoringSettings& s, std::shared_ptr<const FrameImage> texture,
                           double cycleOffset, double slopeScale, double textureScale) {
    ColorState color;
    color.startCycle = cycleOffset;
    color.startRotation = s.startRotation;
    color.colorDivision = s.colorDivision;
    color.stretchMin = s.stretchMin;
    color.stretchMax = s.stretchMax;
    color.maxIteration = s.maxIteration;
    ColoringPlan plan = makeColoringPlan(coloringSpecOf(s), textureSpecOf(s), color,
                                         std::move(texture), slopeScale, textureScale);
    plan.palette = std::make_shared<const Palette>(s.palette);
    return plan;
}

// The texture a run prepares for key frames of width x height from the settings' texture file
// (none when it does not load), turned by the rotation when `rotationListHasRows`.
inline std::shared_ptr<const FrameImage> preparedTexture(const ColoringSettings& s,
                                                         TextureStore& store, int width, int height,
                                                         bool rotationListHasRows = false) {
    TexturePosition position;
    position.file = s.textureFile;
    prepareTexture(textureSpecOf(s), 30, rotationListHasRows, position, store, width, height,
                   s.startRotation);
    return heldTexture(position, store);
}

// The key frame coloured with the settings; with the texture stage on, the texture is prepared
// for it as a run prepares it.
inline FrameImage colorWithSettings(const ColoringSettings& s, const KeyFrame& frame,
                                    double cycleOffset, double slopeScale, double textureScale) {
    TextureStore store;
    std::shared_ptr<const FrameImage> texture;
    if (s.texture != 0) {
        texture = preparedTexture(s, store, frame.width, frame.height);
    }
    return colorKeyFrame(frame,
                         planOf(s, std::move(texture), cycleOffset, slopeScale, textureScale));
}

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
inline ColoringSettings plainColoringSettings() {
    ColoringSettings settings;
    for (int i = 0; i < kPaletteSize; ++i) {
        settings.palette[i] =
            Bgr{static_cast<std::uint8_t>(i % 256), static_cast<std::uint8_t>(255 - i % 256),
                static_cast<std::uint8_t>(i / 4)};
    }
    return settings;
}

inline Bgr pixelAt(const FrameImage& image, int x, int y) {
    const std::uint8_t* p = image.pixel(x, y);
    return Bgr{p[0], p[1], p[2]};
}

}  // namespace zr::testing
