#pragma once

#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "movie/frame_loop.h"
#include "movie/frame_renderer.h"
#include "movie/run_state.h"

namespace zr {

class RenderHost;
class RenderSession;

// Any frame of a movie, in any order, exactly as a run makes it: the run is brought forward
// without pictures from the nearest point already passed (the start of a key frame it went
// through, or the frame it made last) and only the frame asked for is drawn. Going on to the next
// frame costs one step of the run; within a key frame whose colours do not change, the composed
// picture is reused. One thread at a time; the seeker keeps everything it changes in its own
// state and in `session`, which no run may share while the seeker works.
class FrameSeeker {
  public:
    // `host` hears of key frame files that cannot be opened (none: nobody does).
    FrameSeeker(MovieRun run, RenderSession& session, RenderHost* host = nullptr);
    ~FrameSeeker();
    FrameSeeker(const FrameSeeker&) = delete;
    FrameSeeker& operator=(const FrameSeeker&) = delete;

    // The start of the run, from the colours the session holds. False when the time stamps go
    // back (the movie description refuses that already) or the movie has no key frame.
    bool start();

    const MovieRun& run() const { return run_; }
    // The frames of the whole run (known after start()).
    long long frameCount() const { return frameCount_; }
    // Where each key frame of the run begins, in movie frames (known after start()).
    const std::vector<long long>& keyFrameStarts() const { return keyFrameStarts_; }

    // Asked between steps of the run: true to give up the frame under way (the seeker stays
    // usable, and a later call goes on from where it stopped).
    using Cancel = std::function<bool()>;

    // Frame `frame` (0 is the first of the run): what the preview shows and what the movie file
    // gets, valid until the next call. None when the movie has no such frame, with "Skip
    // render", and when `cancel` gave the frame up.
    std::optional<FrameRenderer::Frame> frame(long long frame, const Cancel& cancel = {});

    // Walks the rest of the run without pictures and keeps the state at the start of every key
    // frame, so that a later jump anywhere costs at most one key frame of steps. True once the
    // whole run is walked; false when `cancel` stopped it (the next call goes on from there).
    bool walkKeyFrames(const Cancel& cancel = {});

  private:
    // Brings `state_` to the start of `frame` from the nearest point passed; false when the run
    // ends first or `cancel` asked to stop.
    bool bringTo(long long frame, const Cancel& cancel);
    void keepKeyFrameStart(const RunState& state);

    MovieRun run_;
    RenderSession& session_;
    RenderHost* host_;
    FrameLoop seeking_;
    FrameRenderer renderer_;
    bool started_ = false;
    long long frameCount_ = 0;
    std::vector<long long> keyFrameStarts_;
    RunState state_;  // the state before frame state_.counters.framesCounted
    // The states at the start of each key frame the seeker went through, by movie frame.
    std::map<long long, RunState> keyFrameStates_;
    bool walked_ = false;  // every key frame start is kept
};

}  // namespace zr
