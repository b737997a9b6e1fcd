#include "movie/frame_seeker.h"

#include <iterator>
#include <utility>

#include "movie/render_host.h"
#include "movie/render_session.h"

namespace zr {

namespace {

// Notes where each key frame begins while the run is walked without pictures.
class KeyFrameStarts : public RunHooks {
  public:
    void keyFrameBegun(const RunState& state) override {
        starts.push_back(state.counters.framesCounted);
    }
    std::vector<long long> starts;
};

// Draws the one frame that is asked for.
class DrawFrame : public RunHooks {
  public:
    explicit DrawFrame(FrameRenderer& renderer) : renderer_(renderer) {}
    void compose(const RunState& state) override { renderer_.compose(state); }
    void outputFrame(const RunState& state, const FrameView& view,
                     std::optional<double> column) override {
        frame = renderer_.drawFrame(state, view, column);
    }
    std::optional<FrameRenderer::Frame> frame;

  private:
    FrameRenderer& renderer_;
};

}  // namespace

namespace {

FrameLoop::Options seekingOptions(RenderHost* host) {
    FrameLoop::Options options;
    options.host = host;
    return options;
}

}  // namespace

FrameSeeker::FrameSeeker(MovieRun run, RenderSession& session, RenderHost* host)
    : run_(std::move(run)),
      session_(session),
      host_(host),
      seeking_(run_, session_, seekingOptions(host)),
      renderer_(run_, session_, host) {}

FrameSeeker::~FrameSeeker() = default;

bool FrameSeeker::start() {
    started_ = false;
    walked_ = false;
    keyFrameStates_.clear();
    keyFrameStarts_.clear();
    frameCount_ = 0;
    if (run_.keyFrames.empty() || !seeking_.start(state_, session_.colors)) {
        return false;
    }
    renderer_.startRun(state_);

    KeyFrameStarts starts;
    FrameLoop::Options options;
    options.depth = LoopDepth::kFrames;
    options.hooks = &starts;
    FrameLoop counting(run_, session_, options);
    RunState walked = state_;
    while (counting.step(walked, false)) {
    }
    frameCount_ = walked.counters.framesCounted;
    keyFrameStarts_ = std::move(starts.starts);
    keyFrameStates_.emplace(0, state_);
    started_ = true;
    return true;
}

bool FrameSeeker::bringTo(long long frame, const Cancel& cancel) {
    const long long at = state_.counters.framesCounted;
    // The nearest key frame start at or before the frame; the current state when it is nearer.
    auto nearest = keyFrameStates_.upper_bound(frame);
    if (nearest != keyFrameStates_.begin()) {
        --nearest;
        if (at > frame || nearest->first > at) {
            state_ = nearest->second;
        }
    }
    while (state_.counters.framesCounted < frame ||
           state_.phase == RunState::Phase::kKeyFrameStart) {
        if (state_.phase == RunState::Phase::kKeyFrameStart) {
            keepKeyFrameStart(state_);
            if (state_.counters.framesCounted == frame) {
                return true;
            }
        }
        if (cancel && cancel()) {
            return false;
        }
        if (!seeking_.step(state_, false)) {
            return false;
        }
    }
    return state_.counters.framesCounted == frame;
}

void FrameSeeker::keepKeyFrameStart(const RunState& state) {
    // Kept before the key frame starts, so a later jump can begin here. A key frame that makes
    // no frame shares its first frame with the next one: the later start is kept.
    if (!walked_) {
        keyFrameStates_.insert_or_assign(state.counters.framesCounted, state);
    }
}

bool FrameSeeker::walkKeyFrames(const Cancel& cancel) {
    if (!started_ || walked_) {
        return walked_;
    }
    RunState state = std::prev(keyFrameStates_.end())->second;
    for (;;) {
        if (state.phase == RunState::Phase::kKeyFrameStart) {
            keepKeyFrameStart(state);
        }
        if (cancel && cancel()) {
            return false;
        }
        if (!seeking_.step(state, false)) {
            break;
        }
    }
    walked_ = true;
    return true;
}

std::optional<FrameRenderer::Frame> FrameSeeker::frame(long long frame, const Cancel& cancel) {
    if (!started_ || frame < 0 || frame >= frameCount_ || run_.spec.output.skipRender) {
        return std::nullopt;
    }
    if (!bringTo(frame, cancel)) {
        return std::nullopt;
    }
    DrawFrame draw(renderer_);
    FrameLoop::Options options = seekingOptions(host_);
    options.hooks = &draw;
    FrameLoop making(run_, session_, options);
    if (!making.step(state_, true)) {
        return std::nullopt;
    }
    return draw.frame;
}

}  // namespace zr
