#include "keyframes/key_frame_job.h"

#include <gtest/gtest.h>

#include "keyframes/image_file.h"
#include "keyframes/key_frame_cache.h"
#include "keyframes/key_frame_writer.h"
#include "keyframes/render_key_frame.h"
#include "keyframes/temp_folder.h"
#include "settings/movie_settings.h"

namespace zr {
namespace {

using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

class KeyFrameJobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetMovieSettings();
        skipExistingMovie() = 0;
        keyFrameCache().emptyAll();
    }
    void TearDown() override { SetUp(); }

    // Key frames are 6 x 4, pictures 10 x 5: the size tells which one a job found.
    void writeKeyFrame(const std::string& name) {
        ASSERT_TRUE(
            writeKeyFrameFile(folder.file(name), KeyFrameFileData::uniform(6, 4, 50), nullptr));
    }
    void writePicture(const std::string& name) {
        ASSERT_TRUE(savePng(FrameImage(10, 5), folder.file(name), nullptr));
    }
    KeyFrameJob job(const std::string& name) {
        KeyFrameJob job;
        job.path = folder.file(name);
        return job;
    }

    TempFolder folder;
};

TEST_F(KeyFrameJobTest, PicturePathReplacesOnlyTheLastExtensionOfTheName) {
    EXPECT_EQ(fallbackPicturePath("/k/00001_1e3.zmb"), "/k/00001_1e3.jpg");
    EXPECT_EQ(fallbackPicturePath("/k/k.0001.zmb"), "/k/k.0001.jpg");
    EXPECT_EQ(fallbackPicturePath("/k/00001.jpg"), "/k/00001.jpg");
    EXPECT_EQ(fallbackPicturePath("/k/00001"), "/k/00001.jpg");
    EXPECT_EQ(fallbackPicturePath("/zoom.v2/00001"), "/zoom.v2/00001.jpg");
    EXPECT_EQ(fallbackPicturePath("C:\\zoom.v2\\00001"), "C:\\zoom.v2\\00001.jpg");
}

TEST_F(KeyFrameJobTest, ColoursAKeyFrameFileAndKeepsItsPath) {
    writeKeyFrame("00001_1e3.zmb");
    writePicture("00001_1e3.jpg");
    KeyFrameJob one = job("00001_1e3.zmb");
    EXPECT_EQ(keyFrameJobRun(one), 0);
    ASSERT_TRUE(one.result);
    EXPECT_EQ(one.result->width(), 6);
    EXPECT_EQ(one.path, folder.file("00001_1e3.zmb"));
}

TEST_F(KeyFrameJobTest, FallsBackToThePictureOfTheSameName) {
    // Vanished key frame file, picture beside it; a name with two dots.
    writePicture("k.0001.jpg");
    KeyFrameJob missing = job("k.0001.zmb");
    keyFrameJobRun(missing);
    ASSERT_TRUE(missing.result);
    EXPECT_EQ(missing.result->width(), 10);
    EXPECT_EQ(missing.path, folder.file("k.0001.jpg"));

    // A picture listed as itself is first refused as a key frame, then loaded.
    KeyFrameJob listedPicture = job("k.0001.jpg");
    keyFrameJobRun(listedPicture);
    ASSERT_TRUE(listedPicture.result);
    EXPECT_EQ(listedPicture.path, folder.file("k.0001.jpg"));

    // A picture saved under the key frame name is refused on its magic; the ".jpg" beside it
    // stands in (and it is a different picture).
    writeBytes(folder.file("00002.zmb"), readBytes(folder.file("k.0001.jpg")));
    ASSERT_TRUE(savePng(FrameImage(3, 3), folder.file("00002.jpg"), nullptr));
    KeyFrameJob disguised = job("00002.zmb");
    keyFrameJobRun(disguised);
    ASSERT_TRUE(disguised.result);
    EXPECT_EQ(disguised.result->width(), 3);

    KeyFrameJob nothing = job("00003");
    keyFrameJobRun(nothing);
    EXPECT_FALSE(nothing.result);
    EXPECT_EQ(nothing.path, folder.file("00003.jpg"));
}

TEST_F(KeyFrameJobTest, RenderGivesNoneWithoutReadingWhileRenderingIsSkipped) {
    writeKeyFrame("00001.zmb");
    const std::string path = folder.file("00001.zmb");
    skipExistingMovie() = 1;
    EXPECT_FALSE(renderKeyFrame(path, 0.0, 0.0, 1.0));
    skipExistingMovie() = 0;
    movieSettings().skipRender = 1;
    EXPECT_FALSE(renderKeyFrame(path, 0.0, 0.0, 1.0));
    EXPECT_EQ(keyFrameCache().find(path), nullptr);
    EXPECT_EQ(movieSettings().colorsFromKeyFrame, 1);

    movieSettings().skipRender = 0;
    const OptionalImage image = renderKeyFrame(path, 0.0, 0.0, 1.0);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->height(), 4);
    EXPECT_NE(keyFrameCache().find(path), nullptr);
}

}  // namespace
}  // namespace zr
