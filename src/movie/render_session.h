#pragma once

#include <atomic>

#include "coloring/color_state.h"
#include "coloring/texture.h"
#include "keyframes/key_frame_cache.h"
#include "support/thread_pool.h"

namespace zr {

// What the runs and Tests of one window (or one command) share: the key frame cache, the
// texture pictures, the colours and texture the last run or Test left, and the flags a run is
// steered by while it runs. The desktop program keeps one session for its dialog, so a Test after
// a run finds the key frames the run read and goes on from its colours; two sessions render two
// movies in one process without touching each other.
class RenderSession {
  public:
    // `threads`: the threads its runs may keep busy, by default the caller's thread alone;
    // `encoderThreads`: what FFmpeg's encoders are told (0: each counts the processors itself).
    explicit RenderSession(ThreadShare threads = {}, int encoderThreads = 0)
        : threads_(threads), encoderThreads_(encoderThreads) {}

    const ThreadShare& threads() const { return threads_; }
    int encoderThreads() const { return encoderThreads_; }
    KeyFrameCache& keyFrames() { return keyFrames_; }
    TextureStore& textures() { return textures_; }

    // The colours and the texture that the next run or Test starts from. Written by the run
    // when it ends and by Test, never while a run is under way.
    ColorState colors;
    TexturePosition texture;

    // A run is under way (set by whoever starts it, cleared when it has ended).
    std::atomic<bool> running{false};
    // Asked of the run under way: it finishes the frame and the movie file and ends.
    void requestStop() { stop_.store(true); }
    bool stopRequested() const { return stop_.load(); }
    void clearStop() { stop_.store(false); }

    // "Dump images": every frame is also saved as a JPEG picture. A run starts with the movie's
    // setting; the dialog may change it while the run goes on.
    std::atomic<bool> dumpImages{false};

  private:
    KeyFrameCache keyFrames_;
    TextureStore textures_;
    std::atomic<bool> stop_{false};
    ThreadShare threads_;
    int encoderThreads_ = 0;
};

}  // namespace zr
