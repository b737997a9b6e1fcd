#pragma once

#include <array>

#include "support/bgr.h"

namespace zr {

// The 1024 colours that colour indices point into.
using Palette = std::array<Bgr, kPaletteSize>;
using KeyColors = std::array<Bgr, kPaletteSize>;

// The palette of key colours 0 .. count-1 of `keyColors`. Key colour g sits at palette index
// g * 1024 / count; between two key colours the blend follows a half sine, and the last key
// colour blends back into the first. A count below 1 is taken as 1 and one above 1024 as 1024.
Palette expandPalette(const KeyColors& keyColors, int count);

}  // namespace zr
