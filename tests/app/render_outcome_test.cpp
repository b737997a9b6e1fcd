// What the command line's render says and the exit status it gives when a run cannot do what it
// was asked: runs that make no frame, values no movie can be made with, a stop with Ctrl-C.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/cli_process.h"
#include "keyframes/image_file.h"
#include "output/movie_reader.h"

namespace zr {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// A finished run of the command line: its exit status and what it wrote to standard error.
struct CliRun {
    int status = -1;
    std::string errors;
};

// Runs the command line with `args`; `whileRunning`, when given, is asked every 20 ms until it
// returns true, with the process id.
CliRun runCli(const std::vector<std::string>& args, const fs::path& errorFile,
              const std::function<bool(pid_t)>& whileRunning = {}) {
    CliRun run;
    const pid_t child = testing::spawnCli(args, errorFile.string());
    if (child < 0)
        return run;
    int status = 0;
    if (whileRunning) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline || whileRunning(child))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(errorFile);
    std::ostringstream text;
    text << in.rdbuf();
    run.errors = text.str();
    return run;
}

class RenderOutcomeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(cli({"make-keyframes", keys.string(), "--count", "4", "--size", "96x54",
                       "--iterations", "100"})
                      .status,
                  0);
    }
    CliRun cli(const std::vector<std::string>& args,
               const std::function<bool(pid_t)>& whileRunning = {}) {
        return runCli(args, work.path() / "errors.txt", whileRunning);
    }
    CliRun render(std::vector<std::string> args) {
        args.insert(args.begin(), {"render", keys.string(), "--codec", "DIB "});
        return cli(args);
    }

    TempFolder work;
    fs::path keys = work.path() / "keys";
};

TEST_F(RenderOutcomeTest, RunsThatCannotMakeAMovieSayWhyAndFail) {
    struct Case {
        std::vector<std::string> args;
        int status;  // 2: refused where the value is given, 1: the folder or the run rules it out
        std::string says;
    };
    const Case cases[] = {
        {{"--start-frame", "9"}, 1, "--start-frame 9: the folder's key frames are 0 to 3"},
        {{"--set", "MSZ=0"}, 2, "--set MSZ=0: MSZ is a whole number of pixels, 2 to 16384"},
        {{"--set", "MSZ=-640"}, 2, "--set MSZ=-640: MSZ is a whole number"},
        {{"--set", "FPS=0"}, 2, "--set FPS=0: FPS is a whole number of frames a second, 1 to 1000"},
        {{"--set", "FPM=-3"}, 2, "--set FPM=-3: FPM is a whole number"},
        {{"--set", "ROTATE=0\t1e308"}, 2, "line 1 \"0<TAB>1e308\": a ROTATE line is"},
        {{"--set", "MSZ=2"}, 1, "no frame was made: a movie of 2 x 1 pixels is too small"},
        // A frame size the compressor refuses: the first file, and the run, stop there.
        {{"--codec", "MSVC", "--set", "MSZ=7", "--movie-height", "7"},
         1,
         "could not write " + (keys / "film.avi").string() +
             ": Compression is not supported for this type of data. (frames of 7 x 7 pixels)\n"
             "zoomreel-cli render: stopped at the first movie file that could not be created"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.args.back());
        const CliRun run = render(test.args);
        EXPECT_EQ(run.status, test.status);
        EXPECT_NE(run.errors.find(test.says), std::string::npos) << run.errors;
        EXPECT_FALSE(fs::exists(keys / "film.avi"));
    }
}

TEST_F(RenderOutcomeTest, AFolderOfPicturesAloneRenders) {
    const fs::path pictures = work.path() / "pictures";
    fs::create_directories(pictures);
    for (int k = 0; k < 3; ++k) {
        const std::string name = "0000" + std::to_string(k + 1) + ".jpg";
        ASSERT_EQ(cli({"preview", keys.string(), "--frame", std::to_string(k), "--output",
                       (pictures / name).string()})
                      .status,
                  0);
    }
    const CliRun run = cli({"render", pictures.string(), "--codec", "DIB ", "--set", "SMD=1"});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_GT(testing::decodeMovie((pictures / "film.avi").string()).frames.size(), 50u);
}

TEST_F(RenderOutcomeTest, ADamagedKeyFrameFailsNamesItAndItsMovieFilesAreMadeAgain) {
    // Key frame 2 (of 4, widest first) cut short: its movie files lack its detail.
    const fs::path clean = work.path() / "clean";
    fs::copy(keys, clean);
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(keys))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    const fs::path damaged = files[1];
    const fs::path kept = work.path() / "kept.zmb";
    fs::copy_file(damaged, kept);
    fs::resize_file(damaged, 2000);
    const std::vector<std::string> split{"--set", "FPM=20"};

    const CliRun run = render(split);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("key frame " + damaged.string() + ": it holds 2000 bytes"),
              std::string::npos)
        << run.errors;
    EXPECT_NE(run.errors.find("made without the detail of that key frame: "), std::string::npos);
    EXPECT_EQ(run.errors.find(".jpg"), std::string::npos);
    std::vector<std::string> marked;
    for (const auto& entry : fs::directory_iterator(keys))
        if (entry.path().extension() == ".unfinished")
            marked.push_back(entry.path().stem().string());
    ASSERT_FALSE(marked.empty());
    for (const std::string& movie : marked)
        EXPECT_NE(run.errors.find((keys / movie).string()), std::string::npos) << movie;

    // Mended, the same command writes those files again and the movie is the clean one.
    fs::copy_file(kept, damaged, fs::copy_options::overwrite_existing);
    const CliRun again = render(split);
    EXPECT_EQ(again.status, 0) << again.errors;
    ASSERT_EQ(cli({"render", clean.string(), "--codec", "DIB ", "--set", "FPM=20"}).status, 0);
    for (const std::string& movie : marked) {
        SCOPED_TRACE(movie);
        EXPECT_FALSE(fs::exists(keys / (movie + ".unfinished")));
        EXPECT_EQ(testing::decodeMovie((keys / movie).string()).frames,
                  testing::decodeMovie((clean / movie).string()).frames);
    }

    // A picture of the same name stands in for a damaged key frame: no failure.
    fs::resize_file(damaged, 2000);
    fs::path picture = damaged;
    picture.replace_extension(".jpg");
    ASSERT_EQ(cli({"preview", clean.string(), "--frame", "1", "--output", picture.string()}).status,
              0);
    fs::remove(keys / "film.avi");
    const CliRun standIn = render(split);
    EXPECT_EQ(standIn.status, 0) << standIn.errors;
}

TEST_F(RenderOutcomeTest, CtrlCStopsWith130AndSaysTheLastFileIsShort) {
    // 121 frames of 640 x 360 in files of 100: the stop comes inside the first.
    const std::vector<std::string> args{"render", keys.string(), "--codec", "DIB ",
                                        "--set",  "MSZ=640",     "--set",   "FPM=100",
                                        "--set",  "SMD=1",       "--set",   "SPEED=0\t40"};
    // The partial file of film.avi, whatever machine and process it names.
    const auto partialBytes = [&] {
        std::uintmax_t bytes = 0;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(keys, error)) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with("film.avi.") && name.ends_with(".part"))
                bytes = std::max(bytes, entry.file_size(error));
        }
        return error ? 0 : bytes;
    };
    bool interrupted = false;
    const CliRun run = cli(args, [&](pid_t child) {
        if (partialBytes() > 3 * 640 * 360)
            interrupted = kill(child, SIGINT) == 0;
        return interrupted;
    });
    ASSERT_TRUE(interrupted) << run.errors;
    EXPECT_EQ(run.status, 130) << run.errors;
    EXPECT_NE(run.errors.find("film.avi holds "), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find(" of its 100 frames and is written again"), std::string::npos);
    EXPECT_LT(testing::decodeMovie((keys / "film.avi").string()).frames.size(), 100u);

    // The same command writes it again, whole.
    const CliRun again = cli(args);
    EXPECT_EQ(again.status, 0) << again.errors;
    EXPECT_EQ(testing::decodeMovie((keys / "film.avi").string()).frames.size(), 100u);
}

}  // namespace
}  // namespace zr
