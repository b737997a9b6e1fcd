#include "output/avi_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "output/compressors.h"
#include "output/movie_reader.h"
#include "settings/render_host.h"
#include "support/frame_image.h"

extern "C" {
#include <libavutil/log.h>
}

namespace zr {
namespace {

namespace fs = std::filesystem;
using testing::DecodedMovie;
using testing::decodeMovie;

// A fresh folder per test, removed afterwards.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "zr_output_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("no temporary folder");
        }
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

struct Bgr3 {
    int blue, green, red;
};

// Four flat quadrants, so that lossy coders keep their colours away from the edges: red top left,
// green top right, blue bottom left and a grey bottom right that grows with the frame number.
Bgr3 quadrantColour(int quadrant, int frameNumber) {
    switch (quadrant) {
        case 0:
            return {30, 40, 200};
        case 1:
            return {40, 190, 50};
        case 2:
            return {200, 60, 40};
        default: {
            const int grey = 50 + 60 * frameNumber;
            return {grey, grey, grey};
        }
    }
}

FrameImage quadrantFrame(int width, int height, int frameNumber) {
    FrameImage frame(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int quadrant = (y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1);
            const Bgr3 colour = quadrantColour(quadrant, frameNumber);
            std::uint8_t* pixel = frame.pixel(x, y);
            pixel[0] = static_cast<std::uint8_t>(colour.blue);
            pixel[1] = static_cast<std::uint8_t>(colour.green);
            pixel[2] = static_cast<std::uint8_t>(colour.red);
        }
    }
    return frame;
}

// Compares the middle of each quadrant with what was written; `tolerance` 0 demands every pixel
// of the frame to be exact.
void expectQuadrants(const FrameImage& decoded, int frameNumber, int tolerance) {
    if (tolerance == 0) {
        const FrameImage expected = quadrantFrame(decoded.width(), decoded.height(), frameNumber);
        for (int y = 0; y < decoded.height(); ++y) {
            ASSERT_EQ(0, std::memcmp(decoded.row(y), expected.row(y), decoded.width() * 3))
                << "row " << y << " of frame " << frameNumber;
        }
        return;
    }
    const int w = decoded.width();
    const int h = decoded.height();
    const int xs[2] = {w / 4, 3 * w / 4};
    const int ys[2] = {h / 4, 3 * h / 4};
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        const std::uint8_t* pixel = decoded.pixel(xs[quadrant % 2], ys[quadrant / 2]);
        const Bgr3 colour = quadrantColour(quadrant, frameNumber);
        EXPECT_NEAR(pixel[0], colour.blue, tolerance) << "quadrant " << quadrant;
        EXPECT_NEAR(pixel[1], colour.green, tolerance) << "quadrant " << quadrant;
        EXPECT_NEAR(pixel[2], colour.red, tolerance) << "quadrant " << quadrant;
    }
}

class ScriptedHost : public NullRenderHost {
  public:
    bool confirm = false;
    CompressorChoice answer;
    CompressorChoice offered;

    bool chooseCompressor(CompressorChoice& choice) override {
        offered = choice;
        if (confirm) {
            choice = answer;
        }
        return confirm;
    }
};

class AviWriterTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { av_log_set_level(AV_LOG_QUIET); }
    TempFolder folder;
};

TEST(DibLayout, RowsArePaddedBottomUpAndFourthByteIsZero) {
    EXPECT_EQ(304, dibStride(101, 24));
    EXPECT_EQ(404, dibStride(101, 32));
    EXPECT_EQ(12, dibStride(4, 24));

    FrameImage frame(3, 2);
    frame.pixel(0, 0)[2] = 255;  // top left red
    frame.pixel(2, 1)[0] = 255;  // bottom right blue
    std::vector<std::uint8_t> dib;
    frameToDib(frame, 24, dib);
    ASSERT_EQ(24u, dib.size());
    EXPECT_EQ(255, dib[6]);                    // first stored row is the bottom one
    EXPECT_EQ(255, dib[12 + 2]);               // the top row follows
    EXPECT_EQ(0, dib[9] | dib[10] | dib[11]);  // padding

    frame.pixel(1, 1)[1] = 7;
    frameToDib(frame, 32, dib);
    ASSERT_EQ(24u, dib.size());
    EXPECT_EQ(7, dib[5]);
    EXPECT_EQ(255, dib[8]);
    EXPECT_EQ(0, dib[3] | dib[7] | dib[11] | dib[15] | dib[19] | dib[23]);
}

TEST_F(AviWriterTest, NothingIsCreatedBeforeTheFirstFrame) {
    const std::string path = folder.file("film.avi");
    {
        AviWriter writer(path, 24, 30, 1, 100, "MSVC");
        EXPECT_EQ(1, writer.state());
        EXPECT_EQ("", writer.errorText());
        EXPECT_EQ("MSVC", writer.compressorHandler());
    }
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST_F(AviWriterTest, FileThatCannotBeCreatedFailsEveryFrameAfterOneAttempt) {
    const std::string path = folder.file("missing/film.avi");
    AviWriter writer(path, 24, 30, 1, 100, "DIB ");
    EXPECT_EQ(kAviFailed, writer.writeFrame(quadrantFrame(16, 16, 0)));
    EXPECT_EQ(0u, writer.errorText().rfind(kAviCreateFileText, 0)) << writer.errorText();
    EXPECT_NE(std::string::npos, writer.errorText().find(path));
    EXPECT_NE(std::string::npos, writer.errorText().find("No such file"));
    EXPECT_EQ(0, writer.state());

    fs::create_directory(folder.file("missing"));
    EXPECT_EQ(kAviFailed, writer.writeFrame(quadrantFrame(16, 16, 1)));
    EXPECT_EQ(0, writer.frameIndex());
    writer.close();
    EXPECT_TRUE(fs::is_empty(folder.file("missing")));
}

TEST_F(AviWriterTest, OpenFailuresNameTheCauseAndLeaveNoFile) {
    struct Case {
        const char* handler;
        int bitCount;
        int width;
        std::string_view text;
    };
    const Case cases[] = {
        {"IV50", 24, 32, kAviNoCompressorText},
        {"MSVC", 24, 30, kAviUnsupportedText},  // Microsoft Video 1 takes multiples of 4 only
        {"DIB ", 16, 32, kAviUnsupportedText},
    };
    for (const Case& c : cases) {
        AviWriter writer(folder.file("film.avi"), c.bitCount, 30, 1, 100, c.handler);
        EXPECT_EQ(kAviFailed, writer.writeFrame(quadrantFrame(c.width, 32, 0))) << c.handler;
        EXPECT_EQ(c.text, writer.errorText()) << c.handler;
        EXPECT_EQ(0, writer.state());
        EXPECT_TRUE(fs::is_empty(folder.path())) << c.handler;
    }
}

TEST_F(AviWriterTest, CompressorChoiceStartsFromThePresetAndTakesOverTheAnswer) {
    AviWriter writer(folder.file("film.avi"), 24, 25, 1, 100, "MSVC");
    ScriptedHost host;
    EXPECT_EQ(0, writer.chooseCompressor(host, 640, 360));
    EXPECT_EQ("MSVC", host.offered.fourcc);
    EXPECT_EQ(1, host.offered.keyFrameEvery);
    EXPECT_EQ(8500, host.offered.quality);
    EXPECT_EQ("MSVC", writer.compressorHandler());
    EXPECT_EQ(1, writer.keyFrameEvery());
    EXPECT_EQ(100, writer.quality());

    host.confirm = true;
    host.answer = host.offered;
    EXPECT_EQ(1, writer.chooseCompressor(host, 640, 360));
    EXPECT_EQ(85, writer.quality());

    host.answer = {"DIB", 10, 5099};
    EXPECT_EQ(1, writer.chooseCompressor(host, 640, 360));
    EXPECT_EQ("DIB ", writer.compressorHandler());
    EXPECT_EQ(10, writer.keyFrameEvery());
    EXPECT_EQ(50, writer.quality());
}

TEST_F(AviWriterTest, FileGetsItsNameOnlyWhenComplete) {
    const std::string path = folder.file("film.avi");
    {
        AviWriter writer(path, 24, 30, 1, 100, "DIB ");
        ASSERT_EQ(kAviOk, writer.writeFrame(quadrantFrame(16, 8, 0)));
        EXPECT_EQ(2, writer.state());
        EXPECT_FALSE(fs::exists(path));
        EXPECT_TRUE(fs::exists(partialMovieName(path)));
    }  // destruction finishes the file like close()
    EXPECT_TRUE(fs::exists(path));
    EXPECT_FALSE(fs::exists(partialMovieName(path)));
    EXPECT_EQ(1u, decodeMovie(path).frames.size());
}

TEST_F(AviWriterTest, WriterTornDownByAnErrorLeavesNoMovie) {
    const std::string path = folder.file("film.avi");
    try {
        AviWriter writer(path, 24, 30, 1, 100, "DIB ");
        ASSERT_EQ(kAviOk, writer.writeFrame(quadrantFrame(16, 8, 0)));
        throw std::runtime_error("render failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST_F(AviWriterTest, FrameOfAnotherSizeIsRefusedAndTheNextOneWritten) {
    const std::string path = folder.file("film.avi");
    AviWriter writer(path, 24, 30, 1, 100, "DIB ");
    ASSERT_EQ(kAviOk, writer.writeFrame(quadrantFrame(16, 8, 0)));
    EXPECT_EQ(kAviFailed, writer.writeFrame(quadrantFrame(16, 10, 1)));
    EXPECT_NE(std::string::npos, writer.errorText().find("AVIERR_BADSIZE")) << writer.errorText();
    EXPECT_EQ(kAviOk, writer.writeFrame(quadrantFrame(16, 8, 2)));
    EXPECT_EQ(3, writer.frameIndex());
    EXPECT_EQ(kAviOk, writer.close());
    EXPECT_EQ(kAviFailed, writer.writeFrame(quadrantFrame(16, 8, 3)));

    const DecodedMovie movie = decodeMovie(path);
    ASSERT_FALSE(movie.frames.empty()) << movie.error;
    expectQuadrants(movie.frames.front(), 0, 0);
    expectQuadrants(movie.frames.back(), 2, 0);
}

TEST_F(AviWriterTest, UncompressedFramesAreStoredBottomUpAtTheirDepth) {
    for (const int bitCount : {24, 32}) {
        const std::string path = folder.file("film_" + std::to_string(bitCount) + ".avi");
        AviWriter writer(path, bitCount, 25, 1, 100, "DIB ");
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(kAviOk, writer.writeFrame(quadrantFrame(101, 30, i)));
        }
        ASSERT_EQ(kAviOk, writer.close()) << writer.errorText();

        const testing::StreamBitmapHeader header = testing::readStreamBitmapHeader(path);
        ASSERT_TRUE(header.found);
        EXPECT_EQ(101, header.width);
        EXPECT_EQ(30, header.height);  // positive: bottom-up rows
        EXPECT_EQ(bitCount, header.bitCount);
        EXPECT_EQ(0u, header.compression);

        const DecodedMovie movie = decodeMovie(path);
        ASSERT_EQ(3u, movie.frames.size()) << movie.error;
        EXPECT_EQ(25, movie.rateNumerator);
        EXPECT_EQ(1, movie.rateDenominator);
        for (int i = 0; i < 3; ++i) {
            expectQuadrants(movie.frames[i], i, 0);
        }
    }
}

TEST_F(AviWriterTest, FailedWriteIsReportedAndLeavesNoMovie) {
    const std::string path = folder.file("film.avi");
    rlimit original{};
    getrlimit(RLIMIT_FSIZE, &original);
    const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = original;
    small.rlim_cur = 200 * 1024;
    setrlimit(RLIMIT_FSIZE, &small);

    int failures = 0;
    int closed = kAviOk;
    std::string text;
    {
        AviWriter writer(path, 24, 30, 1, 100, "DIB ");
        for (int i = 0; i < 20; ++i) {
            failures += writer.writeFrame(quadrantFrame(128, 96, i % 4)) != kAviOk;
        }
        closed = writer.close();
        text = writer.errorText();
    }
    setrlimit(RLIMIT_FSIZE, &original);
    signal(SIGXFSZ, previousHandler);

    EXPECT_GT(failures, 0);
    EXPECT_EQ(kAviFailed, closed);
    EXPECT_NE(std::string::npos, text.find("AVIERR_FILEWRITE")) << text;
    EXPECT_NE(std::string::npos, text.find(path)) << text;
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST_F(AviWriterTest, FolderRemovedWhileWritingFailsAtClose) {
    fs::create_directory(folder.file("movies"));
    const std::string path = folder.file("movies/film.avi");
    AviWriter writer(path, 24, 30, 1, 100, "DIB ");
    ASSERT_EQ(kAviOk, writer.writeFrame(quadrantFrame(16, 8, 0)));
    fs::remove_all(folder.file("movies"));
    EXPECT_EQ(kAviFailed, writer.close());
    EXPECT_NE(std::string::npos, writer.errorText().find(path)) << writer.errorText();
}

// Every compressor of this build writes frames that decode back upright, in order, in their
// colours and at their size.
class CompressorRoundTrip : public ::testing::TestWithParam<Compressor> {
  protected:
    static void SetUpTestSuite() { av_log_set_level(AV_LOG_QUIET); }
    TempFolder folder;
};

TEST_P(CompressorRoundTrip, FramesDecodeBack) {
    const Compressor& compressor = GetParam();
    const std::string path = folder.file("film.avi");
    constexpr int kFrames = 4;
    {
        AviWriter writer(path, 24, 30, 2, 100, compressor.fourcc);
        for (int i = 0; i < kFrames; ++i) {
            ASSERT_EQ(kAviOk, writer.writeFrame(quadrantFrame(64, 48, i))) << writer.errorText();
        }
        ASSERT_EQ(kAviOk, writer.close()) << writer.errorText();
    }
    const DecodedMovie movie = decodeMovie(path);
    ASSERT_EQ("", movie.error);
    const std::string expectedTag =
        compressor.fourcc == "DIB " ? std::string(4, '\0') : compressor.fourcc;
    EXPECT_EQ(expectedTag, std::string(reinterpret_cast<const char*>(&movie.codecTag), 4));
    EXPECT_EQ(64, movie.width);
    EXPECT_EQ(48, movie.height);
    ASSERT_EQ(static_cast<std::size_t>(kFrames), movie.frames.size());
    for (int i = 0; i < kFrames; ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        expectQuadrants(movie.frames[i], i, compressor.lossless ? 0 : 20);
    }
}

INSTANTIATE_TEST_SUITE_P(AvailableCompressors, CompressorRoundTrip,
                         ::testing::ValuesIn(availableCompressors()),
                         [](const ::testing::TestParamInfo<Compressor>& info) {
                             std::string name = info.param.fourcc;
                             if (name.back() == ' ')
                                 name.pop_back();
                             return name;
                         });

TEST_F(AviWriterTest, KeyFramesComeAtTheChosenInterval) {
    const std::vector<bool> everyThird = {true, false, false, true, false, false, true};
    for (const char* handler : {"MSVC", "XVID", "FFV1", "cvid"}) {
        if (!compressorAvailable(handler)) {
            continue;
        }
        const std::string path = folder.file(std::string(handler) + ".avi");
        AviWriter writer(path, 24, 30, 3, 100, handler);
        for (int i = 0; i < 7; ++i) {
            ASSERT_EQ(kAviOk, writer.writeFrame(quadrantFrame(64, 48, i % 2)));
        }
        ASSERT_EQ(kAviOk, writer.close());
        EXPECT_EQ(everyThird, decodeMovie(path).keyPackets) << handler;
    }
}

TEST_F(AviWriterTest, LowerQualityGivesSmallerFiles) {
    FrameImage detailed(64, 48);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64 * 3; ++x) {
            detailed.row(y)[x] = static_cast<std::uint8_t>((x * 37 + y * 91 + x * y) % 251);
        }
    }
    for (const char* handler : {"MJPG", "H264", "XVID"}) {
        if (!compressorAvailable(handler)) {
            continue;
        }
        std::uintmax_t sizes[2] = {};
        for (const int quality : {100, 10}) {
            const std::string path = folder.file(std::to_string(quality) + handler + ".avi");
            AviWriter writer(path, 24, 30, 1, quality, handler);
            for (int i = 0; i < 3; ++i) {
                ASSERT_EQ(kAviOk, writer.writeFrame(detailed));
            }
            ASSERT_EQ(kAviOk, writer.close());
            sizes[quality == 100 ? 0 : 1] = fs::file_size(path);
        }
        EXPECT_GT(sizes[0], sizes[1] * 3 / 2) << handler;
    }
}

TEST(Compressors, CodesAreFoundWithoutRegardToCase) {
    ASSERT_NE(nullptr, findCompressor("dib"));
    EXPECT_EQ("DIB ", findCompressor("dib")->fourcc);
    EXPECT_EQ("cvid", findCompressor("CVID")->fourcc);
    EXPECT_EQ(nullptr, findCompressor("IV50"));
    EXPECT_TRUE(compressorAvailable("MSVC"));
    EXPECT_FALSE(compressorAvailable("IV50"));
}

}  // namespace
}  // namespace zr
