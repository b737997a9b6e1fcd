#include "movie/colour_range.h"

#include <cstdint>
#include <string>

#include "keyframes/key_frame.h"
#include "keyframes/key_frame_cache.h"
#include "movie/render_session.h"
#include "movie/timeline.h"
#include "settings/controls.h"
#include "settings/movie_settings.h"
#include "settings/render_host.h"

namespace zr {

namespace {

constexpr double kNotSetMin = -1.0;
constexpr double kNotSetMax = 1.0;

}  // namespace

std::optional<CountRange> scanCounts(const KeyFrame& keyFrame) {
    if (keyFrame.width <= 0 || keyFrame.height <= 0)
        return std::nullopt;
    const std::size_t width = static_cast<std::size_t>(keyFrame.width);
    const std::size_t height = static_cast<std::size_t>(keyFrame.height);
    if (keyFrame.counts.size() / width < height)
        return std::nullopt;

    CountRange range;
    range.smallest = range.largest = range.largestBeforeLast = keyFrame.counts[0];
    for (std::size_t x = 0; x < width; ++x) {
        for (std::size_t y = 0; y < height; ++y) {
            const std::int32_t count = keyFrame.counts[y * width + x];
            if (count < range.smallest)
                range.smallest = count;
            if (count > range.largest) {
                range.largestBeforeLast = range.largest;
                range.largest = count;
            }
        }
    }
    return range;
}

bool colourRangeInUse(const MovieSettings& settings) {
    return settings.slopes != 0 || settings.colorMethod == kStretched ||
           settings.colorMethod == kDistance;
}

void applyColourRange(const KeyFrame& keyFrame, TimelineState& state, MovieSettings& settings,
                      RenderHost& host) {
    const auto range = scanCounts(keyFrame);
    if (!range)
        return;
    state.keyMin = range->smallest;
    state.keyMax = range->largest;

    if (settings.colorMethod == kStretched) {
        state.keyMax = range->largestBeforeLast;
        if (settings.stretchMax > state.keyMax)
            state.keyMax = truncToInt(settings.stretchMax);
        if (settings.stretchMin == kNotSetMin)
            settings.stretchMin = state.keyMin;
        if (settings.stretchMax == kNotSetMax)
            settings.stretchMax = state.keyMax;
        return;
    }

    double start = settings.stretchMin;  // s
    if (settings.leftScrolling != 0 && start != kNotSetMin)
        state.keyMin = truncToInt(start);
    const int smallest = state.keyMin;  // m0
    if (start == kNotSetMin) {
        start = state.keyMin;
        settings.stretchMin = start;
    }
    if (settings.stretchMax == kNotSetMax)
        settings.stretchMax = state.keyMax;

    // A key frame whose counts begin above the range start keeps a little of the lower range.
    const int m = state.keyMin;
    if (m > start) {
        if (start == 0.0) {
            state.keyMin = 1;
        } else if (start == 1.0) {
            state.keyMin = 2;
        } else if (start == 2.0) {
            state.keyMin = 3;
        } else if (2.0 * m / start > 3.0) {
            state.keyMin = truncToInt(1.5 * start);
        }
    } else if (m < start) {
        state.keyMin = truncToInt(start);
    }
    if (settings.leftScrolling != 0)
        state.keyMin = truncToInt(start);

    host.setValue(kIdColors, std::to_string(smallest) + "-" + std::to_string(state.keyMin) + "-" +
                                 std::to_string(truncToInt(start)));
    host.setValue(kIdCurrentIteration, std::to_string(truncToInt(settings.stretchMin)));

    double scaleBase = (start > state.keyMin || start == 0.0) ? state.keyMin : start;  // g
    if (scaleBase <= 0.0)
        scaleBase = 1.0;
    state.slopeScale = scaleBase * settings.slopePower;
    settings.stretchMin = state.keyMin;

    if (settings.colorMethod == kDistance) {
        state.slopeScale = 1.0;
        state.slopeScaleTarget = 1.0 / settings.zoomFactor;
    } else {
        state.slopeScaleTarget =
            (state.keyMin == 0 ? 1 : state.keyMin) * settings.slopePower / settings.zoomFactor;
    }
}

void updateColourRange(RenderSession& session, const std::string& keyFramePath,
                       TimelineState& state, MovieSettings& settings, RenderHost& host) {
    if (!colourRangeInUse(settings))
        return;
    KeyFrameCache& cache = session.keyFrames();
    const KeyFrame* keyFrame = cache.find(keyFramePath);
    if (keyFrame == nullptr && settings.skipRender == 0 && session.skipExistingMovie == 0) {
        keyFrame = cache.load(keyFramePath, &host);
    }
    if (keyFrame == nullptr || keyFrame->counts.empty())
        return;
    applyColourRange(*keyFrame, state, settings, host);
}

}  // namespace zr
