#include "coloring/render_key_frame.h"

#include <gtest/gtest.h>

#include "coloring/color_state.h"
#include "keyframes/image_file.h"
#include "keyframes/key_frame_cache.h"
#include "keyframes/key_frame_writer.h"
#include "keyframes/temp_folder.h"

namespace zr {
namespace {

class KeyFrameJobTest : public ::testing::Test {
  protected:
    // Runs a job for `name` and gives the width of its picture, 0 for none.
    int run(const std::string& name, std::string* pathAfter = nullptr) {
        KeyFrameJob job;
        job.cache = &cache;
        job.path = folder.file(name);
        EXPECT_EQ(keyFrameJobRun(job), 0);
        if (pathAfter) {
            *pathAfter = job.path;
        }
        return job.result ? job.result->width() : 0;
    }
    // Key frames are 6 pixels wide, pictures 10 or 3: the width tells which one a job found.
    void writeKeyFrame(const std::string& name) {
        ASSERT_TRUE(writeKeyFrameFile(folder.file(name), KeyFrameFileData::uniform(6, 4), nullptr));
    }
    void writePicture(const std::string& name, int width = 10) {
        ASSERT_TRUE(savePng(FrameImage(width, 5), folder.file(name), nullptr));
    }

    testing::TempFolder folder;
    KeyFrameCache cache;
};

TEST_F(KeyFrameJobTest, FallsBackToThePictureOfTheSameName) {
    std::string path;
    writeKeyFrame("00001.zmb");
    writePicture("00001.jpg");
    EXPECT_EQ(run("00001.zmb", &path), 6);
    EXPECT_EQ(path, folder.file("00001.zmb"));

    // A vanished key frame file with two dots in its name: the list entry now names the picture.
    writePicture("k.0002.jpg");
    EXPECT_EQ(run("k.0002.zmb", &path), 10);
    EXPECT_EQ(path, folder.file("k.0002.jpg"));
    // A picture listed as itself is refused as a key frame, then loaded.
    EXPECT_EQ(run("k.0002.jpg"), 10);

    // A picture under the key frame name is refused on its magic; the ".jpg" stands in.
    std::filesystem::copy_file(folder.file("k.0002.jpg"), folder.file("00003.zmb"));
    writePicture("00003.jpg", 3);
    EXPECT_EQ(run("00003.zmb"), 3);

    EXPECT_EQ(run("00004", &path), 0);
    EXPECT_EQ(path, folder.file("00004.jpg"));
    EXPECT_EQ(fallbackPicturePath("/zoom.v2/00005"), "/zoom.v2/00005.jpg");
    EXPECT_EQ(fallbackPicturePath("/k/00005_1e3.PNG"), "/k/00005_1e3.PNG");
}

TEST_F(KeyFrameJobTest, OneKeyFrameGivesTheColorsAndEveryOneItsMaximumIteration) {
    KeyFrameFileData first = KeyFrameFileData::uniform(2, 2);
    first.keyColors = {Bgr{10, 20, 30}, Bgr{40, 50, 60}, Bgr{70, 80, 90}};
    first.iterationDivision = 12;
    first.maxIteration = 500;
    KeyFrameFileData second = KeyFrameFileData::uniform(2, 2);
    second.keyColors = {Bgr{1, 1, 1}};
    second.iterationDivision = 99;
    second.maxIteration = 900;
    ASSERT_TRUE(writeKeyFrameFile(folder.file("first.zmb"), first, nullptr));
    ASSERT_TRUE(writeKeyFrameFile(folder.file("second.zmb"), second, nullptr));

    ColorState color;
    takeKeyFrameHeader(*cache.load(folder.file("first.zmb")), color);
    takeKeyFrameHeader(*cache.load(folder.file("second.zmb")), color);
    EXPECT_EQ(color.keyColorCount, 3);
    EXPECT_EQ(color.keyColors[2], (Bgr{70, 80, 90}));
    EXPECT_EQ(color.palette()[0], (Bgr{10, 20, 30}));
    EXPECT_EQ(color.colorDivision, 12.0);
    EXPECT_FALSE(color.colorsFromKeyFrame);
    EXPECT_EQ(color.maxIteration, 900);

    // A DIVIDE row of key frame 0 keeps the division; the colours are taken again once a run
    // asks for them.
    color.colorsFromKeyFrame = true;
    color.divisionFromKeyFrame = false;
    takeKeyFrameHeader(*cache.find(folder.file("second.zmb")), color);
    EXPECT_EQ(color.keyColorCount, 1);
    EXPECT_EQ(color.colorDivision, 12.0);
}

}  // namespace
}  // namespace zr
