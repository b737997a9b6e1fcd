#include "coloring/palette.h"

#include <algorithm>
#include <cmath>

#include "coloring/color_math.h"

namespace zr {

Palette expandPalette(const KeyColors& keys, int count) {
    count = std::clamp(count, 1, kPaletteSize);
    Palette palette{};
    for (int d = 0; d < kPaletteSize; ++d) {
        const double e = static_cast<double>(d * count) / kPaletteSize;
        const int g = static_cast<int>(e);
        const int g1 = (g + 1) % count;
        const double t = 0.5 + 0.5 * std::sin((e - g - 0.5) * kColoringPi);
        const double u = 1 - t;
        Bgr& entry = palette[d];
        entry.blue = toByte(keys[g].blue * u + keys[g1].blue * t);
        entry.green = toByte(keys[g].green * u + keys[g1].green * t);
        entry.red = toByte(keys[g].red * u + keys[g1].red * t);
    }
    return palette;
}

}  // namespace zr
