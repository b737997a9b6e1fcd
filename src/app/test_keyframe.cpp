#include "app/test_keyframe.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "coloring/render_key_frame.h"
#include "keyframes/key_frame_cache.h"
#include "keyframes/key_frame_folder.h"
#include "movie/render_session.h"
#include "settings/movie_spec.h"
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
const KeyFrame* testedKeyFrame(const MovieSpec& spec, KeyFrameCache& cache, const std::string& path,
                               UnreadableKeyFrameListener* listener) {
    if (spec.output.skipRender)
        return nullptr;
    const KeyFrame* keyFrame = cache.find(path);
    return keyFrame != nullptr ? keyFrame : cache.load(path, listener);
}

void computeSlopeScale(const MovieSpec& spec, const KeyFrame* keyFrame, TestSlopeValues& slope) {
    if (keyFrame != nullptr) {
        if (const std::optional<int> keyMin = lowestCountLess10(*keyFrame))
            slope.keyMin = *keyMin;
    }
    slope.slopeScale = (slope.keyMin == 0 ? 1 : slope.keyMin) * spec.coloring.slopePower;
    if (spec.coloring.colorMethod == kDistance)
        slope.slopeScale = spec.zoom.zoomFactor;
}

}  // namespace

TestKeyFrameResult testKeyFrame(Controls& controls, MovieSpec& spec, TestSlopeValues& slope,
                                RenderSession& session, UnreadableKeyFrameListener* listener) {
    TestKeyFrameResult result;
    if (session.running.load()) {
        result.failure = TestFailure::kBusy;
        result.message = std::string(kBusy);
        return result;
    }

    ColorState& color = session.colors;
    color.startCycle = controlDouble(controls, kIdStartCycle);
    KeyFrameCache& cache = session.keyFrames();
    cache.clearInUse();
    cache.forgetUnreadable();
    const std::vector<std::string> keyFrames = sortedKeyFrames(controls.text(kIdDirectory));
    ColoringSpec& coloring = spec.coloring;
    spec.zoom.mergeCount = selectionOr(controls, kIdMergeCount, kDefaultMergeEntry) + 1;
    coloring.waveColoring = controls.checked(kIdWaveColoring);
    convertHsbWaves(coloring.hsbWaves, controls.lines(kIdWaveList));
    const int keyFrame = controlInt(controls, kIdStartFrame);
    coloring.slopes = controls.checked(kIdSlopes);
    coloring.slopePower =
        coloring.colorMethod == kDistance ? 1.0 : controlDouble(controls, kIdSlopePower);
    coloring.slopeRatio = controlDouble(controls, kIdSlopeRatio);
    // The choosers' values count at once, as they did before a Start.
    coloring.insideColor = controls.insideColor();
    spec.texture.textureFile = controls.text(kIdTextureFile);

    if (keyFrame < 0 || keyFrame >= static_cast<int>(keyFrames.size())) {
        result.failure = TestFailure::kNoKeyFrame;
        result.message = std::string(kNoKeyFrameToTest);
        return result;
    }
    result.keyFrame = keyFrame;
    result.path = keyFrames[static_cast<std::size_t>(keyFrame)];
    // Until a run has taken its colours from a key frame, the first one tested gives them.
    const KeyFrame* tested = testedKeyFrame(spec, cache, result.path, listener);
    if (tested != nullptr)
        takeKeyFrameHeader(*tested, color);
    if (coloring.slopes)
        computeSlopeScale(spec, tested, slope);

    if (tested != nullptr) {
        TexturePosition& texture = session.texture;
        if (spec.texture.texture && !texture.held) {
            texture.file = spec.texture.textureFile;
            prepareTexture(spec.texture, spec.output.fps, !spec.timeline.rotateSpecs.empty(),
                           texture, session.textures(), tested->width, tested->height,
                           color.startRotation);
        }
        const ColoringPlan plan =
            makeColoringPlan(coloring, spec.texture, color,
                             heldTexture(texture, session.textures()), slope.slopeScale, 1.0);
        result.image = renderKeyFrame(cache, result.path, plan, listener);
    }
    if (!result.image) {
        result.failure = TestFailure::kNoPicture;
        result.message = "Key frame " + std::to_string(keyFrame) + " (" + result.path +
                         ") gave no picture: the file is unreadable or \"Skip render\" is on";
    }
    return result;
}

}  // namespace zr
