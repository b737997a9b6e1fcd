#include "movie/color_range.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keyframes/key_frame.h"
#include "movie/recording_host.h"
#include "movie/run_state.h"

namespace zr {
namespace {

using testing::RecordingHost;

// A key frame of width x height whose counts, read column by column, are `columnMajor`.
KeyFrame keyFrameOf(int width, int height, const std::vector<std::int32_t>& columnMajor) {
    KeyFrame keyFrame;
    keyFrame.width = width;
    keyFrame.height = height;
    keyFrame.counts.resize(columnMajor.size());
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            keyFrame.counts[static_cast<std::size_t>(y) * width + x] =
                columnMajor[static_cast<std::size_t>(x) * height + y];
        }
    }
    return keyFrame;
}

struct ColorRangeTest : ::testing::Test {
    MovieSpec spec;
    RunState run;
    TimelineState& state = run.timeline;
    RecordingHost host;
    // Applies the colour range of `keyFrame` to the run.
    void apply(const KeyFrame& keyFrame) { applyColorRange(keyFrame, spec, run, &host); }
};

TEST_F(ColorRangeTest, StretchedMethodTakesItsRangeFromTheFirstKeyFrame) {
    // Counts in scan order (column by column): the maximum before its last increase is 5000.
    spec.coloring.colorMethod = kStretched;
    apply(keyFrameOf(2, 2, {100, 5000, 10000, 7000}));
    EXPECT_EQ(state.keyMin, 100);
    EXPECT_EQ(state.keyMax, 5000);
    EXPECT_EQ(run.color.stretchMin, 100.0);
    EXPECT_EQ(run.color.stretchMax, 5000.0);
    // A later key frame sets the targets only; a smaller maximum is raised to the range's.
    apply(keyFrameOf(2, 1, {300, 900}));
    EXPECT_EQ(state.keyMin, 300);
    EXPECT_EQ(state.keyMax, 5000);
    EXPECT_EQ(run.color.stretchMin, 100.0);
    EXPECT_TRUE(host.values.empty());
    EXPECT_EQ(scanCounts(keyFrameOf(3, 1, {42, 42, 42}))->largestBeforeLast, 42);

    // Tables that do not match the key frame's size are not read.
    KeyFrame damaged = keyFrameOf(2, 2, {1, 2, 3, 4});
    damaged.counts.pop_back();
    EXPECT_FALSE(scanCounts(damaged).has_value());
    EXPECT_FALSE(scanCounts(KeyFrame{}).has_value());
}

TEST_F(ColorRangeTest, SlopesStartFromTheSmallestCount) {
    spec.coloring.slopes = true;
    spec.coloring.slopePower = 50.0;
    spec.zoom.zoomFactor = 2.0;
    apply(keyFrameOf(2, 2, {300, 800, 400, 900}));
    EXPECT_EQ(state.keyMin, 300);
    EXPECT_EQ(state.keyMax, 900);
    EXPECT_EQ(run.color.stretchMin, 300.0);
    EXPECT_EQ(run.color.stretchMax, 900.0);
    EXPECT_EQ(state.slopeScale, 300 * 50.0);
    EXPECT_EQ(state.slopeScaleTarget, 300 * 50.0 / 2.0);
    EXPECT_EQ(host.values["Colors"], "300-300-300");
    EXPECT_EQ(host.values["Iteration"], "300");

    // The next key frame's counts start far above the range start: 1.5 times the start.
    apply(keyFrameOf(1, 2, {1000, 1200}));
    EXPECT_EQ(state.keyMin, 450);
    EXPECT_EQ(state.slopeScale, 300 * 50.0);
    EXPECT_EQ(run.color.stretchMin, 450.0);
    EXPECT_EQ(host.values["Colors"], "1000-450-300");
    // Counts a little above it: unchanged. Below it: the start.
    apply(keyFrameOf(1, 2, {500, 1200}));
    EXPECT_EQ(state.keyMin, 500);
    apply(keyFrameOf(1, 2, {100, 1200}));
    EXPECT_EQ(state.keyMin, 500);
    EXPECT_EQ(state.slopeScale, 500 * 50.0);
}

TEST_F(ColorRangeTest, SmallRangeStartsAndLeftScrolling) {
    spec.coloring.slopes = true;
    run.color.stretchMin = 1.0;  // "Start iter value" 1
    apply(keyFrameOf(1, 2, {40, 60}));
    EXPECT_EQ(state.keyMin, 2);
    EXPECT_EQ(state.slopeScale, 1 * spec.coloring.slopePower);

    spec.zoom.leftScrolling = true;
    run.color.stretchMin = 70.0;
    apply(keyFrameOf(1, 2, {40, 60}));
    EXPECT_EQ(state.keyMin, 70);
    EXPECT_EQ(host.values["Colors"], "70-70-70");

    // The Distance method starts every key frame's scale at 1 and moves it towards 1/Z.
    spec.coloring.colorMethod = kDistance;
    spec.zoom.zoomFactor = 4.0;
    apply(keyFrameOf(1, 1, {7}));
    EXPECT_EQ(state.slopeScale, 1.0);
    EXPECT_EQ(state.slopeScaleTarget, 0.25);
}

}  // namespace
}  // namespace zr
