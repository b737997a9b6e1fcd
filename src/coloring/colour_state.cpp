#include "coloring/colour_state.h"

#include "keyframes/key_frame.h"

namespace zr {

void takeKeyFrameHeader(const KeyFrame& keyFrame, ColourState& colour) {
    if (colour.colorsFromKeyFrame) {
        if (colour.divisionFromKeyFrame) {
            colour.colorDivision = static_cast<double>(keyFrame.iterationDivision);
        }
        const int count = static_cast<int>(keyFrame.keyColors.size());
        for (int i = 0; i < count && i < kPaletteSize; ++i) {
            colour.keyColors[static_cast<std::size_t>(i)] = keyFrame.keyColors[i];
        }
        colour.keyColorCount = count;
        colour.colorsFromKeyFrame = false;
    }
    if (keyFrame.maxIteration) {
        colour.maxIteration = *keyFrame.maxIteration;
    }
}

}  // namespace zr
