#include "app/slurm_submit.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "unique_temp_path.h"

namespace zr {
namespace {

namespace fs = std::filesystem;

struct Ran {
    int status = -1;
    std::string output;  // standard output and standard error
};

// Runs a bash script with `environment` ("NAME=value ...") before it.
Ran runBash(const fs::path& script, const std::string& environment = "") {
    Ran ran;
    const std::string command = environment + " bash " + script.string() + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return ran;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        ran.output.append(buffer, got);
    const int status = ::pclose(pipe);
    ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ran;
}

class SlurmSubmitTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(root); }
    void TearDown() override { fs::remove_all(root); }

    fs::path write(const std::string& name, const std::string& text) {
        const fs::path path = root / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    const fs::path root = testing::uniqueTempPath("zr_slurm_submit");
};

TEST(SlurmShares, EveryFileOnceInOrderWithFramesBalanced) {
    struct Case {
        std::vector<long long> frames;
        int tasks;
        std::vector<std::pair<int, int>> shares;
    };
    for (const Case& c : {
             Case{{10, 10, 10, 10}, 2, {{0, 1}, {2, 3}}},
             Case{{10, 10, 10, 10, 10, 10, 10, 10, 3}, 4, {{0, 1}, {2, 3}, {4, 5}, {6, 8}}},
             // One long file takes a task of its own.
             Case{{40, 5, 5, 5, 5}, 2, {{0, 0}, {1, 4}}},
             Case{{5, 5, 5, 5, 40}, 2, {{0, 3}, {4, 4}}},
             // More tasks than files: one file each.
             Case{{7, 7, 2}, 8, {{0, 0}, {1, 1}, {2, 2}}},
             Case{{1, 1, 1, 100}, 3, {{0, 1}, {2, 2}, {3, 3}}},
             Case{{9}, 1, {{0, 0}}},
             Case{{}, 4, {}},
         }) {
        const std::vector<MovieFileRange> shares = shareMovieFiles(c.frames, c.tasks);
        std::vector<std::pair<int, int>> got;
        for (const MovieFileRange& share : shares)
            got.emplace_back(share.first, share.last);
        EXPECT_EQ(got, c.shares) << c.frames.size() << " files, " << c.tasks << " tasks";
    }

    // Large movies: the shares cover every file once, and none is far above its part.
    std::vector<long long> frames(997);
    for (std::size_t i = 0; i < frames.size(); ++i)
        frames[i] = i + 1 == frames.size() ? 11 : 240 + static_cast<long long>(i % 7) * 30;
    const long long total = std::accumulate(frames.begin(), frames.end(), 0LL);
    for (const int tasks : {1, 2, 3, 16, 100, 997, 5000}) {
        const std::vector<MovieFileRange> shares = shareMovieFiles(frames, tasks);
        ASSERT_EQ(shares.size(), static_cast<std::size_t>(std::min(tasks, 997)));
        int next = 0;
        for (const MovieFileRange& share : shares) {
            ASSERT_EQ(share.first, next);
            ASSERT_LE(share.first, share.last);
            next = share.last + 1;
            long long shared = 0;
            for (int file = share.first; file <= share.last; ++file)
                shared += frames[static_cast<std::size_t>(file)];
            EXPECT_LE(shared, total / tasks + 2 * 420) << tasks << " tasks";
        }
        EXPECT_EQ(next, 997);
    }
}

TEST_F(SlurmSubmitTest, ShellWordsReachTheProgramUnchanged) {
    for (const std::string& text : std::vector<std::string>{
             "plain-word_1.5,x:y/z@%", "", "two words", "it's", "$HOME", "`date`", "a\"b\\c",
             "0\t25\n3\t12", "*?[a]", "~user", "!x", "line\r", std::string("\x01\x7f", 2), "é ü"}) {
        const fs::path script = write("echo.sh", "printf '%s' " + shellWord(text) + "\n");
        const Ran ran = runBash(script);
        EXPECT_EQ(ran.status, 0) << shellWord(text);
        EXPECT_EQ(ran.output, text) << shellWord(text);
    }
}

SlurmRender sampleRender(const fs::path& root) {
    SlurmRender render;
    render.program = "/bin/echo";
    render.folder = (root / "key frames 'one'").string();
    render.workFolder = root.string();
    render.scriptFolder = render.folder + "/slurm";
    render.renderOptions = {"--set", "SPEED=0\t25", "--quality", "90"};
    render.shares = {{0, 1}, {2, 2}, {3, 4}};
    render.sharedFrames = {8, 4, 7};
    render.movieFiles = {"film.avi", "film_01.avi", "film_02.avi", "film_03.avi", "film_04.avi"};
    return render;
}

TEST_F(SlurmSubmitTest, EachTaskRendersItsShareAndAnUnknownTaskFails) {
    const SlurmRender render = sampleRender(root);
    const std::string text = renderBatchScript(render);
    EXPECT_NE(text.find("#SBATCH --array=0-2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("#SBATCH --exclusive\n"), std::string::npos) << text;
    const fs::path script = write("render.sbatch", text);
    const std::string options = " --set " + std::string("SPEED=0\t25") + " --quality 90\n";
    for (const auto& [task, files] :
         std::vector<std::pair<int, std::string>>{{0, "0-1"}, {1, "2-2"}, {2, "3-4"}}) {
        const Ran ran = runBash(script, "SLURM_ARRAY_TASK_ID=" + std::to_string(task));
        EXPECT_EQ(ran.status, 0) << ran.output;
        EXPECT_EQ(ran.output, "render " + render.folder + " --files " + files + options);
    }
    for (const std::string task : {"3", "", "x"}) {
        const Ran ran = runBash(script, "SLURM_ARRAY_TASK_ID=" + task);
        EXPECT_EQ(ran.status, 2) << task;
        EXPECT_NE(ran.output.find("no movie files for task"), std::string::npos) << ran.output;
    }

    SlurmRender shared = render;
    shared.cpusPerTask = 3;
    const std::string sharedText = renderBatchScript(shared);
    EXPECT_NE(sharedText.find("#SBATCH --cpus-per-task=3\n"), std::string::npos) << sharedText;
    EXPECT_EQ(sharedText.find("--exclusive"), std::string::npos) << sharedText;
}

TEST_F(SlurmSubmitTest, TheJoinNamesEveryMissingFileAndItsTaskOrJoins) {
    const SlurmRender render = sampleRender(root);
    fs::create_directories(render.folder);
    const fs::path script = write("join.sbatch", joinBatchScript(render));
    for (const std::string& name : render.movieFiles)
        std::ofstream(fs::path(render.folder) / name) << "x";
    Ran ran = runBash(script);
    EXPECT_EQ(ran.status, 0) << ran.output;
    EXPECT_EQ(ran.output, "join " + render.folder + " --input film.avi\n");

    fs::remove(fs::path(render.folder) / "film_01.avi");
    fs::remove(fs::path(render.folder) / "film_04.avi");
    ran = runBash(script);
    EXPECT_EQ(ran.status, 1);
    const std::string again = "make it again with: sbatch --array=";
    EXPECT_NE(ran.output.find("film_01.avi is missing; " + again + "0 " + render.scriptFolder +
                              "/render.sbatch\n"),
              std::string::npos)
        << ran.output;
    EXPECT_NE(ran.output.find("film_04.avi is missing; " + again + "2 "), std::string::npos)
        << ran.output;
    EXPECT_EQ(ran.output.find("join " + render.folder), std::string::npos) << ran.output;
}

}  // namespace
}  // namespace zr
