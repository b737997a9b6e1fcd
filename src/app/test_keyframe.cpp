#include "app/test_keyframe.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "coloring/render_key_frame.h"
#include "keyframes/key_frame_cache.h"
#include "keyframes/key_frame_folder.h"
#include "movie/render_session.h"
#include "settings/movie_settings.h"
#include "settings/start_conversion.h"
#include "support/folder_listing.h"

namespace zr {

namespace {

constexpr std::string_view kBusy = "Test is not available while a movie is being made";

// The key frame files of the folder as the run numbers them: paths descending, letter case
// ignored. Unlike a run, Test does not fall back to the folder's pictures.
std::vector<std::string> sortedKeyFrames(const std::string& folder) {
    std::vector<std::string> keyFrames = listMatchingFiles(folder, "*.zmb");
    sortPaths(keyFrames, SortOrder::kDescending);
    return keyFrames;
}

// The lowest count of the key frame, less 10 and not below 0; none for an empty key frame.
std::optional<int> lowestCountLess10(const KeyFrame& keyFrame) {
    if (keyFrame.counts.empty())
        return std::nullopt;
    const std::int64_t lowest = *std::min_element(keyFrame.counts.begin(), keyFrame.counts.end());
    return static_cast<int>(std::max<std::int64_t>(lowest - 10, 0));
}

// The tested key frame from the session's cache, read into it when it is not there; none with
// "Skip render", which reads nothing.
const KeyFrame* testedKeyFrame(KeyFrameCache& cache, const std::string& path, RenderHost* host) {
    if (movieSettings().skipRender != 0)
        return nullptr;
    const KeyFrame* keyFrame = cache.find(path);
    return keyFrame != nullptr ? keyFrame : cache.load(path, host);
}

void computeSlopeScale(const KeyFrame* keyFrame, TestSlopeValues& slope) {
    const MovieSettings& s = movieSettings();
    if (keyFrame != nullptr) {
        if (const std::optional<int> keyMin = lowestCountLess10(*keyFrame))
            slope.keyMin = *keyMin;
    }
    slope.slopeScale = (slope.keyMin == 0 ? 1 : slope.keyMin) * s.slopePower;
    if (s.colorMethod == kDistance)
        slope.slopeScale = s.zoomFactor;
}

}  // namespace

TestKeyFrameResult testKeyFrame(Controls& controls, TestSlopeValues& slope, RenderSession& session,
                                RenderHost* host) {
    MovieSettings& s = movieSettings();
    TestKeyFrameResult result;
    if (s.running.load() != 0) {
        result.message = std::string(kBusy);
        return result;
    }

    s.startCycle = controlDouble(controls, kIdStartCycle);
    KeyFrameCache& cache = session.keyFrames();
    cache.clearInUse();
    const std::vector<std::string> keyFrames = sortedKeyFrames(controls.text(kIdDirectory));
    s.mergeCount = selectionOr(controls, kIdMergeCount, 4) + 1;
    s.waveColoring = controls.checked(kIdWaveColoring) ? 1 : 0;
    convertHsbWaves(s.hsbWaves, controls.lines(kIdWaveList));
    const int keyFrame = controlInt(controls, kIdStartFrame);
    s.slopes = controls.checked(kIdSlopes) ? 1 : 0;
    s.slopePower = s.colorMethod == kDistance ? 1.0 : controlDouble(controls, kIdSlopePower);
    s.slopeRatio = controlDouble(controls, kIdSlopeRatio);

    if (keyFrame < 0 || keyFrame >= static_cast<int>(keyFrames.size())) {
        result.message = std::string(kNoKeyFrameToTest);
        return result;
    }
    result.keyFrame = keyFrame;
    result.path = keyFrames[static_cast<std::size_t>(keyFrame)];
    // Until a run has taken its colours from a key frame, the first one tested gives them.
    const KeyFrame* tested = testedKeyFrame(cache, result.path, host);
    if (tested != nullptr)
        takeKeyFrameHeader(*tested, s);
    if (s.slopes == 1)
        computeSlopeScale(tested, slope);

    if (tested != nullptr) {
        result.image =
            renderKeyFrame(cache, result.path, s.startCycle, slope.slopeScale, 1.0, host);
    }
    if (!result.image) {
        result.message = "Key frame " + std::to_string(keyFrame) + " (" + result.path +
                         ") gave no picture: the file is unreadable or \"Skip render\" is on";
    }
    return result;
}

}  // namespace zr
