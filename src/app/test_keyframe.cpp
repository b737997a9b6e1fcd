#include "app/test_keyframe.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "app/folder_choice.h"
#include "keyframes/key_frame_cache.h"
#include "keyframes/render_key_frame.h"
#include "settings/movie_settings.h"
#include "settings/start_conversion.h"
#include "support/text_table.h"

namespace zr {

namespace {

constexpr std::string_view kBusy = "Test is not available while a movie is being made";

// The key frames of the folder as the run numbers them: paths descending, letter case ignored.
TextTable sortedKeyFrames(const std::string& folder) {
    TextTable keyFrames;
    for (const std::string& path : listMatchingFiles(folder, "*.zmb")) {
        keyFrames.appendCell(keyFrames.addRow() - 1, path);
    }
    keyFrames.sort(0, true, false);
    return keyFrames;
}

// The lowest count of the key frame, less 10 and not below 0; none for an empty key frame.
std::optional<int> lowestCountLess10(const KeyFrame& keyFrame) {
    if (keyFrame.counts.empty())
        return std::nullopt;
    const std::int64_t lowest = *std::min_element(keyFrame.counts.begin(), keyFrame.counts.end());
    return static_cast<int>(std::max<std::int64_t>(lowest - 10, 0));
}

void computeSlopeScale(const std::string& path, TestSlopeValues& slope, RenderHost* host) {
    const MovieSettings& s = movieSettings();
    KeyFrameCache& cache = keyFrameCache();
    KeyFrame* keyFrame = cache.find(path);
    if (keyFrame == nullptr) {
        renderKeyFrame(path, 0.0, 0.0, 1.0, host);
        keyFrame = cache.find(path);
    }
    if (keyFrame != nullptr) {
        if (const std::optional<int> keyMin = lowestCountLess10(*keyFrame))
            slope.keyMin = *keyMin;
    }
    slope.slopeScale = (slope.keyMin == 0 ? 1 : slope.keyMin) * s.slopePower;
    if (s.colorMethod == kDistance)
        slope.slopeScale = s.zoomFactor;
}

}  // namespace

TestKeyFrameResult testKeyFrame(Controls& controls, TestSlopeValues& slope, RenderHost* host) {
    MovieSettings& s = movieSettings();
    TestKeyFrameResult result;
    if (s.running.load() != 0) {
        result.message = std::string(kBusy);
        return result;
    }

    s.startCycle = controlDouble(controls, kIdStartCycle);
    keyFrameCache().clearInUse();
    const TextTable keyFrames = sortedKeyFrames(controls.text(kIdDirectory));
    s.mergeCount = selectionOr(controls, kIdMergeCount, 4) + 1;
    s.waveColoring = controls.checked(kIdWaveColoring) ? 1 : 0;
    convertHsbWaves(s, controls.lines(kIdWaveList));
    const int keyFrame = controlInt(controls, kIdStartFrame);
    s.slopes = controls.checked(kIdSlopes) ? 1 : 0;
    s.slopePower = s.colorMethod == kDistance ? 1.0 : controlDouble(controls, kIdSlopePower);
    s.slopeRatio = controlDouble(controls, kIdSlopeRatio);

    if (keyFrame < 0 || keyFrame >= keyFrames.rowCount()) {
        result.message = std::string(kNoKeyFrameToTest);
        return result;
    }
    result.keyFrame = keyFrame;
    result.path = std::string(keyFrames.cell(keyFrame, 0));
    if (s.slopes == 1)
        computeSlopeScale(result.path, slope, host);

    result.image = renderKeyFrame(result.path, s.startCycle, slope.slopeScale, 1.0, host);
    if (!result.image) {
        result.message = "Key frame " + std::to_string(keyFrame) + " (" + result.path +
                         ") gave no picture: the file is unreadable or \"Skip render\" is on";
    }
    return result;
}

}  // namespace zr
