#pragma once

#include <cstdint>

#include "coloring/palette.h"

namespace zr {

struct KeyFrame;

// The values of the colouring that a run advances from frame to frame. A run starts from what
// the last run (or Test) left, with the cycle offset and rotation the movie starts at.
struct ColorState {
    double startCycle = 0.0;     // the colour cycle offset
    double startRotation = 0.0;  // the rotation of the picture, degrees
    double colorDivision = 1.0;  // 0 means no division
    int keyColorCount = 1;
    KeyColors keyColors{};
    double stretchMin = -1.0;  // -1 and 1: the range of the Stretched method is not set yet
    double stretchMax = 1.0;
    // The count that marks a pixel inside the set in a key frame whose file holds none.
    std::int32_t maxIteration = -1;
    bool divisionFromKeyFrame = true;  // the next key colours taken bring the division along
    bool colorsFromKeyFrame = true;    // the next key frame header taken gives the key colours

    // The palette of the key colours in use.
    Palette palette() const { return expandPalette(keyColors, keyColorCount); }

    bool operator==(const ColorState&) const = default;
};

// What a run or Test takes from a key frame it has read. The key colours and, unless a DIVIDE
// row of key frame 0 sets it, the colour division come from one key frame only: while
// colorsFromKeyFrame is set, they are taken and the flag cleared. A key frame that holds a
// maximum iteration makes it the one that key frames without it use.
void takeKeyFrameHeader(const KeyFrame& keyFrame, ColorState& color);

}  // namespace zr
