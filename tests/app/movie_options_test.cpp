#include "app/movie_options.h"

#include <gtest/gtest.h>

namespace zr {
namespace {

std::string readError(const std::vector<std::string>& args, MovieOptions* options = nullptr) {
    CommandLine line;
    MovieOptions read;
    std::string error;
    if (!parseCommandLine(*findCliCommand("join"), args, line, error) ||
        !readMovieOptions(line, read, error)) {
        return error;
    }
    if (options != nullptr) {
        *options = read;
    }
    return {};
}

TEST(MovieOptionsTest, ReadsTheMovieChoicesAndNamesBadValues) {
    MovieOptions options;
    ASSERT_EQ("", readError({"keys", "--output=a.webm", "--crf", "30", "--pix-fmt", "yuv444p",
                             "--audio", "m.ogg", "--audio-offset", "-2.5"},
                            &options));
    EXPECT_EQ("a.webm", options.output.value_or(""));
    EXPECT_EQ(30, options.video.crf.value_or(-1));
    EXPECT_EQ("yuv444p", options.video.pixelFormat);
    EXPECT_EQ(-2.5, options.audioOffset);
    struct Bad {
        std::vector<std::string> args;
        const char* option;
    };
    for (const Bad& bad :
         {Bad{{"keys", "--crf", "high"}, "--crf"},
          Bad{{"keys", "--audio-offset", "1"}, "--audio-offset"},
          Bad{{"keys", "--audio", "m.ogg", "--audio-offset", "1s"}, "--audio-offset"},
          Bad{{"keys", "--output="}, "--output"}}) {
        EXPECT_EQ(0u, readError(bad.args).find(bad.option)) << readError(bad.args);
    }
}

}  // namespace
}  // namespace zr
