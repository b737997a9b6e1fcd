#pragma once

#include <string>

#include "settings/controls.h"
#include "settings/movie_spec.h"

namespace zr {

// What Start does to the controls before it reads them: when "Custom..." is the zoom out level
// it asks for the zoom size (a confirmed text that reads as 0 counts as 2; cancelling keeps
// `zoomFactorInForce`, the zoom of the last movie); with "Multi" checked and pictures in the
// texture's folder, the texture file edit shows the first of them. True when the texture list
// was made anew, so the texture starts again with its first picture.
bool prepareStart(Controls& controls, double zoomFactorInForce);

// What Start's reading of the dialog gives: the movie, or the message to show and the control
// to give the focus. Nothing is started either way.
struct StartConversionResult {
    bool ok = true;
    MovieSpecErrorKind errorKind = MovieSpecErrorKind::kNone;
    std::string message;  // shown in a box titled "Error" when not ok
    int focusControl = 0;
    // The "Multi" texture list was rebuilt: the texture starts again with its first picture.
    bool texturePositionReset = false;
    MovieSpec spec;
};

// Start's reading of the controls: prepareStart, then buildMovieSpec. `previous` is the last
// movie built (its zoom stays when "Custom..." is cancelled, its waves while wave colouring is
// off).
StartConversionResult convertControlsForStart(Controls& controls,
                                              const MovieSpec& previous = MovieSpec{});

}  // namespace zr
