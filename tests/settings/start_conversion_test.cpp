#include "settings/start_conversion.h"

#include <gtest/gtest.h>

#include "unique_temp_path.h"

#include <filesystem>
#include <fstream>

#include "settings/memory_controls.h"
#include "settings/movie_settings.h"
#include "support/text_table.h"

namespace zr {
namespace {

class StartConversionTest : public ::testing::Test {
  protected:
    void SetUp() override { resetMovieSettings(); }
    void TearDown() override { resetMovieSettings(); }

    static std::vector<std::string> rowsOf(const TextTable& table) {
        std::vector<std::string> rows;
        for (int i = 0; i < table.rowCount(); ++i)
            rows.push_back(table.row(i).join("|"));
        return rows;
    }

    void setLines(int id, std::initializer_list<const char*> lines) {
        controls.clearLines(id);
        for (const char* line : lines)
            controls.addLine(id, line);
    }

    MemoryControls controls;
    MovieSettings& s = movieSettings();
};

TEST_F(StartConversionTest, DialogDefaultsGiveTheDefaultRecord) {
    controls.setText(kIdDirectory, "/keys");
    controls.setText(kIdMovieWidth, "1280");
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.folderPattern, "/keys/*.zmb");
    EXPECT_EQ(s.mergeCount, 5);
    EXPECT_EQ(s.bitsPerPixel, 24);
    EXPECT_EQ(s.zoomFactor, 2.0);
    EXPECT_EQ(s.movieWidth, 1280);
    EXPECT_EQ(s.movieHeight, 720);
    EXPECT_EQ(s.framesPerMovie, 1125);
    EXPECT_EQ(s.fps, 30);
    EXPECT_EQ(rowsOf(s.speedSpecs), std::vector<std::string>{"0|25"});
    EXPECT_EQ(s.speedSpecs.find(0, "0"), 0);

    controls.setText(kIdDirectory, "/keys/");
    controls.setText(kIdFontFace, std::string(120, 'F'));
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.folderPattern, "/keys/*.zmb");
    EXPECT_EQ(s.fontFace, std::string(99, 'F'));
}

TEST_F(StartConversionTest, ZeroSpeedIsRefusedOnlyInSpeedMode) {
    setLines(kIdSpeedList, {"0\t25", "10\t0"});
    s.fps = 99;
    controls.setText(kIdFps, "24");
    const StartConversionResult refused = convertControlsForStart(controls);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.message, "Speed cannot be zero");
    EXPECT_EQ(refused.focusControl, kIdSpeedList);
    EXPECT_EQ(s.speedSpecs.rowCount(), 2);  // copied before the check
    EXPECT_EQ(s.fps, 99);                   // not reached

    controls.setSelection(kIdTimeType, 1);
    EXPECT_TRUE(convertControlsForStart(controls).ok);
    controls.setSelection(kIdTimeType, 2);
    EXPECT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.fps, 24);

    controls.setSelection(kIdTimeType, 0);
    controls.setChecked(kIdFrameByFrame, true);
    EXPECT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(rowsOf(s.speedSpecs), std::vector<std::string>{"0|1"});

    controls.setChecked(kIdFrameByFrame, false);
    controls.clearLines(kIdSpeedList);
    EXPECT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.speedSpecs.rowCount(), 0);
}

TEST_F(StartConversionTest, TimelineTablesKeepOrSortTheirRows) {
    setLines(kIdRotateList, {"9\t1.5", "3\tR", "1\t-2"});
    setLines(kIdDivideList, {"5\t2", "1\t3", "5\t4"});
    setLines(kIdColorCountList, {"10\t1", "9\t-2", "10\t3", "2\t5"});
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(rowsOf(s.rotateSpecs), (std::vector<std::string>{"9|1.5", "3|R", "1|-2"}));
    EXPECT_EQ(rowsOf(s.divideSpecs), (std::vector<std::string>{"1|3", "5|2", "5|4"}));
    EXPECT_EQ(rowsOf(s.colorCountSpecs), (std::vector<std::string>{"2|5", "9|-2", "10|1", "10|3"}));
    // Lookups after sorting find the first row of a key frame.
    EXPECT_EQ(s.divideSpecs.find(0, "5"), 1);
    EXPECT_EQ(s.colorCountSpecs.find(0, "10"), 2);
    EXPECT_EQ(s.rotateSpecs.find(0, "1"), 2);
}

TEST_F(StartConversionTest, RotationIsActiveWithRowsOrAStartAngle) {
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.rotationActive, 0);
    controls.setText(kIdStartRotation, "0.5");
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.rotationActive, 1);
    EXPECT_EQ(s.startRotation, 0.5);
    // Only the first 19 characters of the start rotation count.
    controls.setText(kIdStartRotation, "0000000000000000000.5");
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.startRotation, 0.0);
}

TEST_F(StartConversionTest, ListsGiveTheirNumbers) {
    const std::pair<int, int> merges[] = {{0, 1}, {15, 16}, {-1, 5}};
    for (const auto& [entry, expected] : merges) {
        controls.setSelection(kIdMergeCount, entry);
        ASSERT_TRUE(convertControlsForStart(controls).ok);
        EXPECT_EQ(s.mergeCount, expected) << "entry " << entry;
    }
    controls.setSelection(kIdZoomOutLevel, 3);
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.zoomFactor, 16.0);
    controls.setSelection(kIdColorBits, -1);
    controls.setSelection(kIdColorMethod, 9);
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.bitsPerPixel, 24);
    EXPECT_EQ(s.colorMethod, kStandard);
}

TEST_F(StartConversionTest, CustomZoomAsksTheZoomSize) {
    controls.setSelection(kIdZoomOutLevel, 4);
    controls.setZoomSizeAnswer("1.5");
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.zoomFactor, 1.5);
    controls.setZoomSizeAnswer(std::nullopt);  // cancelled: the earlier value stays
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.zoomFactor, 1.5);
    controls.setZoomSizeAnswer("wide");
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.zoomFactor, 2.0);
    EXPECT_EQ(controls.zoomSizeQuestions(), 3);
}

TEST_F(StartConversionTest, SlopeAndTextureValues) {
    controls.setText(kIdSlopePower, "7.5");
    controls.setText(kIdTextureMerge, "50");
    controls.setText(kIdTextureStrength, "12.9");
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.slopePower, 7.5);
    EXPECT_EQ(s.textureMerge, 0.5);
    EXPECT_EQ(s.textureStrength, 12);

    controls.setSelection(kIdColorMethod, 5);
    controls.setText(kIdTextureStrength, "-1e300");
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.slopePower, 1.0);
    EXPECT_EQ(s.textureStrength, -2147483647 - 1);
}

TEST_F(StartConversionTest, WaveListsBecomeSlotArrays) {
    setLines(kIdWaveList, {"H\t100", "S\t-7\t3", "x\t5", "W\t9"});
    setLines(kIdLongWaveList, {"255,128,0\t1000\t50", "256,-1\t7\t2"});
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.hsbWaves[0].endFlag, 1);  // "Wave coloring" off: the array is kept
    const LongWave& first = s.longWaves[0];
    EXPECT_EQ(first.color, 0x0080FFu);
    EXPECT_EQ(first.period, 1000);
    EXPECT_EQ(first.percent, 50);
    EXPECT_EQ(s.longWaves[1].color, 0x00FF00u);  // channels keep their low 8 bits
    EXPECT_EQ(s.longWaves[1].endFlag, 0);
    EXPECT_EQ(s.longWaves[2].endFlag, 1);

    controls.setChecked(kIdWaveColoring, true);
    s.hsbWaves[2].type = 2;
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.waveColoring, 1);
    EXPECT_EQ(s.hsbWaves[0].type, 0);
    EXPECT_EQ(s.hsbWaves[0].period, 100);
    EXPECT_EQ(s.hsbWaves[0].phase, 0);
    EXPECT_EQ(s.hsbWaves[1].type, 1);
    EXPECT_EQ(s.hsbWaves[1].period, -7);
    EXPECT_EQ(s.hsbWaves[1].phase, 3);
    EXPECT_EQ(s.hsbWaves[2].type, 2);  // "x" keeps the slot's type from the last Start
    EXPECT_EQ(s.hsbWaves[3].type, 3);
    EXPECT_EQ(s.hsbWaves[3].endFlag, 0);
    EXPECT_EQ(s.hsbWaves[4].endFlag, 1);

    controls.clearLines(kIdWaveList);
    controls.clearLines(kIdLongWaveList);
    for (int i = 0; i < 61; ++i) {
        controls.addLine(kIdWaveList, "B\t" + std::to_string(i + 1));
        controls.addLine(kIdLongWaveList, "1,2,3\t" + std::to_string(i + 1) + "\t9");
    }
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.hsbWaves[59].endFlag + s.longWaves[59].endFlag, 0);
    EXPECT_EQ(s.hsbWaves[60].endFlag + s.longWaves[60].endFlag, 2);

    controls.clearLines(kIdWaveList);
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.hsbWaves[0].endFlag, 1);
}

TEST_F(StartConversionTest, TooLongFolderIsRefusedBeforeAnythingIsCopied) {
    controls.setText(kIdDirectory, "/" + std::string(248, 'd'));  // 249 characters fit
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.folderPattern.size(), 255u);

    resetMovieSettings();
    controls.setText(kIdDirectory, "/" + std::string(249, 'd'));
    controls.setSelection(kIdMergeCount, 0);
    const StartConversionResult result = convertControlsForStart(controls);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.focusControl, kIdDirectory);
    EXPECT_NE(result.message.find("too long"), std::string::npos);
    EXPECT_EQ(s.folderPattern, "");
    EXPECT_EQ(s.mergeCount, 6);
}

TEST_F(StartConversionTest, MultiTextureListsTheFoldersJpegPictures) {
    namespace fs = std::filesystem;
    const fs::path folder = zr::testing::uniqueTempPath("zr_multi_texture");
    fs::remove_all(folder);
    fs::create_directories(folder / "e.jpg");  // a folder, not a picture
    for (const char* name : {"b.JPG", "D.jpg", "a.jpeg", "c.png", "f.jpgx", "g.JPEG"}) {
        std::ofstream(folder / name) << "x";
    }
    const std::string prefix = folder.string() + "/";
    s.textureFile = prefix + "chosen.jpg";
    controls.setChecked(kIdTextureMulti, true);
    const StartConversionResult result = convertControlsForStart(controls);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.texturePositionReset);
    EXPECT_EQ(rowsOf(s.textureFiles),
              (std::vector<std::string>{prefix + "a.jpeg", prefix + "b.JPG", prefix + "D.jpg",
                                        prefix + "g.JPEG"}));
    EXPECT_EQ(s.textureFile, prefix + "a.jpeg");

    // No picture in the folder: the list stays empty and the texture file as it was.
    s.textureFile = prefix + "e.jpg/none.jpg";
    EXPECT_FALSE(convertControlsForStart(controls).texturePositionReset);
    EXPECT_EQ(s.textureFiles.rowCount(), 0);
    EXPECT_EQ(s.textureFile, prefix + "e.jpg/none.jpg");

    // "Multi" off clears the list.
    s.textureFile = prefix + "chosen.jpg";
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    controls.setChecked(kIdTextureMulti, false);
    ASSERT_TRUE(convertControlsForStart(controls).ok);
    EXPECT_EQ(s.textureFiles.rowCount(), 0);
    fs::remove_all(folder);
}

TEST(WildcardMatchTest, MatchesLikeAFileListing) {
    EXPECT_TRUE(wildcardMatch("*.jp*g", "x.jpg"));
    EXPECT_TRUE(wildcardMatch("*.jp*g", "X.JPEG"));
    EXPECT_TRUE(wildcardMatch("*.jp*g", "a.b.jp.png"));
    EXPECT_FALSE(wildcardMatch("*.jp*g", "x.jp"));
    EXPECT_FALSE(wildcardMatch("*.jp*g", "x.jpgs"));
    EXPECT_FALSE(wildcardMatch("a?c", "ac"));
}

}  // namespace
}  // namespace zr
