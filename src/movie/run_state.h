#pragma once

#include "coloring/color_state.h"
#include "coloring/texture.h"
#include "movie/timeline.h"

namespace zr {

// Where a run is: the movie file being written (M, "film.avi" is 0), the next frame within it
// (F), the movie frames made so far (T, frames of files that were skipped included) and the
// key frame shown.
struct RunCounters {
    int movieNumber = 0;
    int frameInMovie = 0;
    long long framesCounted = 0;
    int keyFrame = 0;
    bool operator==(const RunCounters&) const = default;
};

// What the last composition of the key frame was made with: a picture of it made later (after
// the run was brought forward without pictures) must be made with the same values.
struct CompositionInputs {
    bool made = false;  // a composition of the current key frame happened
    int keyFrame = 0;
    ColorState color;
    double slopeScale = 1.0;
    double textureScale = 1.0;
    TexturePosition texture;
    bool operator==(const CompositionInputs&) const = default;
};

// Every value a run advances, and nothing else: a plain value that can be copied, compared, and
// brought forward to any frame of the run without making its pictures (see FrameLoop). Two runs
// of the same movie that have made the same frames hold equal states.
struct RunState {
    enum class Phase {
        kKeyFrameStart,  // counters.keyFrame is about to start
        kInKeyFrame,     // between two frames of counters.keyFrame
        kEnded,          // the run has ended (after the last key frame or a stop)
    };
    Phase phase = Phase::kKeyFrameStart;
    RunCounters counters;
    ColorState color;
    TexturePosition texture;
    TimelineState timeline;
    KeyFrameTargets targets;
    KeyFrameZoom zoom{KeyFrameZoomSetup{}};
    CompositionInputs composition;

    bool operator==(const RunState&) const = default;
};

}  // namespace zr
