#include "app/cli_options.h"

#include <gtest/gtest.h>

#include "unique_temp_path.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "keyframes/key_frame_writer.h"
#include "settings/memory_controls.h"
#include "settings/setting_types.h"

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
        return applyCommandLine(line, controls, errors);
    }

    fs::path root;
    MemoryControls controls;
    std::ostringstream errors;
};

TEST_F(ApplyCommandLineTest, FolderThenSettingsThenSetsThenFlags) {
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
    EXPECT_EQ(controls.keyFrameCount(), 1);
    EXPECT_EQ(controls.askZoomSize(), std::optional<std::string>("1.5"));
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

}  // namespace
}  // namespace zr
