#include "movie/plan.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "movie/movie_length.h"
#include "movie/time_stamps.h"
#include "movie/timeline.h"
#include "settings/movie_settings.h"
#include "support/text_table.h"

namespace zr {

namespace {

// Movie frames of one key frame, in the order the render job's frame loop takes its steps.
int framesOfKeyFrame(KeyFrameZoom& zoom, bool leftScrolling) {
    int frames = 0;
    while (zoom.mayBeginFrame()) {
        if (!zoom.viewOfFrame())
            break;
        if (leftScrolling && !zoom.scrollColumn())
            break;
        ++frames;
        if (!zoom.mayContinueAfterFrame())
            break;
    }
    return frames;
}

}  // namespace

std::optional<MoviePlan> planMovie(const MovieSettings& settings, int keyFrameCount, int startFrame,
                                   int timeType, std::string* error,
                                   const StopCheck& stopRequested) {
    const bool timeStamps = timeType == kTimeTypeTime || timeType == kTimeTypeTimeNs;
    std::vector<int> keyFrameSpeeds;
    if (timeStamps) {
        auto speeds = buildKeyFrameSpeeds(settings.speedSpecs, timeType, settings.fps,
                                          settings.zoomFactor, keyFrameCount, stopRequested);
        if (!speeds) {
            if (error)
                *error = std::string(stopRequested && stopRequested() ? kPlanStopped
                                                                      : kTimeStampOrderError);
            return std::nullopt;
        }
        keyFrameSpeeds = std::move(*speeds);
    }
    const int firstRow = findSpecRow(settings.speedSpecs, 0);
    int speedInForce =
        firstRow >= 0 ? specInt(settings.speedSpecs.cell(firstRow, 1)) : kDefaultSpeed;

    MoviePlan plan;
    plan.fps = settings.fps;
    for (int k = std::max(startFrame, 0); k < keyFrameCount; ++k) {
        if (stopRequested && stopRequested()) {
            if (error)
                *error = std::string(kPlanStopped);
            return std::nullopt;
        }
        const KeyFrameSpeeds speeds = timeStamps
                                          ? timeSpeeds(keyFrameSpeeds, timeType, k)
                                          : speedListSpeeds(settings.speedSpecs, k, speedInForce);
        const KeyFrameZoomSetup setup =
            zoomSetupOf(settings, speeds.speedIn, speeds.speedOut, k == keyFrameCount - 1);
        KeyFrameZoom zoom(setup);
        const int frames = framesOfKeyFrame(zoom, setup.leftScrolling);
        plan.keyFrames.push_back({k, plan.totalFrames, frames});
        plan.totalFrames += frames;
    }

    // A new movie file begins once framesPerMovie frames went into the current one (every
    // frame when framesPerMovie is 0 or 1).
    const long long perFile = std::max(settings.framesPerMovie, 1);
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
