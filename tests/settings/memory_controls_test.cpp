#include "settings/memory_controls.h"

#include <gtest/gtest.h>

namespace zr {
namespace {

TEST(MemoryControlsTest, StartsAsTheDialogAfterItsInitialisation) {
    const MemoryControls controls;
    EXPECT_EQ(controls.text(kIdFps), "30");
    EXPECT_EQ(controls.text(kIdStartFrame), "0");
    EXPECT_EQ(controls.text(kIdFontFace), "Courier New");
    EXPECT_EQ(controls.lines(kIdSpeedList), std::vector<std::string>{"0\t25"});
    EXPECT_EQ(controls.selection(kIdMergeCount), 4);
    EXPECT_EQ(controls.entryCount(kIdMergeCount), 16);
    EXPECT_EQ(controls.entryCount(kIdZoomOutLevel), 5);
    EXPECT_EQ(controls.selection(kIdWaveType), -1);
    EXPECT_TRUE(controls.checked(kIdShowZoomText) && controls.checked(kIdSmoothColoring));
}

TEST(MemoryControlsTest, MovieWidthSetsHeightAndFramesPerMovie) {
    MemoryControls controls;
    controls.setText(kIdMovieWidth, "1280");
    EXPECT_EQ(controls.text(kIdMovieHeight), "720");
    EXPECT_EQ(controls.text(kIdFramesPerMovie), "1125");

    controls.setText(kIdMovieWidth, "0");
    EXPECT_EQ(controls.text(kIdMovieHeight), "0");
    EXPECT_EQ(controls.text(kIdFramesPerMovie), "1037000000");

    // Widths whose products leave 32 bits still give sound numbers.
    controls.setText(kIdMovieWidth, "2000000000");
    EXPECT_EQ(controls.text(kIdMovieHeight), "1125000000");
    EXPECT_EQ(controls.text(kIdFramesPerMovie), "0");

    // Typing a height changes nothing else.
    controls.setText(kIdMovieWidth, "640");
    controls.setText(kIdMovieHeight, "480");
    EXPECT_EQ(controls.text(kIdFramesPerMovie), "4500");
}

TEST(MemoryControlsTest, FpsAndFolderChoiceRunTheMovieLengthHook) {
    MemoryControls controls;
    std::vector<std::string> seen;
    controls.setMovieLengthHook([&seen](Controls& c) { seen.push_back(c.text(kIdFps)); });
    controls.setText(kIdFps, "25");
    controls.setText(kIdFramesPerMovie, "100");
    controls.recomputeMovieLength();
    EXPECT_EQ(seen, (std::vector<std::string>{"25", "25"}));
}

TEST(MemoryControlsTest, SelectionsOutOfRangeLeaveNoSelection) {
    MemoryControls controls;
    controls.setSelection(kIdZoomOutLevel, 5);
    EXPECT_EQ(controls.selection(kIdZoomOutLevel), -1);
    controls.setSelection(kIdZoomOutLevel, 4);
    EXPECT_EQ(controls.selection(kIdZoomOutLevel), 4);
    controls.setSelection(kIdMergeCount, -3);
    EXPECT_EQ(controls.selection(kIdMergeCount), -1);
}

}  // namespace
}  // namespace zr
