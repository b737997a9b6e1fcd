#include "app/test_keyframe.h"

#include <gtest/gtest.h>

#include "unique_temp_path.h"

#include <filesystem>
#include <fstream>

#include "app/commands.h"
#include "keyframes/key_frame_cache.h"
#include "keyframes/key_frame_writer.h"
#include "movie/render_session.h"
#include "settings/memory_controls.h"
#include "settings/setting_types.h"
#include "settings/start_conversion.h"

namespace zr {
namespace {

namespace fs = std::filesystem;

class TestKeyFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = zr::testing::uniqueTempPath("zr_test_keyframe");
        fs::remove_all(folder);
        fs::create_directories(folder);
        // Sorted by path descending, "b" is key frame 0 (widest) and "a" key frame 1.
        write("00001_a.zmb", 8, 4, 50);
        write("00002_B.zmb", 6, 3, 5);
        controls.setText(kIdDirectory, folder.string());
    }
    void TearDown() override { fs::remove_all(folder); }

    void write(const std::string& name, int width, int height, int count) {
        std::string error;
        ASSERT_TRUE(writeKeyFrameFile((folder / name).string(),
                                      KeyFrameFileData::uniform(width, height, count), &error))
            << error;
    }

    fs::path folder;
    MemoryControls controls;
    TestSlopeValues slope;
    RenderSession session;
    MovieSpec spec;  // as a Start left it
};

TEST_F(TestKeyFrameTest, ColorsTheStartFrameAtItsOwnSize) {
    controls.setText(kIdStartCycle, "3.5");
    controls.setSelection(kIdMergeCount, 0);
    controls.setText(kIdStartFrame, "1");
    controls.addLine(kIdWaveList, "S\t12");  // converted whatever "Wave coloring" says
    const TestKeyFrameResult result = testKeyFrame(controls, spec, slope, session);
    ASSERT_TRUE(result.image) << result.message;
    EXPECT_EQ(result.keyFrame, 1);
    EXPECT_EQ(result.path, (folder / "00001_a.zmb").string());
    EXPECT_EQ(result.image->width(), 8);
    EXPECT_EQ(result.image->height(), 4);
    EXPECT_EQ(session.colors.startCycle, 3.5);
    EXPECT_EQ(spec.zoom.mergeCount, 1);
    EXPECT_EQ(spec.coloring.hsbWaves[0].period, 12);
    EXPECT_EQ(spec.coloring.hsbWaves[1].endFlag, 1);

    controls.setText(kIdStartFrame, "0");
    const TestKeyFrameResult widest = testKeyFrame(controls, spec, slope, session);
    ASSERT_TRUE(widest.image);
    EXPECT_EQ(widest.image->width(), 6);
}

TEST_F(TestKeyFrameTest, NothingToTestBeyondTheLastKeyFrameOrWhileRunning) {
    controls.setText(kIdStartFrame, "2");
    EXPECT_EQ(testKeyFrame(controls, spec, slope, session).message, "No key frame to test");
    controls.setText(kIdStartFrame, "-1");
    EXPECT_EQ(testKeyFrame(controls, spec, slope, session).message, "No key frame to test");
    controls.setText(kIdStartFrame, "0");
    controls.setText(kIdDirectory, (folder / "empty").string());
    EXPECT_EQ(testKeyFrame(controls, spec, slope, session).message, "No key frame to test");

    controls.setText(kIdDirectory, folder.string());
    controls.setText(kIdStartCycle, "9");
    session.running = true;
    const TestKeyFrameResult busy = testKeyFrame(controls, spec, slope, session);
    EXPECT_FALSE(busy.image);
    EXPECT_EQ(busy.failure, TestFailure::kBusy);
    EXPECT_EQ(session.colors.startCycle, 0.0);  // a running movie's values are left alone
    session.running = false;
}

TEST_F(TestKeyFrameTest, SlopeScaleComesFromTheLowestCount) {
    controls.setChecked(kIdSlopes, true);
    controls.setText(kIdSlopePower, "2");
    controls.setText(kIdStartFrame, "1");  // every count 50
    ASSERT_TRUE(testKeyFrame(controls, spec, slope, session).image);
    EXPECT_EQ(slope.keyMin, 40);
    EXPECT_EQ(slope.slopeScale, 80.0);

    controls.setText(kIdStartFrame, "0");  // every count 5: keyMin 0 counts as 1
    ASSERT_TRUE(testKeyFrame(controls, spec, slope, session).image);
    EXPECT_EQ(slope.keyMin, 0);
    EXPECT_EQ(slope.slopeScale, 2.0);

    // With the Distance method the scale is the zoom factor and the power 1.
    spec.coloring.colorMethod = kDistance;
    spec.zoom.zoomFactor = 4.0;
    ASSERT_TRUE(testKeyFrame(controls, spec, slope, session).image);
    EXPECT_EQ(slope.slopeScale, 4.0);
    EXPECT_EQ(spec.coloring.slopePower, 1.0);

    // Slopes off: the scale stays as it was.
    controls.setChecked(kIdSlopes, false);
    slope.slopeScale = 7.0;
    ASSERT_TRUE(testKeyFrame(controls, spec, slope, session).image);
    EXPECT_EQ(slope.slopeScale, 7.0);
}

TEST_F(TestKeyFrameTest, PreviewCommandWritesThePicture) {
    const std::string out = (folder / "preview.png").string();
    const std::string keys = folder.string();
    EXPECT_EQ(runPreviewCommand({keys, "--frame", "1", "--output", out}), 0);
    ASSERT_TRUE(fs::exists(out));
    EXPECT_GT(fs::file_size(out), 8u);

    EXPECT_EQ(runPreviewCommand({keys, "--frame", "2", "--output", out}), 1);
    // A speed of 0 is no speed: refused where it is given.
    EXPECT_EQ(runPreviewCommand({keys, "--frame", "0", "--output", out, "--set", "SPEED=0\t0"}), 2);
    EXPECT_EQ(runPreviewCommand(
                  {keys, "--frame", "0", "--output", (folder / "no-folder" / "x.png").string()}),
              1);
    EXPECT_EQ(runPreviewCommand({keys, "--output", out}), 2);
    EXPECT_EQ(runPreviewCommand({keys, "--frame", "0"}), 2);
    EXPECT_EQ(runPreviewCommand({keys, "--frame", "0", "--output", out, "--codec", "MJPG"}), 2);
}

}  // namespace
}  // namespace zr
