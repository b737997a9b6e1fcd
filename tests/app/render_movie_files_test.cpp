// The command line's render writes MP4, Matroska and WebM files with a soundtrack, each split
// file with its own stretch of it; join puts them together as one render would have written
// them; settings that cannot give a movie file stop the render before its first frame.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_run.h"
#include "app/commands.h"
#include "output/movie_reader.h"

namespace zr {
namespace {

namespace fs = std::filesystem;
using testing::DecodedMovie;
using testing::DecodedSound;
using testing::decodeMovie;
using testing::decodeSound;
using testing::TempFolder;
using testing::writeWav;

using testing::CommandRun;

CommandRun run(int (*command)(const std::vector<std::string>&),
               const std::vector<std::string>& args) {
    return testing::runCommand(command, args);
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

constexpr int kSampleRate = 48000;
constexpr double kOffset = 0.1;  // the soundtrack begins this far into the movie
// Clicks of the soundtrack, in soundtrack time: in the first two of three files (0.6, 0.6 and
// 0.4 s).
constexpr double kClicks[] = {0.2, 0.45, 0.8};

// The files of the movie as the plan lists them: "# NAME<TAB>FIRST<TAB>FRAMES".
struct PlannedFile {
    std::string name;
    long long first = 0;
    long long frames = 0;
};
std::vector<PlannedFile> plannedFiles(const std::string& plan) {
    std::vector<PlannedFile> files;
    std::istringstream lines(plan);
    for (std::string line; std::getline(lines, line);) {
        PlannedFile file;
        std::istringstream cells(line.substr(std::min<std::size_t>(2, line.size())));
        if (line.starts_with("# film") && std::getline(cells, file.name, '\t') &&
            cells >> file.first >> file.frames) {
            files.push_back(file);
        }
    }
    return files;
}

// The times of the clicks in decoded sound: where it first rises above half the loudest sample
// after a quiet stretch.
std::vector<double> clickTimes(const DecodedSound& sound) {
    float loudest = 0.0f;
    for (const float sample : sound.samples) {
        loudest = std::max(loudest, std::abs(sample));
    }
    std::vector<double> times;
    std::size_t quietSince = 0;
    for (std::size_t i = 0; i < sound.samples.size(); ++i) {
        if (std::abs(sound.samples[i]) > loudest / 2) {
            if (i >= quietSince + kSampleRate / 20) {
                times.push_back(static_cast<double>(i) / sound.sampleRate + sound.startSeconds);
            }
            quietSince = i;
        }
    }
    return times;
}

class RenderMovieFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, run(runMakeKeyframesCommand,
                         {keys(), "--count", "4", "--size", "64x36", "--iterations", "200"})
                         .status);
        std::vector<float> samples(static_cast<std::size_t>(1.2 * kSampleRate), 0.0f);
        for (const double click : kClicks) {
            const auto at = static_cast<std::size_t>(click * kSampleRate);
            for (std::size_t i = at; i < at + 96; ++i) {
                samples[i] = (i - at) % 2 == 0 ? 0.9f : -0.9f;
            }
        }
        writeWav(soundtrack(), kSampleRate, samples);
    }

    std::string keys() const { return folder.path().string(); }
    std::string soundtrack() const { return folder.file("clicks.wav"); }
    // A movie of 16 frames at 10 frames a second, in files of 6 frames.
    std::vector<std::string> movie() const {
        return {"--set", "SPEED=0\t5", "--set", "FPS=10", "--set", "SMD=1", "--set", "FPM=6"};
    }
    std::vector<std::string> sound() const {
        return {"--audio", soundtrack(), "--audio-offset", "0.1"};
    }
    std::vector<std::string> movieFiles() const {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder.path())) {
            if (entry.path().filename().string().starts_with("film")) {
                names.push_back(entry.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder folder;
};

TEST_F(RenderMovieFilesTest, SplitFilesCarryTheirStretchOfTheSoundtrackAndJoinAsOne) {
    struct Case {
        const char* extension;
        std::vector<std::string> codec;
        bool lossless;
    };
    for (const Case& c : {Case{".mp4", {}, false}, Case{".mkv", {"--codec", "ffv1"}, true},
                          Case{".webm", {}, false}}) {
        SCOPED_TRACE(c.extension);
        const std::string first = folder.file(std::string("film") + c.extension);
        const std::vector<std::string> output =
            std::vector<std::string>{"--output", first} + c.codec;
        const CommandRun plan =
            run(runPlanCommand, std::vector<std::string>{keys()} + movie() + output + sound());
        ASSERT_EQ(0, plan.status) << plan.err;
        const std::vector<PlannedFile> planned = plannedFiles(plan.out);
        ASSERT_EQ(3u, planned.size()) << plan.out;
        EXPECT_EQ(std::string("film_02") + c.extension, planned[2].name);
        EXPECT_NE(plan.out.find("# soundtrack plays\t00:00:00.100\tto\t00:00:01.300\t"),
                  std::string::npos)
            << plan.out;

        const CommandRun render =
            run(runRenderCommand, std::vector<std::string>{keys()} + movie() + output + sound());
        ASSERT_EQ(0, render.status) << render.err;
        std::vector<FrameImage> frames;
        for (const PlannedFile& file : planned) {
            SCOPED_TRACE(file.name);
            const DecodedMovie movie = decodeMovie(folder.file(file.name));
            ASSERT_EQ("", movie.error);
            ASSERT_EQ(file.frames, static_cast<long long>(movie.frames.size()));
            frames.insert(frames.end(), movie.frames.begin(), movie.frames.end());
            // The file's sound starts with its first frame and lasts as long as its frames,
            // within one frame.
            const DecodedSound sound = decodeSound(folder.file(file.name));
            ASSERT_EQ("", sound.error);
            const double seconds = static_cast<double>(file.frames) / 10.0;
            EXPECT_NEAR(0.0, sound.startSeconds, 1e-3);
            EXPECT_NEAR(seconds, sound.seconds(), 0.1);
            // Its clicks are those of its stretch of the soundtrack, within one audio frame.
            const double begins = static_cast<double>(file.first) / 10.0;
            std::vector<double> expected;
            for (const double click : kClicks) {
                const double at = click + kOffset - begins;
                if (at >= 0.0 && at < seconds && file.first + file.frames < 16) {
                    expected.push_back(at);
                }
            }
            if (file.first + file.frames < 16) {  // the last file fades out
                const std::vector<double> heard = clickTimes(sound);
                ASSERT_EQ(expected.size(), heard.size());
                for (std::size_t i = 0; i < heard.size(); ++i) {
                    EXPECT_NEAR(expected[i], heard[i], 1024.0 / kSampleRate);
                }
            }
        }

        // join, knowing the render's settings, holds every planned frame.
        const std::string joined = folder.file(std::string("joined") + c.extension);
        const CommandRun join =
            run(runJoinCommand, std::vector<std::string>{keys()} + movie() +
                                    std::vector<std::string>{"--output", joined} + sound());
        ASSERT_EQ(0, join.status) << join.err;
        const DecodedMovie whole = decodeMovie(joined);
        ASSERT_EQ(frames.size(), whole.frames.size());
        EXPECT_TRUE(std::equal(frames.begin(), frames.end(), whole.frames.begin()));
        // Its soundtrack runs through it, clicks where they were.
        const std::vector<double> heard = clickTimes(decodeSound(joined));
        ASSERT_EQ(std::size(kClicks), heard.size());
        for (std::size_t i = 0; i < heard.size(); ++i) {
            EXPECT_NEAR(kClicks[i] + kOffset, heard[i], 1024.0 / kSampleRate);
        }
        // Settings that plan another movie are refused.
        const CommandRun other =
            run(runJoinCommand, std::vector<std::string>{keys(), "--set", "SPEED=0\t9", "--output",
                                                         folder.file("other.mkv")} +
                                    sound());
        EXPECT_EQ(1, other.status);
        EXPECT_NE(other.err.find("16 frames"), std::string::npos) << other.err;

        if (c.lossless) {
            // Split or not, the movie is the same frame for frame.
            const std::string single = folder.file("single.mkv");
            ASSERT_EQ(0, run(runRenderCommand,
                             std::vector<std::string>{keys()} + movie() +
                                 std::vector<std::string>{"--set", "FPM=100", "--output", single} +
                                 c.codec)
                             .status);
            const DecodedMovie alone = decodeMovie(single);
            ASSERT_EQ(frames.size(), alone.frames.size());
            EXPECT_TRUE(std::equal(frames.begin(), frames.end(), alone.frames.begin()));
        }
        for (const std::string& name : movieFiles()) {
            fs::remove(folder.file(name));
        }
    }
}

TEST_F(RenderMovieFilesTest, SettingsThatGiveNoMovieFileStopTheRenderBeforeItsFirstFrame) {
    writeWav(folder.file("silent.wav"), kSampleRate, {});
    const std::string mp4 = folder.file("film.mp4");
    struct Case {
        std::vector<std::string> args;
        const char* named;  // the message names it
    };
    for (const Case& c : {
             Case{{"--output", folder.file("film.flv")}, "film.flv\" has an extension"},
             Case{{"--output", folder.file("film.webm"), "--codec", "h264"}, "film.webm"},
             Case{{"--output", mp4, "--pix-fmt", "bgr0"}, "film.mp4"},
             Case{{"--output", mp4, "--set", "MSZ=63"}, "film.mp4"},  // 63 x 35 in 4:2:0
             Case{{"--output", mp4, "--audio", folder.file("none.ogg")}, "none.ogg"},
             Case{{"--output", mp4, "--audio", folder.file("silent.wav")}, "silent.wav"},
             Case{{"--audio", soundtrack()}, "film.avi\" carries no soundtrack"},
             Case{{"--codec", "vp9"}, "film.avi"},
         }) {
        const CommandRun render = run(runRenderCommand, std::vector<std::string>{keys()} + c.args);
        EXPECT_EQ(1, render.status) << c.named;
        EXPECT_NE(render.err.find(c.named), std::string::npos) << render.err;
        EXPECT_EQ(std::vector<std::string>{}, movieFiles()) << c.named;
    }
    // plan refuses the soundtracks render refuses, with the same words.
    for (const Case& c :
         {Case{{"--output", mp4, "--audio", folder.file("silent.wav")}, "silent.wav"},
          Case{{"--audio", soundtrack()}, "film.avi\" carries no soundtrack"}}) {
        const CommandRun plan = run(runPlanCommand, std::vector<std::string>{keys()} + c.args);
        EXPECT_EQ(1, plan.status) << c.named;
        EXPECT_NE(plan.err.find(c.named), std::string::npos) << plan.err;
    }
}

}  // namespace
}  // namespace zr
