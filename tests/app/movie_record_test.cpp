// Movie files carry the record of what made them: a stopped render leaves a file that says it is
// short, join refuses it and the next render completes it; split AVI files with the same
// compressor options throughout join to the frames of an unsplit render; files the program did
// not make are not replaced without --overwrite, and a write that fails stops the render.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli_process.h"
#include "app/command_run.h"
#include "app/commands.h"
#include "output/movie_file.h"
#include "output/movie_files.h"
#include "output/movie_reader.h"
#include "output/movie_record.h"

namespace zr {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

using testing::CommandRun;

CommandRun run(int (*command)(const std::vector<std::string>&),
               const std::vector<std::string>& args) {
    return testing::runCommand(command, args);
}

int exitStatusOf(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string textOf(const fs::path& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A movie of uncompressed frames (every frame reaches the file as it is made) in files of 10.
const std::vector<std::string> kMovie{"--codec", "DIB ",    "--set", "SPEED=0\t12",
                                      "--set",   "MSZ=640", "--set", "FPM=10"};

bool partialExists(const fs::path& movie) {
    for (const auto& entry : fs::directory_iterator(movie.parent_path())) {
        if (isPartialMovieName(entry.path().filename().string(), movie.filename().string())) {
            return true;
        }
    }
    return false;
}

// Starts a render and sends it SIGINT once `movie` is being written; its exit status.
int renderInterruptedIn(const fs::path& folder, const fs::path& movie) {
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    inotify_add_watch(watch, folder.c_str(), IN_CREATE);
    const pid_t child =
        testing::spawnCli(std::vector<std::string>{"render", folder.string()} + kMovie);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool sent = false;
    while (!sent && std::chrono::steady_clock::now() < deadline) {
        pollfd events{watch, POLLIN, 0};
        poll(&events, 1, 5);
        char buffer[4096];
        while (read(watch, buffer, sizeof buffer) > 0) {
        }
        if (partialExists(movie)) {
            sent = kill(child, SIGINT) == 0;
        } else if (waitpid(child, nullptr, WNOHANG) == child) {
            close(watch);
            return -1;
        }
    }
    close(watch);
    return exitStatusOf(child);
}

class MovieRecordTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const fs::path& folder : {keys(), other()}) {
            ASSERT_EQ(0, run(runMakeKeyframesCommand, {folder.string(), "--count", "4", "--size",
                                                       "240x136", "--iterations", "200"})
                             .status);
        }
    }
    fs::path keys() const { return work.path() / "keys"; }
    fs::path other() const { return work.path() / "other"; }

    TempFolder work;
};

TEST_F(MovieRecordTest, AStoppedFileIsRefusedByJoinAndMadeWholeByTheNextRender) {
    ASSERT_EQ(0, run(runRenderCommand, std::vector<std::string>{other().string()} + kMovie).status);
    const fs::path stopped = keys() / "film_01.avi";
    ASSERT_EQ(renderInterruptedIn(keys(), stopped), 128 + SIGINT);

    // The stopped file plays, and its record and marker say it is short.
    ASSERT_TRUE(fs::exists(stopped));
    const MovieRecordReading reading = readMovieRecord(stopped.string());
    ASSERT_TRUE(reading.record);
    EXPECT_EQ(reading.record->frames, 10);
    EXPECT_LT(reading.record->written, 10);
    EXPECT_EQ(reading.record->written, movieFileFrameCount(stopped.string()));

    // join refuses it, with or without the render's settings, naming it.
    for (const std::vector<std::string>& settings : {std::vector<std::string>{}, kMovie}) {
        const CommandRun join =
            run(runJoinCommand, std::vector<std::string>{keys().string()} + settings);
        EXPECT_EQ(join.status, 1);
        EXPECT_NE(join.err.find("film_01.avi"), std::string::npos) << join.err;
        EXPECT_FALSE(fs::exists(keys() / "film_joined.avi"));
    }
    // Even without its marker: the record alone tells.
    fs::remove(unfinishedMarkerPath(stopped.string()));
    const CommandRun unmarked = run(runJoinCommand, {keys().string()});
    EXPECT_EQ(unmarked.status, 1);
    EXPECT_NE(unmarked.err.find("render"), std::string::npos) << unmarked.err;

    const CommandRun again =
        run(runRenderCommand, std::vector<std::string>{keys().string()} + kMovie);
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("film.avi: complete and made with these settings, kept"),
              std::string::npos)
        << again.out;
    EXPECT_NE(again.out.find("film_01.avi: holds "), std::string::npos) << again.out;
    for (const fs::path& folder : {keys(), other()}) {
        const CommandRun join = run(runJoinCommand, {folder.string()});
        ASSERT_EQ(join.status, 0) << join.err;
    }
    const testing::DecodedMovie expected =
        testing::decodeMovie((other() / "film_joined.avi").string());
    const testing::DecodedMovie actual =
        testing::decodeMovie((keys() / "film_joined.avi").string());
    ASSERT_TRUE(actual.error.empty()) << actual.error;
    ASSERT_EQ(actual.frames.size(), expected.frames.size());
    for (std::size_t frame = 0; frame < expected.frames.size(); ++frame) {
        EXPECT_TRUE(actual.frames[frame] == expected.frames[frame]) << "frame " << frame;
    }
    const MovieRecordReading joined = readMovieRecord((keys() / "film_joined.avi").string());
    ASSERT_TRUE(joined.record);
    EXPECT_EQ(joined.record->frames, static_cast<long long>(expected.frames.size()));
    EXPECT_TRUE(joined.record->whole());
}

TEST_F(MovieRecordTest, SplitAviFilesJoinToTheFramesOfAnUnsplitRender) {
    const std::vector<std::string> options{
        "--codec", "FMP4",  "--quality",   "60",    "--keyframe-every",
        "12",      "--set", "SPEED=0\t12", "--set", "MSZ=320"};
    ASSERT_EQ(0, run(runRenderCommand, std::vector<std::string>{other().string()} + options +
                                           std::vector<std::string>{"--set", "FPM=0"})
                     .status);
    ASSERT_EQ(0, run(runRenderCommand, std::vector<std::string>{keys().string()} + options +
                                           std::vector<std::string>{"--set", "FPM=12"})
                     .status);
    ASSERT_TRUE(fs::exists(keys() / "film_02.avi"));
    ASSERT_EQ(0, run(runJoinCommand, {keys().string()}).status);
    const testing::DecodedMovie unsplit = testing::decodeMovie((other() / "film.avi").string());
    const testing::DecodedMovie joined =
        testing::decodeMovie((keys() / "film_joined.avi").string());
    ASSERT_TRUE(joined.error.empty()) << joined.error;
    ASSERT_EQ(joined.frames.size(), unsplit.frames.size());
    for (std::size_t frame = 0; frame < unsplit.frames.size(); ++frame) {
        EXPECT_TRUE(joined.frames[frame] == unsplit.frames[frame]) << "frame " << frame;
    }
    EXPECT_EQ(joined.keyPackets, unsplit.keyPackets);
}

TEST_F(MovieRecordTest, FilesThisProgramDidNotMakeAreReplacedOnlyWhenAllowed) {
    const fs::path foreign = keys() / "film.avi";
    std::ofstream(foreign) << "holiday";
    const std::vector<std::string> render = std::vector<std::string>{keys().string()} + kMovie;
    const CommandRun refused = run(runRenderCommand, render);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find(fs::absolute(foreign).string()), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--overwrite"), std::string::npos) << refused.err;
    EXPECT_EQ(textOf(foreign), "holiday");
    EXPECT_FALSE(fs::exists(keys() / "film_01.avi"));

    const CommandRun allowed =
        run(runRenderCommand, render + std::vector<std::string>{"--overwrite"});
    ASSERT_EQ(allowed.status, 0) << allowed.err;
    EXPECT_TRUE(readMovieRecord(foreign.string()).record);

    const fs::path output = work.path() / "holiday.mp4";
    std::ofstream(output) << "holiday";
    const std::vector<std::string> join{keys().string(), "--output", output.string()};
    const CommandRun joinRefused = run(runJoinCommand, join);
    EXPECT_EQ(joinRefused.status, 1);
    EXPECT_NE(joinRefused.err.find("--overwrite"), std::string::npos) << joinRefused.err;
    EXPECT_EQ(textOf(output), "holiday");
    ASSERT_EQ(run(runJoinCommand, join + std::vector<std::string>{"--overwrite"}).status, 0);
    // The joined movie is ours: a second join replaces it without asking.
    EXPECT_EQ(run(runJoinCommand, join).status, 0);
}

TEST_F(MovieRecordTest, PreviewAndMakeKeyframesReplaceOnlyWhatTheyMayAndPlanNamesTheFolder) {
    const std::vector<std::string> makeArgs{keys().string(), "--count", "2", "--size", "32x18"};
    EXPECT_EQ(run(runMakeKeyframesCommand, makeArgs).status, 1);
    EXPECT_EQ(run(runMakeKeyframesCommand, makeArgs + std::vector<std::string>{"--force"}).status,
              0);

    const fs::path keyFrame = keys() / "00002_1e0.zmb";
    const std::string keyFrameBytes = textOf(keyFrame);
    const auto preview = [&](const std::string& output) {
        return run(runPreviewCommand, {keys().string(), "--frame", "0", "--output", output});
    };
    EXPECT_EQ(preview(keyFrame.string()).status, 2);
    const fs::path disguised = work.path() / "key.png";
    fs::copy_file(keyFrame, disguised);
    EXPECT_EQ(preview(disguised.string()).status, 1);
    EXPECT_EQ(textOf(keyFrame), keyFrameBytes);
    EXPECT_EQ(textOf(disguised), keyFrameBytes);
    const fs::path jpeg = work.path() / "frame.jpg";
    ASSERT_EQ(preview(jpeg.string()).status, 0);
    EXPECT_EQ(textOf(jpeg).substr(0, 3), "\xFF\xD8\xFF");
    ASSERT_EQ(preview(jpeg.string()).status, 0);  // a picture is replaced

    const CommandRun plan = run(runPlanCommand, {keys().string()});
    ASSERT_EQ(plan.status, 0) << plan.err;
    EXPECT_NE(
        plan.out.find("# movie folder\t" + fs::absolute(keys()).lexically_normal().string() + "\n"),
        std::string::npos)
        << plan.out;
}

TEST_F(MovieRecordTest, AMissingTextureFileIsAnErrorOfTheCommandLine) {
    const std::string texture = (work.path() / "none.jpg").string();
    const CommandRun render =
        run(runRenderCommand, std::vector<std::string>{keys().string(), "--set", "TEXTURE=1",
                                                       "--set", "TEXTUREFILE=" + texture} +
                                  kMovie);
    EXPECT_EQ(render.status, 1);
    EXPECT_NE(render.err.find("texture file \"" + texture +
                              "\" cannot be read: No such file or directory"),
              std::string::npos)
        << render.err;
    EXPECT_FALSE(fs::exists(keys() / "film.avi"));
}

TEST_F(MovieRecordTest, AFailedWriteStopsTheRenderAtOnce) {
    const std::string errors = (work.path() / "errors.txt").string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A disk that takes 3 MB a file: the first movie file of 10 frames of 691 KB fills it.
        const rlimit limit{3 << 20, 3 << 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_IGN);
        const int error = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(error, 2);
        std::vector<std::string> args =
            std::vector<std::string>{"render", keys().string()} + kMovie;
        std::vector<char*> argv{const_cast<char*>(ZR_CLI_PATH)};
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        execv(ZR_CLI_PATH, argv.data());
        _exit(127);
    }
    EXPECT_EQ(exitStatusOf(child), 1);
    const std::string text = textOf(errors);
    EXPECT_NE(text.find("film.avi"), std::string::npos) << text;
    EXPECT_NE(text.find("stopped at the first"), std::string::npos) << text;
    // Nothing was made past the failed file, and nothing is left under a partial name.
    for (const auto& entry : fs::directory_iterator(keys())) {
        EXPECT_FALSE(entry.path().filename().string().starts_with("film"))
            << entry.path().filename();
    }
}

}  // namespace
}  // namespace zr
