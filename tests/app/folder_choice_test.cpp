#include "app/folder_choice.h"

#include <gtest/gtest.h>

#include "unique_temp_path.h"

#include <filesystem>
#include <fstream>

#include "keyframes/image_file.h"
#include "keyframes/key_frame_writer.h"
#include "settings/memory_controls.h"
#include "settings/setting_types.h"

namespace zr {
namespace {

namespace fs = std::filesystem;

class FolderChoiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = zr::testing::uniqueTempPath("zr_folder_choice");
        fs::remove_all(folder);
        fs::create_directories(folder);
        controls.setMovieLengthHook([this](Controls&) { ++estimates; });
    }
    void TearDown() override { fs::remove_all(folder); }

    void writeKeyFrame(const std::string& name, int width, int height) {
        std::string error;
        ASSERT_TRUE(writeKeyFrameFile((folder / name).string(),
                                      KeyFrameFileData::uniform(width, height, 5), &error))
            << error;
    }
    void writeBytes(const std::string& name, const std::string& bytes) {
        std::ofstream(folder / name, std::ios::binary) << bytes;
    }

    fs::path folder;
    MemoryControls controls;
    int estimates = 0;
};

TEST_F(FolderChoiceTest, FirstKeyFrameSetsTheSizesAndTheCount) {
    writeKeyFrame("00001_1e3.zmb", 640, 360);
    for (const char* name : {"00001_1e3.jpg", "00002_5e2.JPG", "b.jpg", "c.jpg", "d.jpg"}) {
        writeBytes(name, "not a picture");
    }
    writeKeyFrame("00002_5e2.ZMB", 640, 360);
    writeKeyFrame("00003_2e2.zmb", 640, 360);
    fs::create_directories(folder / "e.jpg");  // a folder is no picture

    const FolderChoiceResult result = chooseKeyFrameFolder(controls, folder.string());
    ASSERT_TRUE(result.ok) << result.detail;
    EXPECT_EQ(controls.text(kIdDirectory), folder.string());
    for (const int id : {kIdFrameWidth, kIdMovieWidth})
        EXPECT_EQ(controls.text(id), "640");
    for (const int id : {kIdFrameHeight, kIdMovieHeight})
        EXPECT_EQ(controls.text(id), "360");
    EXPECT_EQ(controls.text(kIdFramesPerMovie), "4500");
    EXPECT_EQ(result.keyFrameCount, 5);
    EXPECT_EQ(controls.keyFrameCount(), 5);
    EXPECT_EQ(estimates, 1);
}

TEST_F(FolderChoiceTest, SecondKindOfFileGivesItsSize) {
    // "ZMC", width 3, height 2, nothing more.
    writeBytes("a.zmb", std::string("ZMC\x03\0\0\0\x02\0\0\0", 11));
    const FolderChoiceResult result = chooseKeyFrameFolder(controls, folder.string());
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(controls.text(kIdMovieWidth), "3");
    EXPECT_EQ(controls.text(kIdMovieHeight), "2");
    EXPECT_EQ(controls.text(kIdFramesPerMovie), "172833333");
    EXPECT_EQ(result.keyFrameCount, 1);
}

TEST_F(FolderChoiceTest, UnreadableFoldersChangeOnlyTheFolderText) {
    const std::string before = controls.text(kIdFramesPerMovie);
    FolderChoiceResult result = chooseKeyFrameFolder(controls, (folder / "missing").string());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "Could not open file in this directory");
    EXPECT_EQ(controls.text(kIdDirectory), (folder / "missing").string());

    writeBytes("x.jpg", "not a picture");
    result = chooseKeyFrameFolder(controls, folder.string());
    EXPECT_EQ(result.message, "File is either corrupt or of another type");
    fs::remove(folder / "x.jpg");

    for (const std::string& bytes : {std::string("PNG\x03\0\0\0\x02\0\0\0", 11),
                                     std::string("ZMB\x03\0\0", 6), std::string()}) {
        writeBytes("a.zmb", bytes);
        result = chooseKeyFrameFolder(controls, folder.string());
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message, "File is either corrupt or of another type");
    }
    EXPECT_EQ(controls.text(kIdFramesPerMovie), before);
    EXPECT_EQ(controls.keyFrameCount(), 1);
    EXPECT_EQ(estimates, 0);
}

TEST_F(FolderChoiceTest, AFolderOfPicturesTakesItsSizeFromThePictures) {
    for (const char* name : {"00001_1e3.jpg", "00002_5e2.jpg", "00003_2e2.jpg"}) {
        std::string error;
        ASSERT_TRUE(savePng(FrameImage(48, 30), (folder / name).string(), &error)) << error;
    }
    const FolderChoiceResult result = chooseKeyFrameFolder(controls, folder.string());
    ASSERT_TRUE(result.ok) << result.detail;
    EXPECT_EQ(controls.text(kIdMovieWidth), "48");
    EXPECT_EQ(controls.text(kIdMovieHeight), "30");
    EXPECT_EQ(result.keyFrameCount, 3);
    EXPECT_EQ(estimates, 1);
}

TEST_F(FolderChoiceTest, AFolderOfPngPicturesAloneIsAFolderOfKeyFrames) {
    for (const char* name : {"00001_1e3.png", "00002_5e2.PNG"}) {
        std::string error;
        ASSERT_TRUE(savePng(FrameImage(40, 20), (folder / name).string(), &error)) << error;
    }
    const FolderChoiceResult result = chooseKeyFrameFolder(controls, folder.string());
    ASSERT_TRUE(result.ok) << result.detail;
    EXPECT_EQ(controls.text(kIdMovieWidth), "40");
    EXPECT_EQ(result.keyFrameCount, 2);
}

TEST_F(FolderChoiceTest, MoviesInOtherContainersThanAviAreOneFile) {
    writeKeyFrame("00001_1e3.zmb", 640, 360);
    for (const char* movie : {"", "film.avi", "out/Z.AVI", "film.xyz"}) {
        controls.setText(kIdMovieFile, movie);
        ASSERT_TRUE(chooseKeyFrameFolder(controls, folder.string()).ok);
        EXPECT_EQ(controls.text(kIdFramesPerMovie), "4500") << movie;
    }
    controls.setText(kIdMovieFile, "film.mp4");
    ASSERT_TRUE(chooseKeyFrameFolder(controls, folder.string()).ok);
    EXPECT_EQ(controls.text(kIdFramesPerMovie), "0");

    // Chosen after the folder and a new movie width (which proposes for AVI): still one file.
    controls.setText(kIdMovieFile, "film.avi");
    ASSERT_TRUE(chooseKeyFrameFolder(controls, folder.string()).ok);
    controls.setText(kIdMovieWidth, "1920");
    controls.setText(kIdMovieFile, "film.mkv");
    proposeFramesPerMovieForContainer(controls);
    EXPECT_EQ(controls.text(kIdFramesPerMovie), "0");

    // A number chosen by hand, and any number for an AVI movie, stays.
    controls.setText(kIdFramesPerMovie, "300");
    proposeFramesPerMovieForContainer(controls);
    EXPECT_EQ(controls.text(kIdFramesPerMovie), "300");
    controls.setText(kIdMovieWidth, "1280");
    controls.setText(kIdMovieFile, "film.avi");
    proposeFramesPerMovieForContainer(controls);
    EXPECT_EQ(controls.text(kIdFramesPerMovie), "1125");
}

TEST(MovieLengthFieldTest, FpsChangesShowTheEstimateOfTheFoldersKeyFrames) {
    MemoryControls controls;
    controls.clearLines(kIdSpeedList);
    controls.addLine(kIdSpeedList, "0\t25");
    controls.addLine(kIdSpeedList, "2\t50");
    controls.setKeyFrameCount(4);
    controls.setMovieLengthHook(recomputeMovieLengthEstimate);
    controls.setText(kIdFps, "50");
    EXPECT_EQ(controls.text(kIdMovieLength), "00:00:03.000");
}

}  // namespace
}  // namespace zr
