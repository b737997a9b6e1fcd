#include "movie/plan.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "movie/frame_loop.h"
#include "movie/movie_length.h"
#include "movie/render_session.h"
#include "movie/time_stamps.h"

namespace zr {

namespace {

// Notes where each key frame begins.
class KeyFrameStarts : public RunHooks {
  public:
    explicit KeyFrameStarts(MoviePlan& plan) : plan_(plan) {}
    void keyFrameStarting(const RunState& state) override {
        plan_.keyFrames.push_back({state.counters.keyFrame, state.counters.framesCounted, 0});
    }

  private:
    MoviePlan& plan_;
};

}  // namespace

std::optional<MoviePlan> planMovie(const MovieSpec& spec, int keyFrameCount, std::string* error,
                                   const StopCheck& stopRequested) {
    MovieRun run;
    run.spec = spec;
    run.keyFrames.resize(static_cast<std::size_t>(std::max(keyFrameCount, 0)));
    MoviePlan plan;
    plan.fps = spec.output.fps;
    KeyFrameStarts starts(plan);
    FrameLoop::Options options;
    options.depth = LoopDepth::kFrames;
    options.hooks = &starts;
    options.stop = stopRequested;
    RenderSession session;
    FrameLoop loop(run, session, options);
    RunState state;
    const bool started = loop.start(state, ColourState{});
    while (started && loop.step(state, false)) {
    }
    const bool stopped = stopRequested && stopRequested();
    if (!started || stopped) {
        if (error)
            *error = std::string(stopped ? kPlanStopped : kTimeStampOrderError);
        return std::nullopt;
    }
    plan.totalFrames = state.counters.framesCounted;
    for (std::size_t i = 0; i < plan.keyFrames.size(); ++i) {
        const long long end =
            i + 1 < plan.keyFrames.size() ? plan.keyFrames[i + 1].firstFrame : plan.totalFrames;
        plan.keyFrames[i].frames = static_cast<int>(end - plan.keyFrames[i].firstFrame);
    }

    // A new movie file begins once framesPerMovie frames went into the current one (every
    // frame when framesPerMovie is 0 or 1).
    const long long perFile = std::max(spec.output.framesPerMovie, 1);
    plan.movieFileCount = (plan.totalFrames + perFile - 1) / perFile;
    const long long listed = std::min(plan.movieFileCount, kMaxListedMovieFiles);
    plan.movieFiles.reserve(static_cast<std::size_t>(listed));
    for (long long index = 0; index < listed; ++index) {
        const long long first = index * perFile;
        plan.movieFiles.push_back({movieFileName(static_cast<int>(index)), first,
                                   std::min(perFile, plan.totalFrames - first)});
    }
    return plan;
}

std::string formatMoviePlan(const MoviePlan& plan) {
    std::string text = "keyframe\tfirst_frame\tframes\n";
    for (const PlannedKeyFrame& row : plan.keyFrames) {
        text += std::to_string(row.keyFrame) + '\t' + std::to_string(row.firstFrame) + '\t' +
                std::to_string(row.frames) + '\n';
    }
    text += "# total frames\t" + std::to_string(plan.totalFrames) + '\n';
    if (plan.fps > 0) {
        text += "# duration\t" + formatMovieTime(plan.totalFrames, plan.fps) + "\tat " +
                std::to_string(plan.fps) + " fps\n";
    } else {
        text += "# duration\tunknown\tat " + std::to_string(plan.fps) + " fps\n";
    }
    text += "# movie files\t" + std::to_string(plan.movieFileCount) + '\n';
    for (const PlannedMovieFile& file : plan.movieFiles) {
        text += "# " + file.name + '\t' + std::to_string(file.firstFrame) + '\t' +
                std::to_string(file.frames) + '\n';
    }
    const long long unlisted = plan.movieFileCount - static_cast<long long>(plan.movieFiles.size());
    if (unlisted > 0)
        text += "# more files\t" + std::to_string(unlisted) + '\n';
    return text;
}

}  // namespace zr
