#include "app/slurm_submit.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "cli_process.h"
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
    render.scriptFolder = render.folder + "/slurm";
    render.moviesFolder = render.folder + "/out";
    render.joinedMovie = render.moviesFolder + "/film_joined.avi";
    render.renderOptions = {"--set", "SPEED=0\t25", "--quality", "90"};
    render.joinOptions = {"--set", "SPEED=0\t25", "--output", render.joinedMovie};
    render.resumeCommand = {"zoomreel-cli", "submit", render.folder, "--resume"};
    render.shares = {{0, 1}, {2, 2}, {3, 4}};
    render.sharedFrames = {8, 4, 7};
    render.movieFiles = {"film.avi", "film_01.avi", "film_02.avi", "film_03.avi", "film_04.avi"};
    return render;
}

TEST_F(SlurmSubmitTest, EachTaskRendersItsShareAndAnUnknownTaskFails) {
    const SlurmRender render = sampleRender(root);
    const std::string text = renderBatchScript(render);
    EXPECT_NE(text.find("#SBATCH --array=0-2\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("--exclusive"), std::string::npos) << text;
    EXPECT_EQ(text.find("--cpus-per-task"), std::string::npos) << text;
    EXPECT_NE(text.find("#SBATCH --chdir=\"" + render.folder + "\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("#SBATCH --signal=B:TERM@"), std::string::npos) << text;
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
    shared.exclusive = true;
    const std::string sharedText = renderBatchScript(shared);
    EXPECT_NE(sharedText.find("#SBATCH --cpus-per-task=3\n"), std::string::npos) << sharedText;
    EXPECT_NE(sharedText.find("#SBATCH --exclusive\n"), std::string::npos) << sharedText;
}

TEST_F(SlurmSubmitTest, TheJoinNamesEveryMissingOrUnfinishedFileOrJoins) {
    const SlurmRender render = sampleRender(root);
    fs::create_directories(render.moviesFolder);
    const fs::path script = write("join.sbatch", joinBatchScript(render));
    for (const std::string& name : render.movieFiles)
        std::ofstream(fs::path(render.moviesFolder) / name) << "x";
    Ran ran = runBash(script);
    EXPECT_EQ(ran.status, 0) << ran.output;
    EXPECT_EQ(ran.output,
              "join " + render.folder + " --set SPEED=0\t25 --output " + render.joinedMovie + "\n");

    fs::remove(fs::path(render.moviesFolder) / "film_01.avi");
    std::ofstream(fs::path(render.moviesFolder) / "film_04.avi.unfinished") << "";
    ran = runBash(script);
    EXPECT_EQ(ran.status, 1);
    EXPECT_NE(ran.output.find("/out/film_01.avi (task 0) is missing or unfinished\n"),
              std::string::npos)
        << ran.output;
    EXPECT_NE(ran.output.find("/out/film_04.avi (task 2) is missing"), std::string::npos)
        << ran.output;
    EXPECT_NE(ran.output.find("join them with: zoomreel-cli submit "), std::string::npos)
        << ran.output;
    EXPECT_NE(ran.output.find(" --resume\n"), std::string::npos) << ran.output;
    EXPECT_EQ(ran.output.find("join " + render.folder), std::string::npos) << ran.output;
}

TEST_F(SlurmSubmitTest, SiteOptionsAndThePrologueComeBeforeTheWork) {
    SlurmRender render = sampleRender(root);
    std::string error;
    for (const char* option : {"--partition=gpu", "--constraint=a b", "--comment=x#y"})
        render.siteDirectives.push_back(sbatchDirective(option, error));
    EXPECT_EQ(
        render.siteDirectives,
        (std::vector<std::string>{"--partition=gpu", "--constraint=\"a b\"", "--comment=\"x#y\""}));
    render.prologue = "echo prologue ran\n";
    fs::create_directories(render.moviesFolder);
    for (const std::string& name : render.movieFiles)
        std::ofstream(fs::path(render.moviesFolder) / name) << "x";
    for (const std::string& text : {renderBatchScript(render), joinBatchScript(render)}) {
        // sbatch reads #SBATCH lines only up to the first command; the site's come last, so
        // that they win over submit's own.
        const std::size_t site = text.find("#SBATCH --constraint=\"a b\"\n");
        ASSERT_NE(site, std::string::npos) << text;
        EXPECT_LT(text.rfind("#SBATCH --output="), site) << text;
        EXPECT_LT(site, text.find("echo prologue ran")) << text;
        const Ran ran = runBash(write("site.sbatch", text), "SLURM_ARRAY_TASK_ID=1");
        EXPECT_EQ(ran.status, 0) << ran.output;
        EXPECT_TRUE(ran.output.starts_with("prologue ran\n")) << ran.output;
    }
}

TEST(SlurmSafety, ValuesThatCannotBeWrittenIntoALineAreRefusedByName) {
    std::string error;
    for (const std::string& bad :
         {std::string("--partition=a\nb"), std::string("--qos=a\"b"), std::string("--mem=a\\b"),
          std::string("--time=1\r"), std::string("--account=x\0y", 13), std::string("partition"),
          std::string("-p gpu"), std::string("--a b=c"), std::string("--")}) {
        error.clear();
        EXPECT_EQ(sbatchDirective(bad, error), "") << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    sbatchDirective("--partition=a\nb", error);
    EXPECT_NE(error.find("$'a\\nb'"), std::string::npos) << error;
    EXPECT_NE(error.find("line break"), std::string::npos) << error;
    EXPECT_EQ(sbatchDirective("--exclusive", error), "--exclusive");
    EXPECT_EQ(sbatchDirective("--time=1-00:00:00", error), "--time=1-00:00:00");

    const fs::path root = testing::uniqueTempPath("zr_slurm_safety");
    SlurmRender render = sampleRender(root);
    EXPECT_EQ(slurmRenderProblem(render), "");
    for (const std::string& folder :
         {std::string("/tmp/a\nb"), std::string("/tmp/a\"b"), std::string("/tmp/a\0b", 8)}) {
        render.folder = folder;
        const std::string problem = slurmRenderProblem(render);
        EXPECT_NE(problem.find("the key frame folder " + shellWord(folder)), std::string::npos)
            << problem;
    }
    render = sampleRender(root);
    render.joinedMovie = "/tmp/x\n.avi";
    EXPECT_NE(slurmRenderProblem(render).find("line break"), std::string::npos);
}

int runCli(const std::vector<std::string>& args, const fs::path& errors) {
    const pid_t child = testing::spawnCli(args, errors.string());
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string fileText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), {});
}

// A folder name with a line break, which would end a line of a script and begin a command of
// its own, is refused before anything is written.
TEST_F(SlurmSubmitTest, SubmitRefusesAFolderWithALineBreakBeforeWritingAnything) {
    const fs::path folder = root / "movie\ntouch PWNED";
    const auto run = runCli;
    ASSERT_EQ(run({"make-keyframes", folder.string(), "--count", "2", "--size", "32x18"},
                  root / "make.err"),
              0);
    const fs::path errors = root / "submit.err";
    EXPECT_EQ(run({"submit", folder.string(), "--slurm", "--tasks", "2", "--write-only"}, errors),
              1);
    const std::string said = fileText(errors);
    EXPECT_NE(said.find("line break"), std::string::npos) << said;
    EXPECT_NE(said.find("movie\\ntouch PWNED"), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(folder / "slurm"));
}

// --write-only writes both scripts and runs nothing; a script's name taken by a link is not
// written through.
TEST_F(SlurmSubmitTest, SubmitWritesTheScriptsButNeverThroughALink) {
    const fs::path folder = root / "kf";
    ASSERT_EQ(runCli({"make-keyframes", folder.string(), "--count", "2", "--size", "32x18"},
                     root / "make.err"),
              0);
    const std::vector<std::string> submit = {
        "submit",   folder.string(), "--slurm",     "--tasks",       "2",       "--set",
        "FPM=2",    "--write-only",  "--partition", "long queue",    "--codec", "ffv1",
        "--output", "x.mkv",         "--set",       "SOUND=none.wav"};
    // A soundtrack that cannot be read stops it before anything is written.
    EXPECT_EQ(runCli(submit, root / "sound.err"), 1);
    EXPECT_NE(fileText(root / "sound.err").find("none.wav"), std::string::npos)
        << fileText(root / "sound.err");
    EXPECT_FALSE(fs::exists(folder / "slurm"));

    const std::vector<std::string> plain(submit.begin(), submit.end() - 6);
    ASSERT_EQ(runCli(plain, root / "submit.err"), 0) << fileText(root / "submit.err");
    EXPECT_NE(
        fileText(folder / "slurm" / "render.sbatch").find("#SBATCH --partition=\"long queue\"\n"),
        std::string::npos);
    EXPECT_NE(fileText(folder / "slurm" / "join.sbatch").find("zoomreel-cli join "),
              std::string::npos);

    const fs::path elsewhere = write("elsewhere.txt", "kept");
    fs::remove(folder / "slurm" / "render.sbatch");
    fs::create_symlink(elsewhere, folder / "slurm" / "render.sbatch");
    EXPECT_EQ(runCli(plain, root / "link.err"), 1);
    EXPECT_NE(fileText(root / "link.err").find("it is a link"), std::string::npos)
        << fileText(root / "link.err");
    EXPECT_EQ(fileText(elsewhere), "kept");
}

}  // namespace
}  // namespace zr
