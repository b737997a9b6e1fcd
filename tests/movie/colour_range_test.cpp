#include "movie/colour_range.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "keyframes/key_frame.h"
#include "keyframes/key_frame_cache.h"
#include "keyframes/key_frame_writer.h"
#include "movie/render_session.h"
#include "movie/timeline.h"
#include "settings/controls.h"
#include "settings/movie_settings.h"
#include "settings/render_host.h"

namespace zr {
namespace {

class RecordingHost : public NullRenderHost {
  public:
    void setValue(int id, std::string_view text) override { values[id] = std::string(text); }
    std::map<int, std::string> values;
};

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

struct ColourRangeTest : ::testing::Test {
    MovieSettings settings;
    TimelineState state;
    RecordingHost host;
};

TEST_F(ColourRangeTest, StretchedMethodTakesItsRangeFromTheFirstKeyFrame) {
    // Counts in scan order (column by column): the maximum before its last increase is 5000.
    settings.colorMethod = kStretched;
    applyColourRange(keyFrameOf(2, 2, {100, 5000, 10000, 7000}), state, settings, host);
    EXPECT_EQ(state.keyMin, 100);
    EXPECT_EQ(state.keyMax, 5000);
    EXPECT_EQ(settings.stretchMin, 100.0);
    EXPECT_EQ(settings.stretchMax, 5000.0);
    // A later key frame sets the targets only; a smaller maximum is raised to the range's.
    applyColourRange(keyFrameOf(2, 1, {300, 900}), state, settings, host);
    EXPECT_EQ(state.keyMin, 300);
    EXPECT_EQ(state.keyMax, 5000);
    EXPECT_EQ(settings.stretchMin, 100.0);
    EXPECT_TRUE(host.values.empty());
    EXPECT_EQ(scanCounts(keyFrameOf(3, 1, {42, 42, 42}))->largestBeforeLast, 42);

    // Tables that do not match the key frame's size are not read.
    KeyFrame damaged = keyFrameOf(2, 2, {1, 2, 3, 4});
    damaged.counts.pop_back();
    EXPECT_FALSE(scanCounts(damaged).has_value());
    EXPECT_FALSE(scanCounts(KeyFrame{}).has_value());
}

TEST_F(ColourRangeTest, SlopesStartFromTheSmallestCount) {
    settings.slopes = 1;
    settings.slopePower = 50.0;
    settings.zoomFactor = 2.0;
    applyColourRange(keyFrameOf(2, 2, {300, 800, 400, 900}), state, settings, host);
    EXPECT_EQ(state.keyMin, 300);
    EXPECT_EQ(state.keyMax, 900);
    EXPECT_EQ(settings.stretchMin, 300.0);
    EXPECT_EQ(settings.stretchMax, 900.0);
    EXPECT_EQ(state.slopeScale, 300 * 50.0);
    EXPECT_EQ(state.slopeScaleTarget, 300 * 50.0 / 2.0);
    EXPECT_EQ(host.values[kIdColors], "300-300-300");
    EXPECT_EQ(host.values[kIdCurrentIteration], "300");

    // The next key frame's counts start far above the range start: 1.5 times the start.
    applyColourRange(keyFrameOf(1, 2, {1000, 1200}), state, settings, host);
    EXPECT_EQ(state.keyMin, 450);
    EXPECT_EQ(state.slopeScale, 300 * 50.0);
    EXPECT_EQ(settings.stretchMin, 450.0);
    EXPECT_EQ(host.values[kIdColors], "1000-450-300");
    // Counts a little above it: unchanged. Below it: the start.
    applyColourRange(keyFrameOf(1, 2, {500, 1200}), state, settings, host);
    EXPECT_EQ(state.keyMin, 500);
    applyColourRange(keyFrameOf(1, 2, {100, 1200}), state, settings, host);
    EXPECT_EQ(state.keyMin, 500);
    EXPECT_EQ(state.slopeScale, 500 * 50.0);
}

TEST_F(ColourRangeTest, SmallRangeStartsAndLeftScrolling) {
    settings.slopes = 1;
    settings.stretchMin = 1.0;  // "Start iter value" 1
    applyColourRange(keyFrameOf(1, 2, {40, 60}), state, settings, host);
    EXPECT_EQ(state.keyMin, 2);
    EXPECT_EQ(state.slopeScale, 1 * settings.slopePower);

    settings.leftScrolling = 1;
    settings.stretchMin = 70.0;
    applyColourRange(keyFrameOf(1, 2, {40, 60}), state, settings, host);
    EXPECT_EQ(state.keyMin, 70);
    EXPECT_EQ(host.values[kIdColors], "70-70-70");

    // The Distance method starts every key frame's scale at 1 and moves it towards 1/Z.
    settings.colorMethod = kDistance;
    settings.zoomFactor = 4.0;
    applyColourRange(keyFrameOf(1, 1, {7}), state, settings, host);
    EXPECT_EQ(state.slopeScale, 1.0);
    EXPECT_EQ(state.slopeScaleTarget, 0.25);
}

TEST_F(ColourRangeTest, KeyFrameIsReadIntoTheCacheWhenNeeded) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "zr_colour_range_test";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "00001_1e3.zmb").string();
    KeyFrameFileData data = KeyFrameFileData::uniform(3, 2, 250);
    data.setPixel(2, 1, 90);
    ASSERT_TRUE(writeKeyFrameFile(path, data, nullptr));

    RenderSession session;
    settings.slopes = 1;
    updateColourRange(session, path, state, settings, host);
    EXPECT_EQ(state.keyMin, 90);
    EXPECT_EQ(state.keyMax, 250);

    // Nothing to read: nothing changes.
    TimelineState untouched;
    updateColourRange(session, (folder / "missing.zmb").string(), untouched, settings, host);
    EXPECT_EQ(untouched.keyMin, TimelineState{}.keyMin);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace zr
