#pragma once

namespace zr {

// Rebuilds the 1024 colours of movieSettings().palette from key colours 0 .. count-1 of
// movieSettings().keyColors. Key colour g sits at palette index g * 1024 / count; between two
// key colours the blend follows a half sine, and the last key colour blends back into the
// first. A count below 1 is taken as 1 and one above 1024 as 1024.
// Callers hold the cache lock or make sure no colouring runs.
void expandPalette(int count);

}  // namespace zr
