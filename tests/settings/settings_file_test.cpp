#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include "unique_temp_path.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "settings/memory_controls.h"
#include "settings/setting_types.h"

namespace zr {
namespace {

class SettingsFileTest : public ::testing::Test {
  protected:
    // Controls with every stored setting away from its default.
    static void fillEveryStoredSetting(MemoryControls& c) {
        c.clearLines(kIdSpeedList);
        c.addLine(kIdSpeedList, "0\t25");
        c.addLine(kIdSpeedList, "100\t30");
        c.addLine(kIdRotateList, "3\t0.5");
        c.addLine(kIdCycleList, "1\t2");
        c.addLine(kIdDivideList, "4\t8");
        c.addLine(kIdColorCountList, "6\t-1");
        c.addLine(kIdWaveList, "H\t101");
        c.addLine(kIdWaveList, "W\t-7");
        c.setChecked(kIdWaveColoring, true);
        c.addLine(kIdLongWaveList, "255,0,0\t100\t50");
        c.addLine(kIdLongWaveList, "0,0,255\t200\t30");
        c.setText(kIdDirectory, "/movies/keys");
        c.setText(kIdFps, "25");
        c.setChecked(kIdSlopes, true);
        c.setText(kIdSlopePower, "40");
        c.setText(kIdSlopeRatio, "60");
        c.setText(kIdMovieWidth, "1280");
        c.setText(kIdFramesPerMovie, "777");
        c.setSelection(kIdZoomOutLevel, 2);
        c.setSelection(kIdTimeType, 1);
        c.setSelection(kIdMergeCount, 9);
        c.setChecked(kIdShowZoomText, false);
        c.setChecked(kIdSmoothColoring, false);
        c.setChecked(kIdStopOnLastFrame, true);
        c.setSelection(kIdColorBits, 1);
        c.setSelection(kIdColorMethod, 5);
        c.setText(kIdFontFace, "Liberation Mono");
        c.setChecked(kIdTexture, true);
        c.setText(kIdTextureDepth, "180");
        c.setText(kIdTextureStrength, "90");
        c.setText(kIdTextureMerge, "50");
        c.setChecked(kIdTextureMulti, true);
        c.setText(kIdTextureFile, "/textures/stone.jpg");
        c.setText(kIdMovieFile, "zoom.webm");
        c.setText(kIdVideoCodec, "av1");
        c.setText(kIdCrf, "30");
        c.setText(kIdPreset, "6");
        c.setText(kIdPixelFormat, "yuv420p10le");
        c.setText(kIdSoundFile, "/music/theme.ogg");
        c.setText(kIdSoundOffset, "-1.5");
        c.setChecked(kIdSubpixelZoom, true);
        c.setText(kIdSupersample, "3");
    }

    static std::string crlf(std::initializer_list<const char*> lines) {
        std::string text;
        for (const char* line : lines)
            text += std::string(line) + "\r\n";
        return text;
    }
};

TEST_F(SettingsFileTest, DefaultControlsWriteTheseLines) {
    const MemoryControls controls;
    EXPECT_EQ(settingsText(controls), crlf({"SPEED: 0\t25",
                                            "ROTATE: ",
                                            "CYCLE: ",
                                            "DIVIDE: ",
                                            "NOC: ",
                                            "LONGWAVES: ",
                                            "DIR: ",
                                            "FPS: 30",
                                            "Slope: 0",
                                            "SlopePower: ",
                                            "SlopeRatio: ",
                                            "FPM: ",
                                            "ZOL: 0",
                                            "TimeType: 0",
                                            "MergeFrames: 4",
                                            "SZT: 1",
                                            "SCT: 1",
                                            "SMD: 0",
                                            "MSZ: ",
                                            "BIT: 24",
                                            "COL: 0",
                                            "FONT: Courier New",
                                            "TEXTURE: 0",
                                            "TEXTUREDEPTH: ",
                                            "TEXTURESTRENGTH: ",
                                            "TEXTUREMERGE: ",
                                            "TEXTUREFILE: ",
                                            "TEXTURE_MULTI: 0"}));
}

TEST_F(SettingsFileTest, SaveThenLoadRestoresEveryStoredSetting) {
    MemoryControls saved;
    fillEveryStoredSetting(saved);
    const std::string text = settingsText(saved);
    EXPECT_NE(text.find("WAVES: H\t101,W\t-7\r\n"), std::string::npos);
    EXPECT_NE(text.find("LONGWAVES: 255,0,0\t100\t50:0,0,255\t200\t30\r\n"), std::string::npos);

    MemoryControls loaded;
    EXPECT_TRUE(applySettingsText(loaded, text).empty());
    // Every stored value comes back; "Frames per movie" follows the loaded movie width.
    EXPECT_EQ(loaded.text(kIdMovieHeight), "720");
    EXPECT_EQ(loaded.text(kIdFramesPerMovie), "1125");
    EXPECT_EQ(loaded.text(kIdTextureFile), "/textures/stone.jpg");
    EXPECT_EQ(settingsText(loaded),
              settingsText(saved).replace(text.find("FPM: 777"), 8, "FPM: 1125"));
}

TEST_F(SettingsFileTest, SubpixelKeysAreWrittenOnlyAwayFromTheirDefaults) {
    // Files saved with sub-pixel zoom off hold only the lines older files hold.
    MemoryControls controls;
    EXPECT_EQ(settingsText(controls).find("Subpixel"), std::string::npos);
    EXPECT_EQ(settingsText(controls).find("Supersample"), std::string::npos);
    controls.setChecked(kIdSubpixelZoom, true);
    EXPECT_NE(settingsText(controls).find("SubpixelZoom: 1\r\n"), std::string::npos);
    EXPECT_EQ(settingsText(controls).find("Supersample"), std::string::npos);

    MemoryControls loaded;
    EXPECT_TRUE(applySettingsText(loaded, crlf({"SubpixelZoom: 1", "Supersample: 9"})).empty());
    EXPECT_TRUE(loaded.checked(kIdSubpixelZoom));
    EXPECT_EQ(loaded.text(kIdSupersample), "9");  // the movie takes at most 4
}

TEST_F(SettingsFileTest, WaveLineFollowsWaveColoring) {
    MemoryControls controls;
    controls.addLine(kIdWaveList, "B\t9");
    EXPECT_EQ(settingsText(controls).find("WAVES: B"), std::string::npos);

    MemoryControls target;
    target.setChecked(kIdWaveColoring, false);
    applySettingsText(target, crlf({"FPS: 30"}));
    EXPECT_FALSE(target.checked(kIdWaveColoring));
    applySettingsText(target, crlf({"WAVES: "}));
    EXPECT_TRUE(target.checked(kIdWaveColoring));
}

TEST_F(SettingsFileTest, LoadingChangesOnlyTheKeysItFinds) {
    MemoryControls controls;
    fillEveryStoredSetting(controls);
    // The keys a file leaves out at their default return to it; the others stay as they were.
    MemoryControls expected;
    fillEveryStoredSetting(expected);
    for (const Parameter& parameter : parameters()) {
        if (parameter.omittedAtDefault || parameter.omittedWhenEmpty)
            applyDefaultValue(expected, parameter);
    }
    const std::string before = settingsText(expected);
    int estimates = 0;
    controls.setMovieLengthHook([&estimates](Controls&) { ++estimates; });

    applySettingsText(controls, crlf({"FPS: 25", "fps: 99", "FPS: 12", "Unknown: 1"}));
    EXPECT_EQ(controls.text(kIdFps), "25");  // first occurrence, case-sensitive keys
    EXPECT_EQ(estimates, 1);
    EXPECT_EQ(settingsText(controls), before);

    applySettingsText(controls, crlf({"ZOL: 5", "COL: 2"}));
    EXPECT_EQ(controls.selection(kIdZoomOutLevel), -1);
    EXPECT_EQ(controls.selection(kIdColorMethod), 2);

    applySettingsText(controls, crlf({"BIT: 32"}));
    EXPECT_EQ(controls.selection(kIdColorBits), 1);
    applySettingsText(controls, crlf({"BIT: 16"}));
    EXPECT_EQ(controls.selection(kIdColorBits), 0);

    // A list line holding a comma comes back as two lines; an empty value clears the list.
    applySettingsText(controls, crlf({"ROTATE: 4\t0,5", "CYCLE: "}));
    EXPECT_EQ(controls.lines(kIdRotateList), (std::vector<std::string>{"4\t0", "5"}));
    EXPECT_TRUE(controls.lines(kIdCycleList).empty());

    // A value holding ": " keeps only its first part; a key without value reads as empty.
    applySettingsText(controls, crlf({"DIR: /a: b", "FONT"}));
    EXPECT_EQ(controls.text(kIdDirectory), "/a");
    EXPECT_EQ(controls.text(kIdFontFace), "");
}

TEST_F(SettingsFileTest, LineFeedOnlyFilesLoadLikeCrLfFiles) {
    MemoryControls saved;
    fillEveryStoredSetting(saved);
    std::string text = settingsText(saved);
    std::string lfOnly;
    for (const char c : text) {
        if (c != '\r')
            lfOnly += c;
    }
    MemoryControls fromLf;
    applySettingsText(fromLf, lfOnly);
    EXPECT_EQ(settingsText(fromLf),
              settingsText(saved).replace(text.find("FPM: 777"), 8, "FPM: 1125"));

    // A carriage return that ends no line stays in the value.
    applySettingsText(fromLf, "FONT: a\rb\nFPS: 7");
    EXPECT_EQ(fromLf.text(kIdFontFace), "a\rb");
    EXPECT_EQ(fromLf.text(kIdFps), "7");
}

TEST_F(SettingsFileTest, TooLongTexturePathIsRefused) {
    MemoryControls controls;
    controls.setText(kIdTextureFile, "/t/old.jpg");
    const std::string tooLong = "/" + std::string(255, 't');
    const std::vector<std::string> notes =
        applySettingsText(controls, "TEXTUREFILE: " + tooLong + "\r\nFPS: 5\r\n");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("texture file"), std::string::npos);
    EXPECT_EQ(controls.text(kIdTextureFile), "/t/old.jpg");
    EXPECT_EQ(controls.text(kIdFps), "5");
}

TEST_F(SettingsFileTest, ValuesEndAtTheNextSeparator) {
    MemoryControls controls;
    applySettingsText(controls, "FONT: Arial: Bold\nSPEED: 0\t25,,1\t30,\nROTATE: ,\nCYCLE: \n");
    EXPECT_EQ(controls.text(kIdFontFace), "Arial");
    EXPECT_EQ(controls.lines(kIdSpeedList), (std::vector<std::string>{"0\t25", "", "1\t30"}));
    EXPECT_EQ(controls.lines(kIdRotateList), std::vector<std::string>{""});
    EXPECT_TRUE(controls.lines(kIdCycleList).empty());
}

// A list of a million lines, or one line of megabytes, would take hundreds of megabytes in the
// tables made of it.
TEST_F(SettingsFileTest, OverlongListsAreLeftUnchanged) {
    MemoryControls controls;
    controls.clearLines(kIdSpeedList);
    controls.addLine(kIdSpeedList, "0\t25");
    std::string manyLines = "1";
    for (std::size_t line = 1; line < kMaxListLines; ++line)
        manyLines += ",1";
    const std::vector<std::pair<std::string, std::string>> tooLong = {
        {"too many lines", manyLines + ",1"},
        {"too many bytes", "0\t" + std::string(kMaxListBytes, '7')},
    };
    for (const auto& [what, list] : tooLong) {
        SCOPED_TRACE(what);
        const auto notes = applySettingsText(controls, "SPEED: " + list + "\r\nFPS: 5\r\n");
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_NE(notes[0].find("SPEED list"), std::string::npos);
        EXPECT_EQ(controls.lines(kIdSpeedList), std::vector<std::string>{"0\t25"});
        EXPECT_EQ(controls.text(kIdFps), "5");
    }
    EXPECT_TRUE(applySettingsValue(controls, "ROTATE", manyLines));
    EXPECT_EQ(controls.lines(kIdRotateList).size(), kMaxListLines);
}

TEST_F(SettingsFileTest, FilesRoundTripAndReportFailures) {
    namespace fs = std::filesystem;
    const fs::path path = zr::testing::uniqueTempPath("zr_settings_roundtrip.zrs");
    MemoryControls saved;
    fillEveryStoredSetting(saved);
    ASSERT_TRUE(saveSettingsFile(saved, path.string()).ok);
    MemoryControls loaded;
    ASSERT_TRUE(loadSettingsFile(loaded, path.string()).ok);
    EXPECT_EQ(loaded.lines(kIdLongWaveList), saved.lines(kIdLongWaveList));
    fs::remove(path);

    const SettingsFileResult missing = loadSettingsFile(loaded, path.string());
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, "Could not create file");
    EXPECT_NE(missing.detail.find(path.string()), std::string::npos);

    const SettingsFileResult unwritable =
        saveSettingsFile(saved, (path / "inside-a-missing-folder.zrs").string());
    EXPECT_FALSE(unwritable.ok);
    EXPECT_EQ(unwritable.error, "Could not create file");

    // A link at the name is refused, and what it points to stays as it was.
    const fs::path target = zr::testing::uniqueTempPath("zr_settings_target.txt");
    std::ofstream(target) << "keep";
    fs::create_symlink(target, path);
    EXPECT_FALSE(saveSettingsFile(saved, path.string()).ok);
    EXPECT_EQ(fs::file_size(target), 4u);
    fs::remove(path);
    fs::remove(target);
}

TEST_F(SettingsFileTest, AnyBytesLoadWithoutHarm) {
    MemoryControls saved;
    fillEveryStoredSetting(saved);
    const std::string valid = settingsText(saved);
    std::mt19937 random(1234);
    for (std::size_t cut = 0; cut <= valid.size(); cut += 7) {
        MemoryControls controls;
        applySettingsText(controls, std::string_view(valid).substr(0, cut));
    }
    using namespace std::string_literals;
    const std::string alphabet = "SPEDFOLWAVZ:, \r\n\t0123456789-.\0\xff"s;
    for (int trial = 0; trial < 300; ++trial) {
        std::string text = valid;
        const int edits = 1 + static_cast<int>(random() % 40);
        for (int e = 0; e < edits; ++e) {
            text[random() % text.size()] = alphabet[random() % alphabet.size()];
        }
        if (trial % 3 == 0) {
            text.resize(random() % 400);
            for (char& c : text)
                c = static_cast<char>(random());
        }
        MemoryControls controls;
        applySettingsText(controls, text);
        EXPECT_GE(controls.selection(kIdMergeCount), -1);
        EXPECT_LT(controls.selection(kIdMergeCount), 16);
    }
}

}  // namespace
}  // namespace zr
