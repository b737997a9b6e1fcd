#include "settings/movie_spec.h"

#include <gtest/gtest.h>

#include "unique_temp_path.h"

#include <filesystem>
#include <fstream>

#include "settings/memory_controls.h"
#include "settings/start_conversion.h"
#include "support/text_match.h"

namespace zr {
namespace {

template <typename Track>
std::vector<std::string> rowsOf(const Track& track) {
    std::vector<std::string> rows;
    for (const auto& row : track.rows())
        rows.push_back(row.keyText + "|" + row.valueText);
    return rows;
}

class MovieSpecTest : public ::testing::Test {
  protected:
    MovieSpec build() {
        const MovieSpecResult result = buildMovieSpec(controls, previous);
        EXPECT_TRUE(result.ok()) << result.error.message;
        previous = result.spec;
        return result.spec;
    }
    void setLines(int id, std::initializer_list<const char*> lines) {
        controls.clearLines(id);
        for (const char* line : lines)
            controls.addLine(id, line);
    }

    MemoryControls controls;
    MovieSpec previous;
};

TEST_F(MovieSpecTest, DialogDefaultsGiveTheDefaultMovie) {
    controls.setText(kIdDirectory, "/keys");
    controls.setText(kIdMovieWidth, "1280");
    MovieSpec spec = build();
    EXPECT_EQ(spec.output.folderPattern, "/keys/*.zmb");
    EXPECT_EQ(spec.output.folder(), "/keys/");
    EXPECT_EQ(spec.zoom.mergeCount, 5);
    EXPECT_EQ(spec.output.bitsPerPixel, 24);
    EXPECT_EQ(spec.zoom.zoomFactor, 2.0);
    EXPECT_EQ(spec.output.movieWidth, 1280);
    EXPECT_EQ(spec.output.movieHeight, 720);
    EXPECT_EQ(spec.output.framesPerMovie, 1125);
    EXPECT_EQ(spec.output.fps, 30);
    EXPECT_EQ(rowsOf(spec.timeline.speedSpecs), std::vector<std::string>{"0|25"});
    EXPECT_EQ(spec.timeline.speedSpecs.at(0)->speed, 25);
    EXPECT_FALSE(spec.texture.texture);  // the check box starts unchecked

    controls.setText(kIdDirectory, "/keys/");
    controls.setText(kIdFontFace, std::string(120, 'F'));
    controls.setText(kIdStartFrame, "3");
    controls.setText(kIdStartIteration, " +120x");
    controls.setChecked(kIdDumpImages, true);
    spec = build();
    EXPECT_EQ(spec.output.folderPattern, "/keys/*.zmb");
    EXPECT_EQ(spec.zoomText.fontFace, std::string(99, 'F'));
    EXPECT_EQ(spec.start.startFrame, 3);
    EXPECT_EQ(spec.start.startIteration, 120u);
    EXPECT_TRUE(spec.start.dumpImages);
}

TEST_F(MovieSpecTest, MovieFileAndSoundtrackLieInTheKeyFrameFolderUnlessGivenWhole) {
    controls.setText(kIdDirectory, "/keys");
    MovieSpec spec = build();
    EXPECT_EQ(spec.output.firstMovieFile(), "/keys/film.avi");
    EXPECT_EQ(spec.output.soundtrackFile(), "");
    EXPECT_EQ(spec.output.movieFile.crf, -1);

    controls.setText(kIdMovieFile, "zoom.mp4");
    controls.setText(kIdSoundFile, "/music/theme.ogg");
    controls.setText(kIdCrf, "18");
    controls.setText(kIdSoundOffset, "-2.5");
    spec = build();
    EXPECT_EQ(spec.output.firstMovieFile(), "/keys/zoom.mp4");
    EXPECT_EQ(spec.output.soundtrackFile(), "/music/theme.ogg");
    EXPECT_EQ(spec.output.movieFile.crf, 18);
    EXPECT_EQ(spec.output.movieFile.soundtrackOffset, -2.5);

    // A mistyped number is no quiet default.
    for (const auto& [id, text] :
         {std::pair{kIdCrf, "18x"}, std::pair{kIdCrf, "101"}, std::pair{kIdSoundOffset, "1:30"},
          std::pair{kIdSoundOffset, "90000"}}) {
        controls.setText(kIdCrf, "");
        controls.setText(kIdSoundOffset, "");
        controls.setText(id, text);
        const MovieSpecResult result = buildMovieSpec(controls);
        EXPECT_EQ(result.error.kind, MovieSpecErrorKind::kMovieFileValue) << text;
        EXPECT_EQ(result.error.focusControl, id);
        EXPECT_NE(result.error.message.find(text), std::string::npos) << result.error.message;
    }
}

// What the controls may hold that gives no movie: the message Start shows and where the focus
// goes; nothing is started and no run ever sees it.
TEST_F(MovieSpecTest, ErrorsAreFoundBeforeARun) {
    struct Case {
        const char* what;
        int timeType;
        std::vector<std::string> speeds;
        const char* fps;
        MovieSpecErrorKind error;
    };
    const Case cases[] = {
        {"zero speed", 0, {"0\t25", "10\t0"}, "30", MovieSpecErrorKind::kZeroSpeed},
        {"no number", 0, {"0\tfast"}, "30", MovieSpecErrorKind::kZeroSpeed},
        {"zero is a time", 1, {"0\t25", "10\t0"}, "30", MovieSpecErrorKind::kTimeStampOrder},
        {"zero time ns", 2, {"0\t00:00", "10\t00:00"}, "30", MovieSpecErrorKind::kNone},
        {"stamps back", 1, {"0\t00:10", "5\t00:05"}, "30", MovieSpecErrorKind::kTimeStampOrder},
        {"sorted by key frame", 2, {"7\t00:20", "3\t00:10"}, "30", MovieSpecErrorKind::kNone},
        {"key frames read leniently",
         1,
         {"3x\t00:20", "03\t00:30", "4.5\t00:25"},
         "25",
         MovieSpecErrorKind::kTimeStampOrder},
        {"negative fps", 2, {"0\t00:01", "5\t00:02"}, "-1", MovieSpecErrorKind::kOutOfRange},
        {"a negative stamp", 1, {"0\t-5"}, "30", MovieSpecErrorKind::kTimeStampOrder},
        {"zero fps", 1, {"0\t00:10", "5\t00:05"}, "0", MovieSpecErrorKind::kOutOfRange},
        {"empty list", 0, {}, "30", MovieSpecErrorKind::kNone},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        controls.clearLines(kIdSpeedList);
        for (const std::string& line : test.speeds)
            controls.addLine(kIdSpeedList, line);
        controls.setSelection(kIdTimeType, test.timeType);
        controls.setText(kIdFps, test.fps);
        const MovieSpecResult result = buildMovieSpec(controls);
        EXPECT_EQ(result.error.kind, test.error);
        if (test.error == MovieSpecErrorKind::kZeroSpeed) {
            EXPECT_EQ(result.error.message, "Speed cannot be zero");
        } else if (test.error == MovieSpecErrorKind::kTimeStampOrder) {
            EXPECT_EQ(result.error.message, "Later timestamps can not be earlier");
        }
        if (test.error != MovieSpecErrorKind::kNone) {
            EXPECT_EQ(result.error.focusControl,
                      test.error == MovieSpecErrorKind::kOutOfRange ? kIdFps : kIdSpeedList);
        }
    }
    controls.setText(kIdFps, "30");

    // Values no movie can be made with are refused, naming the control to mend.
    struct Refused {
        int control;
        const char* text;
        int focus;
    };
    const Refused refused[] = {
        {kIdFramesPerMovie, "-5", kIdFramesPerMovie},
        {kIdRotateList, "3\t1e308", kIdRotateList},
        {kIdRotateList, "3\t-360.5", kIdRotateList},
        {kIdStartRotation, "nan", kIdStartRotation},
    };
    for (const Refused& test : refused) {
        SCOPED_TRACE(test.text);
        MemoryControls values;
        if (test.control == kIdRotateList)
            values.addLine(kIdRotateList, test.text);
        else
            values.setText(test.control, test.text);
        const MovieSpecResult result = buildMovieSpec(values);
        EXPECT_EQ(result.error.kind, MovieSpecErrorKind::kOutOfRange);
        EXPECT_EQ(result.error.focusControl, test.focus);
    }
    setLines(kIdRotateList, {"3\t-360", "4\tR", "5\t360"});
    EXPECT_EQ(build().timeline.rotateSpecs.rowCount(), 3);
    // "Frames per movie" empty or 0: one movie file, not a file for every frame.
    for (const char* text : {"", "0"}) {
        controls.setText(kIdFramesPerMovie, text);
        EXPECT_EQ(build().output.framesPerMovie, kUnsplitMovie);
    }

    // "Frame by frame" replaces the speed list by key frame 0 at speed 1.
    controls.setSelection(kIdTimeType, 0);
    setLines(kIdSpeedList, {"0\t0"});
    controls.setChecked(kIdFrameByFrame, true);
    EXPECT_EQ(rowsOf(build().timeline.speedSpecs), std::vector<std::string>{"0|1"});

    // A folder too long for the search pattern: 249 characters fit.
    controls.setText(kIdDirectory, "/" + std::string(248, 'd'));
    EXPECT_EQ(build().output.folderPattern.size(), 255u);
    controls.setText(kIdDirectory, "/" + std::string(249, 'd'));
    const MovieSpecResult tooLong = buildMovieSpec(controls);
    EXPECT_EQ(tooLong.error.kind, MovieSpecErrorKind::kFolderPathTooLong);
    EXPECT_EQ(tooLong.error.focusControl, kIdDirectory);
    EXPECT_NE(tooLong.error.message.find("too long"), std::string::npos);
}

TEST_F(MovieSpecTest, TimelineTracksKeepOrSortTheirRowsAndFindCanonicalKeyFrames) {
    setLines(kIdRotateList, {"9\t1.5", "3\tr back", "1\t-2", "07\t5"});
    setLines(kIdDivideList, {"5\t2", "1\t3", "5\t4", "5.0\t9"});
    setLines(kIdColorCountList, {"10\t1", "9\t-2", "10\t3", "2\t5", "0\t2.9"});
    const TimelineSpec timeline = build().timeline;
    EXPECT_EQ(rowsOf(timeline.rotateSpecs),
              (std::vector<std::string>{"9|1.5", "3|r back", "1|-2", "07|5"}));
    EXPECT_EQ(rowsOf(timeline.divideSpecs),
              (std::vector<std::string>{"1|3", "5|2", "5|4", "5.0|9"}));
    EXPECT_EQ(rowsOf(timeline.colorCountSpecs),
              (std::vector<std::string>{"0|2.9", "2|5", "9|-2", "10|1", "10|3"}));
    // A row belongs to a key frame only under its exact decimal text; the first row counts.
    EXPECT_EQ(*timeline.divideSpecs.at(5), 2.0);
    EXPECT_EQ(timeline.colorCountSpecs.at(10)->step, 1);
    EXPECT_EQ(timeline.colorCountSpecs.at(0)->firstKeyFrameStep, 2);
    EXPECT_EQ(timeline.colorCountSpecs.at(0)->step, 2);
    EXPECT_TRUE(timeline.rotateSpecs.at(3)->returnUpright);
    EXPECT_EQ(timeline.rotateSpecs.at(1)->speed, -2.0);
    EXPECT_EQ(timeline.rotateSpecs.at(7), nullptr);  // "07" still counts as a row
    EXPECT_EQ(timeline.rotateSpecs.rowCount(), 4);
}

TEST_F(MovieSpecTest, RotationIsActiveWithRowsOrAStartAngle) {
    EXPECT_FALSE(build().start.rotationActive);
    controls.setText(kIdStartRotation, "0.5");
    MovieSpec spec = build();
    EXPECT_TRUE(spec.start.rotationActive);
    EXPECT_EQ(spec.start.startRotation, 0.5);
    // Only the first 19 characters of the start rotation count.
    controls.setText(kIdStartRotation, "0000000000000000000.5");
    spec = build();
    EXPECT_EQ(spec.start.startRotation, 0.0);
    EXPECT_FALSE(spec.start.rotationActive);
    setLines(kIdRotateList, {"x\t1"});
    EXPECT_TRUE(build().start.rotationActive);
}

TEST_F(MovieSpecTest, ListsGiveTheirNumbers) {
    const std::pair<int, int> merges[] = {{0, 1}, {15, 16}, {-1, 5}};
    for (const auto& [entry, expected] : merges) {
        controls.setSelection(kIdMergeCount, entry);
        EXPECT_EQ(build().zoom.mergeCount, expected) << "entry " << entry;
    }
    controls.setSelection(kIdZoomOutLevel, 3);
    EXPECT_EQ(build().zoom.zoomFactor, 16.0);
    controls.setSelection(kIdColorBits, -1);
    controls.setSelection(kIdColorMethod, 9);
    const MovieSpec spec = build();
    EXPECT_EQ(spec.output.bitsPerPixel, 24);
    EXPECT_EQ(spec.coloring.colorMethod, kStandard);
}

TEST_F(MovieSpecTest, CustomZoomAsksTheZoomSizeAtStart) {
    controls.setSelection(kIdZoomOutLevel, 4);
    controls.setZoomSizeAnswer("1.5");
    prepareStart(controls, 2.0);
    EXPECT_EQ(build().zoom.zoomFactor, 1.5);
    controls.setZoomSizeAnswer(std::nullopt);  // cancelled: the zoom in force stays
    prepareStart(controls, 4.0);
    EXPECT_EQ(build().zoom.zoomFactor, 4.0);
    controls.setZoomSizeAnswer("wide");
    prepareStart(controls, 4.0);
    EXPECT_EQ(build().zoom.zoomFactor, 2.0);
    EXPECT_EQ(controls.zoomSizeQuestions(), 3);
    controls.setSelection(kIdZoomOutLevel, 1);
    prepareStart(controls, 2.0);
    EXPECT_EQ(controls.zoomSizeQuestions(), 3);
}

TEST_F(MovieSpecTest, SlopeAndTextureValues) {
    controls.setText(kIdSlopePower, "7.5");
    controls.setText(kIdTextureMerge, "50");
    controls.setText(kIdTextureStrength, "12.9");
    controls.setInsideColor(0x00102030);
    MovieSpec spec = build();
    EXPECT_EQ(spec.coloring.slopePower, 7.5);
    EXPECT_EQ(spec.texture.textureMerge, 0.5);
    EXPECT_EQ(spec.texture.textureStrength, 12);
    EXPECT_EQ(spec.coloring.insideColor, 0x00102030u);

    controls.setSelection(kIdColorMethod, 5);
    controls.setText(kIdTextureStrength, "-1e300");
    spec = build();
    EXPECT_EQ(spec.coloring.slopePower, 1.0);
    EXPECT_EQ(spec.texture.textureStrength, -2147483647 - 1);
}

TEST_F(MovieSpecTest, WaveListsBecomeSlotArrays) {
    setLines(kIdWaveList, {"H\t100", "S\t-7\t3", "x\t5", "W\t9"});
    setLines(kIdLongWaveList, {"255,128,0\t1000\t50", "256,-1\t7\t2"});
    MovieSpec spec = build();
    EXPECT_EQ(spec.coloring.hsbWaves[0].endFlag, 1);  // "Wave coloring" off: the waves are kept
    const LongWave& first = spec.coloring.longWaves[0];
    EXPECT_EQ(first.color, 0x0080FFu);
    EXPECT_EQ(first.period, 1000);
    EXPECT_EQ(first.percent, 50);
    EXPECT_EQ(spec.coloring.longWaves[1].color, 0x00FF00u);  // channels keep their low 8 bits
    EXPECT_EQ(spec.coloring.longWaves[1].endFlag, 0);
    EXPECT_EQ(spec.coloring.longWaves[2].endFlag, 1);

    controls.setChecked(kIdWaveColoring, true);
    previous.coloring.hsbWaves[2].type = 2;
    spec = build();
    const auto& waves = spec.coloring.hsbWaves;
    EXPECT_TRUE(spec.coloring.waveColoring);
    EXPECT_EQ(waves[0].type, 0);
    EXPECT_EQ(waves[0].period, 100);
    EXPECT_EQ(waves[0].phase, 0);
    EXPECT_EQ(waves[1].type, 1);
    EXPECT_EQ(waves[1].period, -7);
    EXPECT_EQ(waves[1].phase, 3);
    EXPECT_EQ(waves[2].type, 2);  // "x" keeps the slot's type from the last movie
    EXPECT_EQ(waves[3].type, 3);
    EXPECT_EQ(waves[3].endFlag, 0);
    EXPECT_EQ(waves[4].endFlag, 1);

    controls.clearLines(kIdWaveList);
    controls.clearLines(kIdLongWaveList);
    for (int i = 0; i < 61; ++i) {
        controls.addLine(kIdWaveList, "B\t" + std::to_string(i + 1));
        controls.addLine(kIdLongWaveList, "1,2,3\t" + std::to_string(i + 1) + "\t9");
    }
    spec = build();
    EXPECT_EQ(spec.coloring.hsbWaves[59].endFlag + spec.coloring.longWaves[59].endFlag, 0);
    EXPECT_EQ(spec.coloring.hsbWaves[60].endFlag + spec.coloring.longWaves[60].endFlag, 2);

    controls.clearLines(kIdWaveList);
    EXPECT_EQ(build().coloring.hsbWaves[0].endFlag, 1);
}

TEST_F(MovieSpecTest, MultiTextureListsTheFoldersJpegPictures) {
    namespace fs = std::filesystem;
    const fs::path folder = zr::testing::uniqueTempPath("zr_multi_texture");
    fs::remove_all(folder);
    fs::create_directories(folder / "e.jpg");  // a folder, not a picture
    for (const char* name : {"b.JPG", "D.jpg", "a.jpeg", "c.png", "f.jpgx", "g.JPEG"}) {
        std::ofstream(folder / name) << "x";
    }
    const std::string prefix = folder.string() + "/";
    controls.setText(kIdTextureFile, prefix + "chosen.jpg");
    controls.setChecked(kIdTextureMulti, true);
    EXPECT_TRUE(prepareStart(controls, 2.0));
    EXPECT_EQ(controls.text(kIdTextureFile), prefix + "a.jpeg");
    MovieSpec spec = build();
    EXPECT_EQ(spec.texture.textureFiles,
              (std::vector<std::string>{prefix + "a.jpeg", prefix + "b.JPG", prefix + "D.jpg",
                                        prefix + "g.JPEG"}));
    EXPECT_EQ(spec.texture.textureFile, prefix + "a.jpeg");

    // No picture in the folder: the list stays empty and the texture file as it was.
    controls.setText(kIdTextureFile, prefix + "e.jpg/none.jpg");
    EXPECT_FALSE(prepareStart(controls, 2.0));
    spec = build();
    EXPECT_TRUE(spec.texture.textureFiles.empty());
    EXPECT_EQ(spec.texture.textureFile, prefix + "e.jpg/none.jpg");

    // "Multi" off: no list.
    controls.setText(kIdTextureFile, prefix + "chosen.jpg");
    controls.setChecked(kIdTextureMulti, false);
    EXPECT_TRUE(build().texture.textureFiles.empty());
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
