#pragma once

#include <atomic>

#include "keyframes/key_frame_cache.h"

namespace zr {

// What runs and Test of one folder share: the key frame cache. The desktop program keeps one
// session for its dialog, so a Test after a run finds the key frames the run read; two sessions
// render two movies in one process without touching each other.
class RenderSession {
  public:
    KeyFrameCache& keyFrames() { return keyFrames_; }

    // Set by the render job while the movie file now due already exists: its frames are then
    // counted but neither composed nor written.
    std::atomic<int> skipExistingMovie{0};

  private:
    KeyFrameCache keyFrames_;
};

}  // namespace zr
