#include "app/cli_options.h"

#include <gtest/gtest.h>

#include "unique_temp_path.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "keyframes/key_frame_writer.h"
#include "settings/memory_controls.h"
#include "settings/parameter_check.h"
#include "settings/setting_types.h"
#include "settings/settings_file.h"

namespace zr {
namespace {

namespace fs = std::filesystem;

// A command with options of its own besides the settings options.
constexpr CliOption kTestOptions[] = {
    {"--frame", "K", "a key frame"}, {"--output", "FILE.png", "a file"}, {"--verbose", "", "more"}};
constexpr CliCommand kTestCommand{"test",
                                  "FOLDER",
                                  "key frame FOLDER",
                                  ValueCompletion::kFolder,
                                  true,
                                  MovieFileOptionUse::kNone,
                                  kTestOptions,
                                  "tests",
                                  "Tests."};

std::string parseError(const std::vector<std::string>& args,
                       const CliCommand& command = kTestCommand) {
    CommandLine line;
    std::string error;
    return parseCommandLine(command, args, line, error) ? std::string() : error;
}

TEST(CliOptionsTest, ParsesFolderOptionsAndCommandExtras) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(parseCommandLine(kTestCommand,
                                 {"--set", "FPS=25", "keys", "--frame=3", "--set=SPEED=0\t5,9\t7",
                                  "--elliptic", "--start-cycle", "-1.5", "--output", "a.png",
                                  "--verbose", "--inside-color", "255,0,7", "--frame", "4"},
                                 line, error))
        << error;
    EXPECT_EQ(line.folder, "keys");
    EXPECT_EQ(line.sets, (std::vector<std::pair<std::string, std::string>>{
                             {"FPS", "25"}, {"SPEED", "0\t5,9\t7"}}));
    EXPECT_EQ(line.flags,
              (std::vector<std::pair<std::string, std::string>>{
                  {"--elliptic", ""}, {"--start-cycle", "-1.5"}, {"--inside-color", "255,0,7"}}));
    EXPECT_EQ(line.extra("--frame"), "4");
    EXPECT_EQ(line.extra("--output"), "a.png");
    EXPECT_TRUE(line.hasExtra("--verbose"));
    EXPECT_FALSE(line.hasExtra("--codec"));
    EXPECT_FALSE(line.help);
}

TEST(CliOptionsTest, HelpWinsOverMistakesAndRequiredOptionsAreChecked) {
    CommandLine line;
    std::string error;
    const CliCommand& preview = *findCliCommand("preview");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"a", "b", "-h", "--bogus"}, {"--frame", "--help"}}) {
        EXPECT_TRUE(parseCommandLine(preview, args, line, error)) << args.back();
        EXPECT_TRUE(line.help);
    }
    EXPECT_NE(parseError({"keys", "--frame", "1"}, preview).find("--output"), std::string::npos);
    EXPECT_NE(parseError({"x"}, *findCliCommand("codecs")).find("\"x\""), std::string::npos);
    // Only the commands that render take the settings options.
    EXPECT_NE(
        parseError({"films", "--set", "FPS=3"}, *findCliCommand("make-keyframes")).find("--set"),
        std::string::npos);
}

TEST(CliOptionsTest, UsageErrorsNameTheOption) {
    EXPECT_NE(parseError({"keys", "--bogus=1"}).find("--bogus"), std::string::npos);
    EXPECT_NE(parseError({"keys", "--codec", "MJPG"}).find("--codec"), std::string::npos);
    EXPECT_NE(parseError({"keys", "--start-frame"}).find("--start-frame"), std::string::npos);
    EXPECT_NE(parseError({"keys", "--elliptic=1"}).find("--elliptic"), std::string::npos);
    EXPECT_NE(parseError({"--test-only"}).find("FOLDER"), std::string::npos);
    EXPECT_NE(parseError({"a", "b"}).find("FOLDER"), std::string::npos);
    EXPECT_NE(parseError({"a", "--settings", "x", "--settings", "y"}).find("--settings"),
              std::string::npos);
    for (const char* bad : {"fps=25", "FPS", "=3"}) {
        EXPECT_NE(parseError({"keys", "--set", bad}).find("--set"), std::string::npos) << bad;
    }
    const std::pair<const char*, const char*> badValues[] = {
        {"--start-frame", "-1"},       {"--start-frame", "3x"},   {"--start-frame", "99999999999"},
        {"--start-iteration", ""},     {"--start-cycle", "fast"}, {"--start-rotation", "inf"},
        {"--movie-height", "0"},       {"--inside-color", "1,2"}, {"--inside-color", "1,2,256"},
        {"--inside-color", "1,2,3,4"}, {"--zoom-size", "big"},
    };
    for (const auto& [option, value] : badValues) {
        const std::string error = parseError({"keys", option, value});
        EXPECT_NE(error.find(option), std::string::npos) << option << " " << value;
    }
    EXPECT_EQ(parseError({"keys", "--start-frame", "+7", "--start-rotation", "1e2"}), "");
}

// A value of the parameter's type that its range leaves out, or of another type.
std::string refusedValue(const Parameter& parameter) {
    switch (parameter.kind) {
        case ParameterKind::kWholeNumber:
            return "1e3";
        case ParameterKind::kDecimal:
            return "30abc";
        case ParameterKind::kCheck:
        case ParameterKind::kChoice:
            return "99";
        case ParameterKind::kColorBits:
            return "16";
        case ParameterKind::kInsideColor:
            return "1,2";
        case ParameterKind::kSpecList:
        case ParameterKind::kWaveList:
        case ParameterKind::kLongWaveList:
            return "0 25";  // a blank where the TAB belongs
        default:
            return std::string(parameter.maxLength + 1, 'a');
    }
}

TEST(CliOptionsTest, EverySetAndFlagRefusesAValueItCannotUseNamingIt) {
    const CliCommand& render = *findCliCommand("render");
    for (const Parameter& parameter : parameters()) {
        const bool textWithoutLimit =
            (parameter.kind == ParameterKind::kText || parameter.kind == ParameterKind::kFolder) &&
            parameter.maxLength == 0;
        if (textWithoutLimit)
            continue;
        const std::string name(parameterName(parameter));
        if (!parameter.key.empty()) {
            const std::string error =
                parseError({"keys", "--set", name + "=" + refusedValue(parameter)}, render);
            EXPECT_NE(error.find(name, error.find(": ")), std::string::npos) << error;
            EXPECT_NE(error.find("--set " + name + "="), std::string::npos) << error;
        }
        if (!parameter.flag.empty() && parameter.kind != ParameterKind::kCheck) {
            const std::string flag(parameter.flag);
            const std::string error = parseError({"keys", flag, refusedValue(parameter)}, render);
            EXPECT_EQ(error.rfind(flag + " ", 0), 0u) << error;
        }
    }
    EXPECT_EQ(parseError({"keys", "--set", "FPS=1e3"}),
              "--set FPS=1e3: FPS is a whole number of frames a second, 1 to 1000");
    EXPECT_NE(parseError({"keys", "--set", "Fps=12"}).find("keys match exactly: FPS"),
              std::string::npos);
    EXPECT_NE(parseError({"keys", "--set", "SPEED=0\t25,5\tabc"}).find("line 2 \"5<TAB>abc\""),
              std::string::npos);
    EXPECT_NE(parseError({"keys", "--zoom-size", "1"}).find("above 1"), std::string::npos);
}

// readCommandLine on `args`, with what it writes to standard error.
int readWithErrors(const std::vector<std::string>& args, std::string& errors) {
    std::ostringstream captured;
    std::streambuf* const kept = std::cerr.rdbuf(captured.rdbuf());
    CommandLine line;
    const std::optional<int> status = readCommandLine(*findCliCommand("plan"), args, line);
    std::cerr.rdbuf(kept);
    errors = captured.str();
    return status.value_or(0);
}

TEST(CliOptionsTest, SettingsFilesAreRefusedForBadValuesAndWarnedOfForLinesPassedOver) {
    const fs::path root = zr::testing::uniqueTempPath("zr_cli_settings_check");
    fs::create_directories(root);
    const auto file = [&root](const std::string& name, const std::string& text) {
        std::ofstream(root / name, std::ios::binary) << text;
        return (root / name).string();
    };
    std::string errors;
    const std::string bad = file("bad.zrs", "SPEED: 0\t25\r\nFPS: 30abc\r\n");
    EXPECT_EQ(readWithErrors({"keys", "--settings", bad}, errors), 2);
    EXPECT_NE(errors.find("bad.zrs:2: FPS: 30abc: FPS is a whole number"), std::string::npos)
        << errors;

    const std::string typos = file("typos.zrs", "FPS: 25\r\nFps: 12\r\nFOO: 1\r\n");
    EXPECT_EQ(readWithErrors({"keys", "--settings", typos}, errors), 0);
    EXPECT_NE(errors.find("warning: " + typos + ":2: unknown key Fps"), std::string::npos)
        << errors;
    EXPECT_NE(errors.find(typos + ":3: unknown key FOO"), std::string::npos) << errors;
    EXPECT_EQ(readWithErrors({"keys", "--settings", typos, "--strict"}, errors), 2);
    EXPECT_NE(errors.find(typos + ":2: unknown key Fps (keys match exactly: FPS?); the line is "
                                  "passed over (--strict)"),
              std::string::npos)
        << errors;

    for (const std::string& notSettings :
         {file("passwd", "root:x:0:0:root:/root:/bin/bash\n"), file("binary",
                                                                    "\x7f"
                                                                    "ELF\x02")}) {
        EXPECT_EQ(readWithErrors({"keys", "--settings", notSettings}, errors), 2);
        EXPECT_NE(errors.find("it is no settings file"), std::string::npos) << errors;
    }
    fs::remove_all(root);
}

class ApplyCommandLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = zr::testing::uniqueTempPath("zr_cli_options");
        fs::remove_all(root);
        fs::create_directories(root / "keys");
        std::string error;
        ASSERT_TRUE(writeKeyFrameFile((root / "keys" / "00001_1e3.zmb").string(),
                                      KeyFrameFileData::uniform(320, 180), &error));
    }
    void TearDown() override { fs::remove_all(root); }

    int apply(const std::vector<std::string>& args) {
        CommandLine line;
        std::string error;
        EXPECT_TRUE(parseCommandLine(*findCliCommand("plan"), args, line, error)) << error;
        controls = MemoryControls();  // each command line starts from a fresh dialog
        return applyCommandLine(line, controls, errors);
    }

    fs::path root;
    MemoryControls controls;
    std::ostringstream errors;
};

TEST_F(ApplyCommandLineTest, FolderThenSettingsThenSetsThenFlags) {
    std::string error;
    for (const char* name : {"00002_5e2.zmb", "00003_2.5e2.zmb"}) {
        ASSERT_TRUE(writeKeyFrameFile((root / "keys" / name).string(),
                                      KeyFrameFileData::uniform(320, 180), &error));
    }
    const fs::path settings = root / "movie.zrs";
    std::ofstream(settings, std::ios::binary)
        << "DIR: /elsewhere\r\nMSZ: 1280\r\nFPS: 24\r\nCOL: 2\r\nZOL: 4\r\n";
    EXPECT_EQ(apply({(root / "keys").string(), "--movie-height", "500", "--set", "MSZ=640",
                     "--settings", settings.string(), "--set", "FPS=12", "--set", "FPS=15",
                     "--test-only", "--wave-coloring", "--inside-color", "1,2,3", "--start-frame",
                     "2", "--zoom-size", "1.5"}),
              0)
        << errors.str();
    EXPECT_EQ(controls.text(kIdDirectory), (root / "keys").string());
    EXPECT_EQ(controls.text(kIdFrameWidth), "320");
    EXPECT_EQ(controls.text(kIdMovieWidth), "640");
    EXPECT_EQ(controls.text(kIdMovieHeight), "500");      // the flag comes after the width
    EXPECT_EQ(controls.text(kIdFramesPerMovie), "4500");  // from 640 x 360
    EXPECT_EQ(controls.text(kIdFps), "15");
    EXPECT_EQ(controls.selection(kIdColorMethod), 2);
    EXPECT_EQ(controls.text(kIdStartFrame), "2");
    EXPECT_TRUE(controls.checked(kIdTestOnly));
    EXPECT_TRUE(controls.checked(kIdWaveColoring));
    EXPECT_FALSE(controls.checked(kIdEllipticRegion));
    EXPECT_EQ(controls.insideColor(), 0x030201u);
    EXPECT_EQ(controls.keyFrameCount(), 3);
    EXPECT_EQ(controls.askZoomSize(), std::optional<std::string>("1.5"));
}

TEST_F(ApplyCommandLineTest, AnMp4MovieIsOneFileUnlessASettingsFileOrSetSaysHowItIsSplit) {
    std::string error;
    ASSERT_TRUE(writeKeyFrameFile((root / "keys" / "00001_1e0.zmb").string(),
                                  KeyFrameFileData::uniform(320, 180), &error));
    const std::string keys = (root / "keys").string();
    EXPECT_EQ(apply({keys, "--output", "z.mp4"}), 0) << errors.str();
    EXPECT_EQ(controls.text(kIdFramesPerMovie), "0");
    // A settings file that holds the AVI proposal keeps it, as the dialog's Load does.
    const fs::path settings = root / "split.zrs";
    std::ofstream(settings, std::ios::binary) << "FPM: 4500\r\nMOVIEFILE: z.mp4\r\n";
    EXPECT_EQ(apply({keys, "--settings", settings.string()}), 0) << errors.str();
    EXPECT_EQ(controls.text(kIdFramesPerMovie), "4500");
    EXPECT_EQ(apply({keys, "--output", "z.mp4", "--set", "FPM=4500"}), 0) << errors.str();
    EXPECT_EQ(controls.text(kIdFramesPerMovie), "4500");
}

TEST_F(ApplyCommandLineTest, FailuresAreReported) {
    EXPECT_EQ(apply({(root / "none").string()}), 1);
    EXPECT_NE(errors.str().find("\"" + (root / "none").string() + "\" does not exist"),
              std::string::npos);
    errors.str("");
    fs::create_directories(root / "empty");
    EXPECT_EQ(apply({(root / "empty").string()}), 1);
    EXPECT_NE(errors.str().find("Could not open file in this directory"), std::string::npos);
    errors.str("");
    EXPECT_EQ(apply({(root / "keys").string(), "--settings", (root / "no.zrs").string()}), 1);
    EXPECT_NE(errors.str().find("no.zrs"), std::string::npos);
}

TEST_F(ApplyCommandLineTest, WhatTheFolderAndSettingsTogetherRuleOutIsRefused) {
    const std::string keys = (root / "keys").string();
    EXPECT_EQ(apply({keys, "--start-frame", "1"}), 1);
    EXPECT_NE(errors.str().find("zoomreel-cli plan: --start-frame 1: the folder's key frames are 0 "
                                "to 0"),
              std::string::npos)
        << errors.str();
    errors.str("");
    EXPECT_EQ(apply({keys, "--set", "MSZ=16384"}), 1);  // 1.8 GB composed at zoom 2
    EXPECT_NE(errors.str().find("Movie too large"), std::string::npos) << errors.str();
    errors.str("");
    EXPECT_EQ(apply({keys, "--set", "SPEED=0\t01:30"}), 1);
    EXPECT_NE(errors.str().find("TimeType is 0"), std::string::npos) << errors.str();
    errors.str("");
    // A number with time stamps is read as seconds, as Start reads it.
    EXPECT_EQ(apply({keys, "--set", "TimeType=1", "--set", "SPEED=0\t25"}), 0);
    EXPECT_NE(errors.str().find("reads the number as a time stamp of seconds"), std::string::npos);
    errors.str("");
    // Lines of key frames the folder does not hold, and supersampling alone, change nothing.
    EXPECT_EQ(apply({keys, "--set", "SPEED=0\t25,9\t50", "--supersample", "2"}), 0);
    EXPECT_NE(errors.str().find("SPEED line 2 \"9<TAB>50\" names key frame 9"), std::string::npos)
        << errors.str();
    EXPECT_NE(errors.str().find("Supersample 2 changes nothing"), std::string::npos);
    errors.str("");
    EXPECT_EQ(apply({keys, "--dump-images"}), 0);
    EXPECT_NE(errors.str().find("--dump-images saves pictures only while the movie turns"),
              std::string::npos);
    errors.str("");
    EXPECT_EQ(apply({keys, "--dump-images", "--start-rotation", "5"}), 0);
    EXPECT_EQ(errors.str(), "");
    errors.str("");
    EXPECT_EQ(apply({keys, "--set", "SPEED=0\t25,9\t50", "--strict"}), 1);
    EXPECT_NE(errors.str().find("--strict: refused for the warning above"), std::string::npos);

    // Key frames whose names step by a zoom of 4, and the zoom out level at 2.
    fs::create_directories(root / "keys4");
    std::string error;
    for (const char* name : {"00001_1.6e1.zmb", "00002_4e0.zmb", "00003_1e0.zmb"}) {
        ASSERT_TRUE(writeKeyFrameFile((root / "keys4" / name).string(),
                                      KeyFrameFileData::uniform(32, 18), &error));
    }
    errors.str("");
    EXPECT_EQ(apply({(root / "keys4").string()}), 0);
    EXPECT_NE(errors.str().find("step by a zoom of 4, but the zoom out level (ZOL) gives 2 between "
                                "key frames; --set ZOL=1 fits them"),
              std::string::npos)
        << errors.str();
    errors.str("");
    EXPECT_EQ(apply({(root / "keys4").string(), "--set", "ZOL=1"}), 0);
    EXPECT_EQ(errors.str(), "");
}

TEST_F(ApplyCommandLineTest, SavedSettingsLoadToTheSameControls) {
    const std::string keys = (root / "keys").string();
    const std::string saved = (root / "saved.zrs").string();
    ASSERT_EQ(apply({keys, "--set", "FPS=12", "--set", "SPEED=0\t9", "--subpixel-zoom", "--set",
                     "COL=3", "--save-settings", saved}),
              0)
        << errors.str();
    const std::string written = settingsText(controls);
    ASSERT_EQ(apply({keys, "--settings", saved}), 0) << errors.str();
    EXPECT_EQ(settingsText(controls), written);
    EXPECT_TRUE(controls.checked(kIdSubpixelZoom));

    fs::create_symlink(root / "elsewhere.zrs", root / "link.zrs");
    EXPECT_EQ(apply({keys, "--save-settings", (root / "link.zrs").string()}), 1);
    EXPECT_FALSE(fs::exists(root / "elsewhere.zrs"));
}

}  // namespace
}  // namespace zr
