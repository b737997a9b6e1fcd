#pragma once

#include <cstdint>

namespace zr {

// A colour in pixel byte order: blue, green, red.
struct Bgr {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    bool operator==(const Bgr&) const = default;
};

// Colour indices point into a palette of this many colours, and wrap around it.
inline constexpr int kPaletteSize = 1024;

}  // namespace zr
