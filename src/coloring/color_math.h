#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "settings/setting_types.h"

namespace zr {

// Pi as the colouring takes it (nine digits, not the full double).
inline constexpr double kColoringPi = 3.14159265;

// A computed colour value as a byte: truncated toward zero, then held to 0..255. Values a
// byte cannot hold (a strength above 100 %, a brightness above 1) saturate, and a value that
// is not a number gives 0, so no formula can write garbage into a pixel.
inline std::uint8_t toByte(double value) {
    if (!(value > 0.0)) {
        return 0;  // also NaN
    }
    if (value >= 255.0) {
        return 255;
    }
    return static_cast<std::uint8_t>(static_cast<int>(value));
}

inline std::uint8_t toByte(float value) {
    if (!(value > 0.0f)) {
        return 0;
    }
    if (value >= 255.0f) {
        return 255;
    }
    return static_cast<std::uint8_t>(static_cast<int>(value));
}

// A pixel of three bytes, put together in a register: a compiler that assembles a returned
// Bgr from its bytes on the stack would stall reading them back as one word.
inline Bgr packedBgr(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    const std::uint32_t packed =
        std::uint32_t{blue} | std::uint32_t{green} << 8 | std::uint32_t{red} << 16;
    Bgr pixel;
    std::memcpy(static_cast<void*>(&pixel), &packed, 3);
    return pixel;
}

// A colour held as 0x00BBGGRR (settings, long waves) in pixel byte order.
inline Bgr bgrFromColorRef(std::uint32_t color) {
    return Bgr{static_cast<std::uint8_t>((color >> 16) & 0xFF),
               static_cast<std::uint8_t>((color >> 8) & 0xFF),
               static_cast<std::uint8_t>(color & 0xFF)};
}

// True when trunc(s / (2 * period)) is odd: s lies in a band in which a band wave acts.
inline bool inOddBand(double s, int period) {
    const double band = std::trunc(s / (2.0 * period));
    return std::fmod(band, 2.0) == 1.0;
}

}  // namespace zr
