#include "movie/color_range.h"

#include <cstdint>
#include <string>

#include "keyframes/key_frame.h"
#include "movie/render_host.h"
#include "movie/run_state.h"

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

bool colorRangeInUse(const ColoringSpec& coloring) {
    return coloring.slopes || coloring.colorMethod == kStretched ||
           coloring.colorMethod == kDistance;
}

void applyColorRange(const KeyFrame& keyFrame, const MovieSpec& spec, RunState& run,
                      RenderHost* host) {
    const auto range = scanCounts(keyFrame);
    if (!range)
        return;
    TimelineState& state = run.timeline;
    ColorState& color = run.color;
    state.keyMin = range->smallest;
    state.keyMax = range->largest;

    if (spec.coloring.colorMethod == kStretched) {
        state.keyMax = range->largestBeforeLast;
        if (color.stretchMax > state.keyMax)
            state.keyMax = truncToInt(color.stretchMax);
        if (color.stretchMin == kNotSetMin)
            color.stretchMin = state.keyMin;
        if (color.stretchMax == kNotSetMax)
            color.stretchMax = state.keyMax;
        return;
    }

    const bool leftScrolling = spec.zoom.leftScrolling;
    double start = color.stretchMin;  // s
    if (leftScrolling && start != kNotSetMin)
        state.keyMin = truncToInt(start);
    const int smallest = state.keyMin;  // m0
    if (start == kNotSetMin) {
        start = state.keyMin;
        color.stretchMin = start;
    }
    if (color.stretchMax == kNotSetMax)
        color.stretchMax = state.keyMax;

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
    if (leftScrolling)
        state.keyMin = truncToInt(start);

    if (host != nullptr) {
        host->colorRangeTaken(
            {smallest, state.keyMin, truncToInt(start), truncToInt(color.stretchMin)});
    }

    const double slopePower = spec.coloring.slopePower;
    double scaleBase = (start > state.keyMin || start == 0.0) ? state.keyMin : start;  // g
    if (scaleBase <= 0.0)
        scaleBase = 1.0;
    state.slopeScale = scaleBase * slopePower;
    color.stretchMin = state.keyMin;

    if (spec.coloring.colorMethod == kDistance) {
        state.slopeScale = 1.0;
        state.slopeScaleTarget = 1.0 / spec.zoom.zoomFactor;
    } else {
        state.slopeScaleTarget =
            (state.keyMin == 0 ? 1 : state.keyMin) * slopePower / spec.zoom.zoomFactor;
    }
}

}  // namespace zr
