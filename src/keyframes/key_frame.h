#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zr {

// One loaded key frame: iteration counts and smoothing fractions, row-major, top row first.
// Held in a slot of the key frame cache, which owns it for the whole program.
struct KeyFrame {
    std::string path;  // empty: the slot is free
    int width = 0;
    int height = 0;
    std::vector<std::int32_t> counts;  // counts[y * width + x]
    std::vector<float> fractions;      // fractions[y * width + x]
    int inUse = 0;                     // claimed for the movie frame being composed
    std::int32_t insideValue = -1;     // count that marks a pixel inside the set

    std::int32_t count(int x, int y) const {
        return counts[static_cast<std::size_t>(y) * width + x];
    }
    float fraction(int x, int y) const {
        return fractions[static_cast<std::size_t>(y) * width + x];
    }
    // The smooth value count + 1 - fraction, in double precision.
    double smoothValue(int x, int y) const {
        return static_cast<double>(count(x, y)) + 1.0 - static_cast<double>(fraction(x, y));
    }
};

}  // namespace zr
