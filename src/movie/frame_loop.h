#pragma once

#include <optional>
#include <string>
#include <vector>

#include "movie/run_state.h"
#include "movie/timeline.h"
#include "settings/movie_spec.h"

namespace zr {

class RenderHost;
class RenderSession;

// A movie and the key frames it is made of: the folder's key frame files (or its pictures),
// sorted as the run takes them; the index in the list is the key frame's number.
struct MovieRun {
    MovieSpec spec;
    std::vector<std::string> keyFrames;

    int keyFrameCount() const { return static_cast<int>(keyFrames.size()); }
};

// The key frames of the movie's folder in the order a run takes them: widest first, or by name
// with left scrolling. Empty when the folder holds no key frame file and no picture.
std::vector<std::string> listRunKeyFrames(const MovieSpec& spec);

// What Start puts into the colours before the first frame: the start cycle and rotation of the
// movie, and the colour division 1. Test after a Start (and preview) colours with these, so the
// slopes' light turns by the start rotation as the run's first frame does.
void takeStartColors(const MovieSpec& spec, ColorState& color);

// What a run does at the points of the frame loop where pictures are made or shown. Every call
// gets the state as it stands at that point.
class RunHooks {
  public:
    virtual ~RunHooks() = default;
    // Key frame state.counters.keyFrame starts, before its first composition.
    virtual void keyFrameStarting(const RunState&) {}
    // A composition of the key frame is due now (with pictures only); state.composition holds
    // what it is made with.
    virtual void compose(const RunState&) {}
    // The key frame's speeds, frame count and targets are set, before its first frame.
    virtual void keyFrameBegun(const RunState&) {}
    // The frame is to be drawn and put out (with pictures only): the view of the composed
    // picture, or with left scrolling the column it is copied from. The rotation has not moved
    // on yet.
    virtual void outputFrame(const RunState&, const FrameView&, std::optional<double>) {}
    // The frame is made: the counters have moved on (a new movie file begins when
    // counters.frameInMovie is 0 again).
    virtual void frameDone(const RunState&) {}
};

// How much of a run the loop works out.
enum class LoopDepth {
    kFrames,  // the timeline alone (frame counts, for a plan): no key frame or picture is read
    kState,   // the whole state: key frame maps are read where the colour range needs them, and
              // texture pictures where whether they load decides the texture
};

// The one loop of a run, shared by the render job, the plan and seeking: it walks the key frames
// from "Start frame" to the last and makes their movie frames one at a time, advancing a
// RunState. Whether pictures are made changes nothing in the state, so a state brought forward
// without pictures equals the state of a run that made them:
//
//   FrameLoop loop(run, session);
//   RunState state;
//   loop.start(state, session.colours);
//   loop.seek(state, 1500);              // the state a full run has after 1500 frames
//   while (loop.step(state, true)) ...   // frame 1500 on, with pictures (the hooks make them)
class FrameLoop {
  public:
    struct Options {
        LoopDepth depth = LoopDepth::kState;
        RunHooks* hooks = nullptr;
        RenderHost* host = nullptr;  // the value notices (colours, iteration); none: not shown
        StopCheck stop;              // asked where a run may stop; none: never
    };

    FrameLoop(const MovieRun& run, RenderSession& session);
    FrameLoop(const MovieRun& run, RenderSession& session, Options options);

    // The state before the first frame: going on from the colours `from` (what the last run or
    // Test left), with the movie's start values, the first readable key frame's colours and the
    // speeds of the first key frame. False when the time stamps go back (the movie description
    // refuses that already).
    bool start(RunState& state, const ColorState& from);

    // Makes the next movie frame (with pictures when `pictures`, through the hooks) and returns
    // true; false, with the state ended, when the run has ended instead (after the last key
    // frame, or at a stop).
    bool step(RunState& state, bool pictures);

    // Brings the state forward without pictures until `frame` movie frames of the run have been
    // made: the state a run that made them has then. False when the run ends first.
    bool seek(RunState& state, long long frame);

  private:
    void startKeyFrame(RunState& state, bool pictures);
    void compose(RunState& state, bool pictures);
    void endKeyFrame(RunState& state);
    bool stopRequested() const;

    const MovieRun& run_;
    RenderSession& session_;
    Options options_;
};

// The frames a run makes from `state` on (its counters included), worked out without pictures.
long long framesOfRun(const MovieRun& run, RenderSession& session, RunState state);

}  // namespace zr
