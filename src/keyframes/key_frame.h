#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/setting_types.h"

namespace zr {

// One loaded key frame: iteration counts and smoothing fractions, row-major, top row first,
// and what its file says besides: the renderer's colour division, its key colours and, when
// the file holds it, its maximum iteration. Held in a slot of a key frame cache, which owns it.
struct KeyFrame {
    std::string path;  // empty: the slot is free
    int width = 0;
    int height = 0;
    std::vector<std::int32_t> counts;  // counts[y * width + x]
    std::vector<float> fractions;      // fractions[y * width + x]
    int inUse = 0;                     // claimed for the movie frame being composed

    std::int32_t iterationDivision = 0;
    std::vector<Bgr> keyColors;  // 1 ... 1024 colours
    // The count that marks a pixel inside the set; a file may end before it. What a key frame
    // without it takes instead is the caller's choice (see the colouring plan).
    std::optional<std::int32_t> maxIteration;

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
