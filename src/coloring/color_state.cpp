#include "coloring/color_state.h"

#include "keyframes/key_frame.h"

namespace zr {

void takeKeyFrameHeader(const KeyFrame& keyFrame, ColorState& color) {
    if (color.colorsFromKeyFrame) {
        if (color.divisionFromKeyFrame) {
            color.colorDivision = static_cast<double>(keyFrame.iterationDivision);
        }
        const int count = static_cast<int>(keyFrame.keyColors.size());
        for (int i = 0; i < count && i < kPaletteSize; ++i) {
            color.keyColors[static_cast<std::size_t>(i)] = keyFrame.keyColors[i];
        }
        color.keyColorCount = count;
        color.colorsFromKeyFrame = false;
    }
    if (keyFrame.maxIteration) {
        color.maxIteration = *keyFrame.maxIteration;
    }
}

}  // namespace zr
