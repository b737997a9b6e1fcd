#include "movie/plan.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <unordered_map>

#include "movie/frame_loop.h"
#include "movie/movie_length.h"
#include "movie/render_session.h"
#include "movie/time_stamps.h"
#include "output/movie_files.h"

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
    const bool started = loop.start(state, ColorState{});
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
    const std::string firstFile = spec.output.firstMovieFile();
    for (long long index = 0; index < listed; ++index) {
        const long long first = index * perFile;
        const std::string path = splitMovieFileName(firstFile, static_cast<int>(index));
        plan.movieFiles.push_back({std::filesystem::path(path).filename().string(), first,
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

namespace {

// Seconds as "hh:mm:ss.mmm" (whole milliseconds, rounded to the nearest), with a "-" before
// negative times.
std::string clockTime(double seconds) {
    const long long totalMs = std::llround(std::abs(seconds) * 1000.0);
    const long long whole = totalMs / 1000;
    char text[64];
    std::snprintf(text, sizeof text, "%s%02lld:%02lld:%02lld.%03lld",
                  seconds < 0.0 && totalMs > 0 ? "-" : "", whole / 3600, (whole / 60) % 60,
                  whole % 60, totalMs % 1000);
    return text;
}

// A difference in seconds with its sign and milliseconds: "+0.033", "-1.500".
std::string signedSeconds(double seconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%+.3f", seconds);
    return text;
}

}  // namespace

std::string formatSoundtrackSync(const MoviePlan& plan, const MovieSpec& spec,
                                 double soundtrackSeconds) {
    const double fps = plan.fps > 0 ? plan.fps : 1.0;
    const double movieSeconds = static_cast<double>(plan.totalFrames) / fps;
    const double from = spec.output.movieFile.soundtrackOffset;
    const double to = from + soundtrackSeconds;
    std::string text = "# soundtrack\t" + clockTime(soundtrackSeconds) + '\t' +
                       spec.output.soundtrackFile() + '\n';
    text += "# soundtrack plays\t" + clockTime(from) + "\tto\t" + clockTime(to) + '\t';
    // Within a millisecond the two end together.
    const double after = to - movieSeconds;
    if (to <= 0.0) {
        text += "ends before the movie begins: the movie is silent\n";
    } else if (from >= movieSeconds) {
        text += "begins after the movie ends: the movie is silent\n";
    } else if (after > 0.0005) {
        text += "ends " + signedSeconds(after).substr(1) +
                " s after the movie: cut at the movie's end with a fade-out\n";
    } else if (after < -0.0005) {
        text +=
            "ends " + signedSeconds(-after).substr(1) + " s before the movie: silence after it\n";
    } else {
        text += "ends with the movie\n";
    }

    if (spec.timeline.timeType == kTimeTypeSpeed) {
        return text;
    }
    std::unordered_map<int, long long> beginnings;
    for (const PlannedKeyFrame& keyFrame : plan.keyFrames) {
        beginnings.try_emplace(keyFrame.keyFrame, keyFrame.firstFrame);
    }
    for (const SpeedTrack::Row* row : timeStampOrder(spec.timeline.speedSpecs)) {
        const double stamp = static_cast<double>(row->value.stampSeconds);
        text += "# stamp\t" + std::to_string(row->value.stampKeyFrame) + '\t' + clockTime(stamp);
        const auto begins = beginnings.find(row->value.stampKeyFrame);
        if (begins == beginnings.end()) {
            text += "\tnot in the movie\n";
            continue;
        }
        const double seconds = static_cast<double>(begins->second) / fps;
        text += "\tbegins\t" + clockTime(seconds) + '\t' + signedSeconds(seconds - stamp) + " s\n";
    }
    return text;
}

}  // namespace zr
