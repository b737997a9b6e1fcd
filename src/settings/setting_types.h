#pragma once

#include <cstddef>
#include <cstdint>

#include "support/bgr.h"

namespace zr {

// One slot of the HSB wave list; a slot with endFlag 1 ends the list.
struct HsbWave {
    int type = 0;  // 0 hue, 1 saturation, 2 brightness, 3 RGB wave (letters H, S, B, W)
    int period = 0;
    int phase = 0;  // added to the colour index before the wave is evaluated
    int endFlag = 0;
    int reserved1 = 0;
    int reserved2 = 0;
    bool operator==(const HsbWave&) const = default;
};

// One slot of the long colour wave list; a slot with endFlag 1 ends the list.
struct LongWave {
    int period = 0;
    int reserved1 = 0;
    int endFlag = 0;
    std::uint32_t color = 0;  // 0x00BBGGRR
    int percent = 0;
    int reserved2 = 0;
    bool operator==(const LongWave&) const = default;
};

inline constexpr int kWaveSlots = 61;  // at most 60 waves and the end slot
inline constexpr int kMaxWaves = 60;

// Colour methods of the colouring.
enum ColorMethod : int {
    kStandard = 0,
    kSquareRoot = 1,
    kCubicRoot = 2,
    kLogarithm = 3,
    kStretched = 4,
    kDistance = 5,
};

// How the values of the speed list read (the selection of list 1018).
enum TimeType : int { kTimeTypeSpeed = 0, kTimeTypeTime = 1, kTimeTypeTimeNs = 2 };

// Lengths of the texts that the user can see limited.
inline constexpr std::size_t kMaxPathLength = 255;     // folder pattern, texture file
inline constexpr std::size_t kMaxFontFaceLength = 99;  // font face
inline constexpr std::size_t kMaxStartRotationText = 19;

}  // namespace zr
