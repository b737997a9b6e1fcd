// The command line's render, killed with SIGKILL at several moments and started again until it
// finishes, leaves movie files that decode frame for frame like those of a render that was never
// interrupted.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/cli_process.h"
#include "output/movie_file.h"
#include "output/movie_reader.h"

namespace zr {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

pid_t runCli(const std::vector<std::string>& args) {
    return testing::spawnCli(args);
}

int waitFor(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

// Small key frames and a movie of 49 frames split into files of 10, written uncompressed so
// that every frame reaches the file as it is made.
const std::vector<std::string>& renderArgs() {
    static const std::vector<std::string> args{"--codec", "DIB ",    "--set", "SPEED=0\t12",
                                               "--set",   "MSZ=640", "--set", "FPM=10",
                                               "--set",   "SMD=1"};
    return args;
}

std::vector<std::string> withFolder(const std::string& command, const fs::path& folder) {
    std::vector<std::string> args{command, folder.string()};
    args.insert(args.end(), renderArgs().begin(), renderArgs().end());
    return args;
}

std::uintmax_t sizeOf(const fs::path& file) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(file, error);
    return error ? 0 : size;
}

// Starts a render of `folder` and kills it with SIGKILL as soon as `due` holds, looking again
// whenever a file of the folder is created, written or renamed. False when the render ended
// before that.
bool renderKilledWhen(const fs::path& folder, const std::function<bool()>& due) {
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MODIFY | IN_MOVED_TO);
    const pid_t child = runCli(withFolder("render", folder));
    bool killed = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!killed && std::chrono::steady_clock::now() < deadline) {
        pollfd events{watch, POLLIN, 0};
        poll(&events, 1, 20);
        char buffer[4096];
        while (read(watch, buffer, sizeof buffer) > 0) {
        }
        if (due()) {
            killed = kill(child, SIGKILL) == 0;
        } else if (waitpid(child, nullptr, WNOHANG) == child) {
            close(watch);
            return false;
        }
    }
    close(watch);
    const int status = waitFor(child);
    return killed && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

std::vector<std::string> movieFiles(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("film"))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(RenderKill, KilledRendersResumeToTheSameMovie) {
    const TempFolder work;
    const fs::path keys = work.path() / "keys";
    const fs::path whole = work.path() / "whole";
    const fs::path killed = work.path() / "killed";
    ASSERT_EQ(waitFor(runCli({"make-keyframes", keys.string(), "--count", "5", "--size", "240x136",
                              "--iterations", "200"})),
              0);
    for (const fs::path& folder : {whole, killed}) {
        fs::create_directories(folder);
        for (const auto& entry : fs::directory_iterator(keys))
            fs::copy_file(entry.path(), folder / entry.path().filename());
    }

    ASSERT_EQ(waitFor(runCli(withFolder("render", whole))), 0);
    const std::vector<std::string> names = movieFiles(whole);
    ASSERT_EQ(names.size(), 5u);
    const fs::path first = killed / names.front();
    const fs::path last = killed / names.back();
    // The render's partial file of a movie file (named after the render's process); empty when
    // there is none.
    const auto partialOf = [](const fs::path& movie) {
        for (const auto& entry : fs::directory_iterator(movie.parent_path())) {
            if (isPartialMovieName(entry.path().filename().string(), movie.filename().string()))
                return entry.path();
        }
        return fs::path();
    };
    const auto halfWritten = [&](const fs::path& movie) {
        const fs::path partial = partialOf(movie);
        return !partial.empty() && sizeOf(partial) >= sizeOf(whole / movie.filename()) / 2;
    };
    const auto partial = [&](const fs::path& movie) { return !partialOf(movie).empty(); };
    // Inside the first file, just after it was renamed to its own name, and inside the last.
    // On a loaded machine a render may get past a moment between two looks at the folder; its
    // movie files are then removed and the kills start again.
    const auto killedAtEveryMoment = [&] {
        return renderKilledWhen(killed, [&] { return halfWritten(first); }) && partial(first) &&
               !fs::exists(first) && renderKilledWhen(killed, [&] { return fs::exists(first); }) &&
               renderKilledWhen(killed, [&] { return halfWritten(last); }) && partial(last) &&
               !fs::exists(last);
    };
    bool killedEverywhere = false;
    for (int attempt = 0; attempt < 5 && !killedEverywhere; ++attempt) {
        for (const std::string& name : movieFiles(killed))
            fs::remove(killed / name);
        killedEverywhere = killedAtEveryMoment();
    }
    ASSERT_TRUE(killedEverywhere) << "a render got past a moment to kill it five times";
    ASSERT_EQ(waitFor(runCli(withFolder("render", killed))), 0);

    // The killed renders' partial files went once their movie files were complete.
    EXPECT_EQ(movieFiles(killed), names);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const testing::DecodedMovie expected = testing::decodeMovie((whole / name).string());
        const testing::DecodedMovie actual = testing::decodeMovie((killed / name).string());
        ASSERT_TRUE(actual.error.empty()) << actual.error;
        ASSERT_EQ(actual.frames.size(), expected.frames.size());
        for (std::size_t frame = 0; frame < expected.frames.size(); ++frame)
            EXPECT_TRUE(actual.frames[frame] == expected.frames[frame]) << "frame " << frame;
    }
}

}  // namespace
}  // namespace zr
