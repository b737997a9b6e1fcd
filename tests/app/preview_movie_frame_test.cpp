// preview --movie-frame against the movie render writes: the picture of a frame made alone equals
// the decoded frame of an uncompressed render, at the start, in the middle and at the end.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "keyframes/image_file.h"
#include "output/movie_reader.h"

namespace zr {
namespace {

using testing::DecodedMovie;
using testing::decodeMovie;
using testing::TempFolder;

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// Runs the command line with `args`, its output dropped; the exit status.
int runCli(const std::vector<std::string>& args) {
    std::string command = quoted(ZR_CLI_PATH);
    for (const std::string& arg : args) {
        command += ' ' + quoted(arg);
    }
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool samePixels(const FrameImage& a, const FrameImage& b) {
    if (a.width() != b.width() || a.height() != b.height()) {
        return false;
    }
    const std::size_t row = static_cast<std::size_t>(a.width()) * FrameImage::kBytesPerPixel;
    for (int y = 0; y < a.height(); ++y) {
        if (!std::equal(a.row(y), a.row(y) + row, b.row(y))) {
            return false;
        }
    }
    return true;
}

struct MovieCase {
    std::string name;
    std::vector<std::string> options;
};

TEST(PreviewMovieFrameTest, AFrameMadeAloneIsTheDecodedFrameOfTheRender) {
    const TempFolder keys;
    ASSERT_EQ(runCli({"make-keyframes", keys.path().string(), "--count", "6", "--size", "96x54",
                      "--iterations", "300"}),
              0);
    const std::vector<MovieCase> cases = {
        {"cycling, rotation, zoom text",
         {"--set", "SPEED=0\t7", "--set", "CYCLE=0\t3", "--set", "ROTATE=1\t4\n3\tR", "--set",
          "FPS=10"}},
        {"time stamps, Stretched, 4:3",
         {"--set", "TimeType=1", "--set", "SPEED=0\t00:00\n2\t00:02\n5\t00:03", "--set", "COL=4",
          "--set", "FPS=12", "--aspect43", "--set", "MergeFrames=2"}},
        {"time stamps without smoothing, slopes, division",
         {"--set", "TimeType=2", "--set", "SPEED=0\t00:00\n4\t00:02", "--set", "Slope=1", "--set",
          "DIVIDE=2\t3", "--set", "FPS=8", "--start-cycle", "40"}},
    };
    for (const MovieCase& movie : cases) {
        SCOPED_TRACE(movie.name);
        const TempFolder folder;
        for (const auto& entry : std::filesystem::directory_iterator(keys.path())) {
            std::filesystem::copy(entry.path(), folder.path() / entry.path().filename());
        }
        std::vector<std::string> render = {"render", folder.path().string(), "--codec", "DIB "};
        render.insert(render.end(), movie.options.begin(), movie.options.end());
        ASSERT_EQ(runCli(render), 0);
        const DecodedMovie decoded = decodeMovie(folder.file("film.avi"));
        ASSERT_EQ(decoded.error, "");
        const long long frames = static_cast<long long>(decoded.frames.size());
        ASSERT_GT(frames, 10);

        const auto preview = [&](const std::string& position) {
            std::vector<std::string> args = {"preview",       folder.path().string(),
                                             "--movie-frame", position,
                                             "--output",      folder.file("frame.png")};
            args.insert(args.end(), movie.options.begin(), movie.options.end());
            return runCli(args);
        };
        for (const long long frame : {0LL, frames / 2, frames - 1}) {
            SCOPED_TRACE("frame " + std::to_string(frame));
            ASSERT_EQ(preview(std::to_string(frame)), 0);
            const OptionalImage picture = loadImageFile(folder.file("frame.png"));
            ASSERT_TRUE(picture);
            EXPECT_TRUE(samePixels(*picture, decoded.frames[static_cast<std::size_t>(frame)]));
        }
        // A time shows the frame under way at that moment; past the end is refused.
        ASSERT_EQ(preview("00:01.05"), 0);
        const OptionalImage atTime = loadImageFile(folder.file("frame.png"));
        ASSERT_TRUE(atTime);
        const std::size_t second = static_cast<std::size_t>(decoded.framesPerSecond);
        EXPECT_TRUE(samePixels(*atTime, decoded.frames[second]));
        EXPECT_EQ(preview(std::to_string(frames)), 1);
    }
}

// preview --frame colours a key frame with the settings as Start would use them: the start
// rotation turns the slopes' light as it does for the run's first frame.
TEST(PreviewMovieFrameTest, AKeyFrameIsColoredWithTheStartRotationOfTheSlopesLight) {
    const TempFolder keys;
    ASSERT_EQ(runCli({"make-keyframes", keys.path().string(), "--count", "2", "--size", "96x54",
                      "--iterations", "300"}),
              0);
    const auto preview = [&](const std::vector<std::string>& options) {
        std::vector<std::string> args = {"preview", keys.path().string(), "--frame",
                                         "1",       "--output",           keys.file("key.png")};
        args.insert(args.end(), options.begin(), options.end());
        EXPECT_EQ(runCli(args), 0);
        OptionalImage picture = loadImageFile(keys.file("key.png"));
        EXPECT_TRUE(picture);
        return picture ? *picture : FrameImage();
    };
    const std::vector<std::string> slopes = {"--set", "Slope=1", "--set", "SlopePower=50",
                                             "--set", "SlopeRatio=50"};
    std::vector<std::string> turnedSlopes = slopes;
    turnedSlopes.insert(turnedSlopes.end(), {"--start-rotation", "90"});
    const FrameImage upright = preview(slopes);
    const FrameImage turned = preview(turnedSlopes);
    EXPECT_FALSE(samePixels(upright, turned));
    // Without slopes the light plays no part.
    EXPECT_TRUE(samePixels(preview({}), preview({"--start-rotation", "90"})));
}

}  // namespace
}  // namespace zr
