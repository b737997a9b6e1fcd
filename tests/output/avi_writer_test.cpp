#include "output/avi_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "output/compressors.h"
#include "output/movie_files.h"
#include "output/movie_reader.h"
#include "support/frame_image.h"

extern "C" {
#include <libavutil/log.h>
}

namespace zr {
namespace {

namespace fs = std::filesystem;
using testing::decodeMovie;
using testing::TempFolder;

// Four flat quadrants (red, green / blue, grey), so that lossy coders keep their colours away from
// the edges; the grey grows with the frame number, which shows the order of the frames.
std::array<std::uint8_t, 3> quadrantColor(int quadrant, int frameNumber) {
    constexpr std::array<std::uint8_t, 3> kColors[3] = {
        {30, 40, 200}, {40, 190, 50}, {200, 60, 40}};
    const auto grey = static_cast<std::uint8_t>(50 + 60 * frameNumber);
    return quadrant < 3 ? kColors[quadrant] : std::array<std::uint8_t, 3>{grey, grey, grey};
}

FrameImage quadrantFrame(int width, int height, int frameNumber) {
    FrameImage frame(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int quadrant = (y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1);
            std::memcpy(frame.pixel(x, y), quadrantColor(quadrant, frameNumber).data(), 3);
        }
    }
    return frame;
}

// Lossless: every pixel exact. Lossy: the middle of each quadrant within `tolerance`.
void expectQuadrants(const FrameImage& decoded, int frameNumber, int tolerance) {
    if (tolerance == 0) {
        EXPECT_EQ(quadrantFrame(decoded.width(), decoded.height(), frameNumber), decoded);
        return;
    }
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        const int x = decoded.width() * (1 + 2 * (quadrant % 2)) / 4;
        const int y = decoded.height() * (1 + 2 * (quadrant / 2)) / 4;
        for (int channel = 0; channel < 3; ++channel) {
            EXPECT_NEAR(quadrantColor(quadrant, frameNumber)[channel], decoded.pixel(x, y)[channel],
                        tolerance)
                << "quadrant " << quadrant << " channel " << channel;
        }
    }
}

class AviWriterTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { av_log_set_level(AV_LOG_QUIET); }
    TempFolder folder;
};

TEST_F(AviWriterTest, OpenFailuresNameTheCauseFailLaterFramesAndLeaveNoFile) {
    const std::string missing = folder.file("missing/film.avi");
    AviWriter writer(missing, 24, 30, 1, 100, "DIB ");
    EXPECT_EQ(WriterState::kWaitingForFirstFrame, writer.state());
    EXPECT_EQ(WriteStatus::kFailed, writer.writeFrame(quadrantFrame(16, 16, 0)));
    EXPECT_EQ(0u, writer.errorText().rfind(kAviCreateFileText, 0)) << writer.errorText();
    EXPECT_NE(std::string::npos, writer.errorText().find(missing + "\": No such file"));
    EXPECT_EQ(WriterState::kClosed, writer.state());
    fs::create_directory(folder.file("missing"));
    EXPECT_EQ(WriteStatus::kFailed,
              writer.writeFrame(quadrantFrame(16, 16, 1)));  // no second attempt
    EXPECT_TRUE(fs::is_empty(folder.file("missing")));

    struct Case {
        const char* handler;
        int bitCount;
        int width;
        std::string_view text;
    };
    for (const Case& c : {Case{"IV50", 24, 32, kAviNoCompressorText},
                          Case{"MSVC", 24, 30, kAviUnsupportedText},  // multiples of 4 only
                          Case{"DIB ", 16, 32, kAviUnsupportedText}}) {
        AviWriter other(folder.file("film.avi"), c.bitCount, 30, 1, 100, c.handler);
        EXPECT_EQ(WriteStatus::kFailed, other.writeFrame(quadrantFrame(c.width, 32, 0)))
            << c.handler;
        EXPECT_EQ(c.text, other.errorText()) << c.handler;
        EXPECT_EQ(WriterState::kClosed, other.state());
    }
    fs::remove(folder.file("missing"));
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST_F(AviWriterTest, TheCompressorKeyFramesAndQualityOfTheMovieGoToEveryFile) {
    OutputSpec output;
    output.folderPattern = folder.path().string() + "/*.zmb";
    output.movieFile.path = folder.file("film.avi");
    const auto unnamed = MovieFiles(output).open(3);
    const auto* unnamedAvi = dynamic_cast<const AviWriter*>(unnamed.get());
    ASSERT_NE(nullptr, unnamedAvi);
    EXPECT_EQ("MJPG", unnamedAvi->compressorHandler());
    EXPECT_EQ(85, unnamedAvi->quality());

    output.movieFile.codec = "MSVC";
    output.movieFile.aviKeyFrameEvery = 4;
    output.movieFile.aviQuality = 60;
    const MovieFiles files(output);
    for (const int index : {0, 1, 7}) {
        const auto writer = files.open(index);
        const auto* avi = dynamic_cast<const AviWriter*>(writer.get());
        ASSERT_NE(nullptr, avi);
        EXPECT_EQ("MSVC", avi->compressorHandler());
        EXPECT_EQ(4, avi->keyFrameEvery());
        EXPECT_EQ(60, avi->quality());
    }
}

TEST_F(AviWriterTest, MovieGetsItsNameOnlyWhenComplete) {
    const std::string path = folder.file("film.avi");
    { AviWriter unused(path, 24, 30, 1, 100, "MSVC"); }
    EXPECT_TRUE(fs::is_empty(folder.path()));
    // What other renders of the same folder write (on this machine or another), or left when
    // they were killed: the writer never writes into them, and clears them once its file is whole.
    const std::vector<std::string> others = {path + ".part", path + ".node7-4211.part"};
    for (const std::string& other : others) {
        std::ofstream(other) << "another render's frames";
    }
    {
        AviWriter writer(path, 24, 30, 1, 100, "DIB ");
        ASSERT_EQ(WriteStatus::kOk, writer.writeFrame(quadrantFrame(16, 8, 0)));
        EXPECT_FALSE(fs::exists(path));
        EXPECT_TRUE(fs::exists(partialMovieName(path)));
        for (const std::string& other : others) {
            EXPECT_NE(other, partialMovieName(path));
            EXPECT_EQ(23u, fs::file_size(other));
        }
    }  // destruction finishes the file like close()
    EXPECT_EQ(1u, decodeMovie(path).frames.size());
    EXPECT_EQ(1, std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()));

    fs::remove(path);
    try {
        AviWriter writer(path, 24, 30, 1, 100, "DIB ");
        ASSERT_EQ(WriteStatus::kOk, writer.writeFrame(quadrantFrame(16, 8, 0)));
        throw std::runtime_error("render failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST_F(AviWriterTest, FrameOfAnotherSizeIsRefusedAndTheNextOneWritten) {
    const std::string path = folder.file("film.avi");
    AviWriter writer(path, 24, 30, 1, 100, "DIB ");
    ASSERT_EQ(WriteStatus::kOk, writer.writeFrame(quadrantFrame(16, 8, 0)));
    EXPECT_EQ(WriteStatus::kFailed, writer.writeFrame(quadrantFrame(16, 10, 1)));
    EXPECT_NE(std::string::npos, writer.errorText().find("AVIERR_BADSIZE")) << writer.errorText();
    // A refused frame leaves the file open: the render still counts it as written to.
    EXPECT_EQ(WriterState::kWriting, writer.state());
    EXPECT_EQ(WriteStatus::kOk, writer.writeFrame(quadrantFrame(16, 8, 2)));
    EXPECT_EQ(3, writer.frameIndex());
    EXPECT_EQ(WriteStatus::kOk, writer.close());
    EXPECT_EQ(WriterState::kClosed, writer.state());
    EXPECT_EQ(WriteStatus::kFailed, writer.writeFrame(quadrantFrame(16, 8, 3)));
    const testing::DecodedMovie movie = decodeMovie(path);
    ASSERT_FALSE(movie.frames.empty()) << movie.error;
    expectQuadrants(movie.frames.back(), 2, 0);
}

TEST_F(AviWriterTest, FailedWriteIsReportedAndLeavesNoMovie) {
    const std::string path = folder.file("film.avi");
    rlimit original{};
    getrlimit(RLIMIT_FSIZE, &original);
    const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = original;
    small.rlim_cur = 200 * 1024;  // a disk that is full after about five frames
    setrlimit(RLIMIT_FSIZE, &small);
    int failures = 0;
    AviWriter writer(path, 24, 30, 1, 100, "DIB ");
    for (int i = 0; i < 20; ++i) {
        failures += writer.writeFrame(quadrantFrame(128, 96, i % 4)) != WriteStatus::kOk;
    }
    const WriteStatus closed = writer.close();
    setrlimit(RLIMIT_FSIZE, &original);
    signal(SIGXFSZ, previousHandler);

    EXPECT_GT(failures, 0);
    EXPECT_EQ(WriteStatus::kFailed, closed);
    EXPECT_NE(std::string::npos, writer.errorText().find("AVIERR_FILEWRITE")) << writer.errorText();
    EXPECT_NE(std::string::npos, writer.errorText().find(path)) << writer.errorText();
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST_F(AviWriterTest, UncompressedFramesAreStoredBottomUpAtTheirDepth) {
    EXPECT_EQ(304, dibStride(101, 24));
    EXPECT_EQ(404, dibStride(101, 32));
    for (const int bitCount : {24, 32}) {
        const std::string path = folder.file(std::to_string(bitCount) + ".avi");
        AviWriter writer(path, bitCount, 25, 1, 100, "DIB ");
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(WriteStatus::kOk, writer.writeFrame(quadrantFrame(101, 30, i)));
        }
        ASSERT_EQ(WriteStatus::kOk, writer.close()) << writer.errorText();

        const testing::StreamBitmapHeader header = testing::readStreamBitmapHeader(path);
        EXPECT_EQ(101, header.width);
        EXPECT_EQ(30, header.height);  // positive: bottom-up rows
        EXPECT_EQ(bitCount, header.bitCount);
        const testing::DecodedMovie movie = decodeMovie(path);
        EXPECT_EQ(25, movie.framesPerSecond);
        ASSERT_EQ(3u, movie.frames.size()) << movie.error;
        for (int i = 0; i < 3; ++i) {
            expectQuadrants(movie.frames[i], i, 0);
        }
    }
    // Frames of more than 256 KiB go to the file in one piece each.
    const std::string large = folder.file("large.avi");
    AviWriter writer(large, 32, 25, 1, 100, "DIB ");
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(WriteStatus::kOk, writer.writeFrame(quadrantFrame(640, 360, i)));
    }
    ASSERT_EQ(WriteStatus::kOk, writer.close()) << writer.errorText();
    const testing::DecodedMovie movie = decodeMovie(large);
    ASSERT_EQ(2u, movie.frames.size()) << movie.error;
    expectQuadrants(movie.frames[1], 1, 0);
}

TEST_F(AviWriterTest, KeyFramesComeAtTheChosenInterval) {
    const std::vector<bool> everyThird = {true, false, false, true, false, false, true};
    for (const char* handler : {"MSVC", "XVID", "FFV1", "cvid"}) {
        const std::string path = folder.file(std::string(handler) + ".avi");
        AviWriter writer(path, 24, 30, 3, 100, handler);
        for (int i = 0; i < 7; ++i) {
            ASSERT_EQ(WriteStatus::kOk, writer.writeFrame(quadrantFrame(64, 48, i % 2))) << handler;
        }
        ASSERT_EQ(WriteStatus::kOk, writer.close());
        EXPECT_EQ(everyThird, decodeMovie(path).keyPackets) << handler;
    }
}

TEST_F(AviWriterTest, LowerQualityGivesSmallerFiles) {
    FrameImage detailed(64, 48);
    for (std::size_t i = 0; i < detailed.sizeBytes(); ++i) {
        detailed.data()[i] = static_cast<std::uint8_t>((i * 37 + i * i / 91) % 251);
    }
    for (const char* handler : {"MJPG", "H264", "XVID"}) {
        std::uintmax_t sizes[2] = {};
        for (const int quality : {100, 10}) {
            const std::string path = folder.file(std::to_string(quality) + handler + ".avi");
            AviWriter writer(path, 24, 30, 1, quality, handler);
            for (int i = 0; i < 3; ++i) {
                ASSERT_EQ(WriteStatus::kOk, writer.writeFrame(detailed)) << handler;
            }
            ASSERT_EQ(WriteStatus::kOk, writer.close());
            sizes[quality == 100 ? 0 : 1] = fs::file_size(path);
        }
        EXPECT_GT(sizes[0], sizes[1] * 3 / 2) << handler;
    }
}

}  // namespace

// Test names and failure messages show a compressor by its code.
void PrintTo(const Compressor& compressor, std::ostream* out) {
    *out << compressor.fourcc;
}

namespace {

// Every compressor of this build writes frames that decode back upright, in order, in their
// colours, at their size and under their code.
class CompressorRoundTrip : public ::testing::TestWithParam<Compressor> {
  protected:
    static void SetUpTestSuite() { av_log_set_level(AV_LOG_QUIET); }
    TempFolder folder;
};

TEST_P(CompressorRoundTrip, FramesDecodeBack) {
    const Compressor& compressor = GetParam();
    const std::string path = folder.file("film.avi");
    AviWriter writer(path, 24, 30, 2, 100, compressor.fourcc);
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(WriteStatus::kOk, writer.writeFrame(quadrantFrame(64, 48, i)))
            << writer.errorText();
    }
    ASSERT_EQ(WriteStatus::kOk, writer.close()) << writer.errorText();

    const testing::DecodedMovie movie = decodeMovie(path);
    ASSERT_EQ("", movie.error);
    EXPECT_EQ(compressor.fourcc == "DIB " ? std::string(4, '\0') : compressor.fourcc,
              std::string(reinterpret_cast<const char*>(&movie.codecTag), 4));
    ASSERT_EQ(4u, movie.frames.size());
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        ASSERT_EQ(64, movie.frames[i].width());
        ASSERT_EQ(48, movie.frames[i].height());
        expectQuadrants(movie.frames[i], i, compressor.lossless ? 0 : 20);
    }
}

INSTANTIATE_TEST_SUITE_P(Available, CompressorRoundTrip,
                         ::testing::ValuesIn(availableCompressors()),
                         [](const ::testing::TestParamInfo<Compressor>& info) {
                             return info.param.fourcc.substr(0, info.param.fourcc.find(' '));
                         });

}  // namespace
}  // namespace zr
