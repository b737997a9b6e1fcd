#include "output/movie_join.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "output/avi_writer.h"
#include "output/movie_reader.h"
#include "output/movie_writer.h"
#include "support/frame_image.h"

namespace zr {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

constexpr int kFps = 10;

// A picture that differs from frame to frame: a gradient whose corner block moves.
FrameImage movingFrame(int number) {
    FrameImage frame(64, 48);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            std::uint8_t* pixel = frame.pixel(x, y);
            pixel[0] = static_cast<std::uint8_t>(x * 3);
            pixel[1] = static_cast<std::uint8_t>(y * 4);
            pixel[2] = static_cast<std::uint8_t>(20 * number);
        }
    }
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            frame.pixel((x + 4 * number) % 64, y)[1] = 255;
        }
    }
    return frame;
}

using WriterFor = std::function<std::unique_ptr<MovieFileWriter>(const std::string& path)>;

WriterFor aviWriter(const char* fourcc) {
    return [fourcc](const std::string& path) {
        return std::make_unique<AviWriter>(path, 24, kFps, 1, 90, fourcc);
    };
}

WriterFor movieWriter(VideoRequest request) {
    return [request](const std::string& path) -> std::unique_ptr<MovieFileWriter> {
        VideoFormat format;
        std::string error;
        if (!chooseVideoFormat(path, request, format, error)) {
            ADD_FAILURE() << error;
        }
        return std::make_unique<MovieWriter>(path, MovieWriterSettings{format, kFps, {}});
    };
}

// Writes frames [first, first + count) as a render does: "film.EXT", then "film_01.EXT", ... of
// `perFile` frames each (all of them in one file when `perFile` is 0).
void writeRender(const std::string& folder, const std::string& extension, const WriterFor& make,
                 int count, int perFile) {
    std::unique_ptr<MovieFileWriter> writer;
    for (int i = 0; i < count; ++i) {
        if (perFile > 0 && i % perFile == 0 && i > 0) {
            ASSERT_EQ(WriteStatus::kOk, writer->close()) << writer->errorText();
            char name[32];
            std::snprintf(name, sizeof name, "film_%02d", i / perFile);
            writer = make(folder + "/" + name + extension);
        } else if (!writer) {
            writer = make(folder + "/film" + extension);
        }
        ASSERT_EQ(WriteStatus::kOk, writer->writeFrame(movingFrame(i))) << writer->errorText();
    }
    ASSERT_EQ(WriteStatus::kOk, writer->close()) << writer->errorText();
}

// The MD5 of every decoded frame in blue, green, red, as FFmpeg's framemd5 prints them.
std::vector<std::string> frameMd5s(const std::string& path) {
    std::vector<std::string> sums;
    FILE* pipe = popen(
        ("ffmpeg -v error -i '" + path + "' -map 0:v -pix_fmt bgr24 -f framemd5 - 2>&1").c_str(),
        "r");
    if (pipe == nullptr) {
        return sums;
    }
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        const std::string text(line);
        if (!text.starts_with("#")) {
            sums.push_back(text.substr(text.rfind(',') + 1));
        }
    }
    pclose(pipe);
    return sums;
}

class MovieJoinTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { av_log_set_level(AV_LOG_ERROR); }

    void touch(const std::string& name) { std::ofstream(folder.file(name)) << ""; }
    std::vector<std::string> pieces(const std::string& first = "") {
        std::vector<std::string> found;
        error.clear();
        if (!findMoviePieces(folder.path().string(), first, found, error)) {
            found.clear();
        }
        return found;
    }

    TempFolder folder;
    std::string error;
};

TEST_F(MovieJoinTest, SplitFilesAreFoundInOrderAndGapsNamed) {
    for (const char* name :
         {"film.avi", "film_02.avi", "film_01.avi", "film_10.avi", "film_joined.avi", "keys.zmb"}) {
        touch(name);
    }
    EXPECT_TRUE(pieces().empty());
    EXPECT_NE(std::string::npos, error.find("film_03.avi\" is missing")) << error;
    for (int number = 3; number < 10; ++number) {
        touch("film_0" + std::to_string(number) + ".avi");
    }
    const std::vector<std::string> found = pieces();
    ASSERT_EQ(11u, found.size()) << error;
    EXPECT_EQ(folder.file("film.avi"), found[0]);
    EXPECT_EQ(folder.file("film_10.avi"), found[10]);

    for (const char* partial : {"film_11.avi.part", "film_11.avi.node7-4211.part"}) {
        touch(partial);
        EXPECT_TRUE(pieces().empty());
        EXPECT_NE(std::string::npos, error.find(std::string(partial) + "\" was not finished"))
            << error;
        fs::remove(folder.file(partial));
    }
    touch("film_04.avi.unfinished");  // stopped short, or made without a key frame's detail
    EXPECT_TRUE(pieces().empty());
    EXPECT_NE(std::string::npos, error.find("film_04.avi\" is not whole")) << error;
    fs::remove(folder.file("film_04.avi.unfinished"));

    touch("film.mp4");  // a film of one file: the split one is meant
    EXPECT_EQ(11u, pieces().size()) << error;
    touch("film_01.mp4");
    EXPECT_TRUE(pieces().empty());
    EXPECT_NE(std::string::npos, error.find("--input")) << error;
    EXPECT_EQ(2u, pieces("film.mp4").size()) << error;
    fs::remove(folder.file("film.avi"));
    EXPECT_TRUE(pieces("film.avi").empty());
    EXPECT_NE(std::string::npos, error.find("film.avi\" is missing")) << error;

    // A movie written under a name of its own splits the same way.
    touch("zoom.mkv");
    touch("zoom_01.mkv");
    EXPECT_EQ(2u, pieces("zoom.mkv").size()) << error;
    EXPECT_TRUE(pieces("zoom.txt").empty());
}

TEST_F(MovieJoinTest, JoinedSplitRenderEqualsASingleFileRender) {
    struct Case {
        const char* extension;
        WriterFor writer;
        const char* output;
        const char* encodeWith;  // "": copy
    };
    const Case cases[] = {
        {".avi", aviWriter("MJPG"), "whole.avi", ""},
        {".avi", aviWriter("DIB "), "whole.avi", ""},
        {".mkv", movieWriter({"ffv1", {}, "", ""}), "whole.mkv", ""},
        {".mov", movieWriter({"prores", {}, "", ""}), "whole.mov", ""},
        {".avi", aviWriter("HFYU"), "whole.mkv", "ffv1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.extension) + " to " + c.output);
        TempFolder single, split;
        writeRender(single.path().string(), c.extension, c.writer, 11, 0);
        writeRender(split.path().string(), c.extension, c.writer, 11, 4);
        std::vector<std::string> found;
        ASSERT_TRUE(findMoviePieces(split.path().string(), "", found, error)) << error;
        ASSERT_EQ(3u, found.size());

        JoinRequest request;
        request.pieces = found;
        request.output = split.file(c.output);
        request.expectedFrames = 11;
        request.video.codec = c.encodeWith;
        const JoinResult joined = joinMovies(request);
        ASSERT_EQ("", joined.error);
        EXPECT_EQ(11, joined.frames);
        EXPECT_EQ(c.encodeWith[0] == 0, joined.videoCopied);
        EXPECT_FALSE(fs::exists(partialMovieName(request.output)));
        const std::vector<std::string> whole =
            frameMd5s(single.file(std::string("film") + c.extension));
        ASSERT_EQ(11u, whole.size());
        EXPECT_EQ(whole, frameMd5s(request.output));
    }
}

// Codecs whose frames refer to each other (B-frames, reordered times) are copied frame for frame.
TEST_F(MovieJoinTest, CopiedPredictedVideoHoldsEveryFrameOfThePieces) {
    for (const VideoRequest& video :
         {VideoRequest{"h264", {}, "medium", ""}, VideoRequest{"h265", {}, "ultrafast", ""}}) {
        SCOPED_TRACE(video.codec);
        TempFolder split;
        writeRender(split.path().string(), ".mp4", movieWriter(video), 23, 9);
        std::vector<std::string> pieces;
        ASSERT_TRUE(findMoviePieces(split.path().string(), "", pieces, error)) << error;
        std::vector<std::string> sums;
        for (const std::string& piece : pieces) {
            const std::vector<std::string> part = frameMd5s(piece);
            sums.insert(sums.end(), part.begin(), part.end());
        }
        ASSERT_EQ(23u, sums.size());
        for (const char* output : {"whole.mp4", "whole.mkv", "whole.mov"}) {
            JoinRequest request;
            request.pieces = pieces;
            request.output = split.file(output);
            const JoinResult joined = joinMovies(request);
            ASSERT_EQ("", joined.error) << output;
            EXPECT_TRUE(joined.videoCopied) << output;
            EXPECT_EQ(sums, frameMd5s(request.output)) << output;
        }
    }
}

TEST_F(MovieJoinTest, EncodedJoinCarriesTheSoundtrackOverTheWholeMovie) {
    const std::string folderName = folder.path().string();
    writeRender(folderName, ".avi", aviWriter("MJPG"), 25, 10);
    std::vector<float> clicks(3 * 48000);
    for (const double click : {0.3, 1.2, 2.1}) {
        for (int i = 0; i < 240; ++i) {
            clicks[static_cast<std::size_t>(click * 48000) + i] =
                0.9f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 2000.0 * i / 48000));
        }
    }
    testing::writeWav(folder.file("music.wav"), 48000, clicks);

    JoinRequest request;
    ASSERT_TRUE(findMoviePieces(folderName, "film.avi", request.pieces, error)) << error;
    request.output = folder.file("film_joined.mp4");
    request.soundtrack = folder.file("music.wav");
    request.soundtrackOffset = 0.1;
    const JoinResult joined = joinMovies(request);
    ASSERT_EQ("", joined.error);
    EXPECT_FALSE(joined.videoCopied);  // Motion JPEG does not go into MP4

    const testing::DecodedMovie movie = testing::decodeMovie(request.output);
    ASSERT_EQ(25u, movie.frames.size()) << movie.error;
    EXPECT_EQ(kFps, movie.framesPerSecond);
    const testing::DecodedSound sound = testing::decodeSound(request.output);
    ASSERT_EQ("", sound.error);
    EXPECT_NEAR(2.5, sound.startSeconds + sound.seconds(), 1.0 / kFps);
    std::vector<double> found;
    for (std::size_t i = 1; i < sound.samples.size(); ++i) {
        if (std::abs(sound.samples[i]) > 0.4f &&
            (found.empty() ||
             sound.startSeconds + static_cast<double>(i) / sound.sampleRate > found.back() + 0.1)) {
            found.push_back(sound.startSeconds + static_cast<double>(i) / sound.sampleRate);
        }
    }
    ASSERT_EQ(2u, found.size());  // 2.2 s lies in the fade-out
    EXPECT_NEAR(0.4, found[0], 1024.0 / 48000);
    EXPECT_NEAR(1.3, found[1], 1024.0 / 48000);
}

TEST_F(MovieJoinTest, PiecesThatDoNotMakeOneMovieAreRefused) {
    const std::string output = folder.file("joined.avi");
    const auto join = [&](std::vector<std::string> files, long long expected = -1) {
        JoinRequest request;
        request.pieces = std::move(files);
        request.output = output;
        request.expectedFrames = expected;
        const JoinResult result = joinMovies(request);
        EXPECT_FALSE(fs::exists(output));
        EXPECT_FALSE(fs::exists(partialMovieName(output)));
        return result.error;
    };
    const auto write = [&](const std::string& name, int frames, int width) {
        AviWriter writer(folder.file(name), 24, kFps, 1, 90, "MJPG");
        for (int i = 0; i < frames; ++i) {
            ASSERT_EQ(WriteStatus::kOk, writer.writeFrame(FrameImage(width, 32)));
        }
    };
    write("a.avi", 4, 32);
    write("short.avi", 2, 32);
    write("wide.avi", 4, 48);
    EXPECT_NE(std::string::npos,
              join({folder.file("a.avi"), folder.file("short.avi"), folder.file("a.avi")})
                  .find("short.avi\" holds 2 frames"));
    EXPECT_NE(
        std::string::npos,
        join({folder.file("a.avi"), folder.file("wide.avi")}).find("wide.avi\" holds 48 x 32"));
    EXPECT_NE(std::string::npos,
              join({folder.file("a.avi"), folder.file("short.avi")}, 7).find("hold 6 frames"));
    touch("broken.avi");
    EXPECT_NE(std::string::npos,
              join({folder.file("a.avi"), folder.file("broken.avi")}).find("broken.avi"));
}

}  // namespace
}  // namespace zr
