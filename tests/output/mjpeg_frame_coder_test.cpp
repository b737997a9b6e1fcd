#include "output/mjpeg_frame_coder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "output/avi_writer.h"
#include "output/movie_reader.h"
#include "support/frame_image.h"

extern "C" {
#include <libavutil/log.h>
}

namespace zr {
namespace {

using testing::decodeMovie;
using testing::TempFolder;

// Smooth bands of colour with fine rings, moving with the frame number: what a zoom looks like
// to a JPEG coder (and the frames tell their order apart).
FrameImage zoomLikeFrame(int width, int height, int frameNumber) {
    FrameImage frame(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double dx = x - width / 2.0;
            const double dy = y - height / 2.0;
            const double r = std::sqrt(dx * dx + dy * dy) + 3.0 * frameNumber;
            std::uint8_t* pixel = frame.pixel(x, y);
            pixel[0] = static_cast<std::uint8_t>(127 + 120 * std::sin(r / 9.0));
            pixel[1] = static_cast<std::uint8_t>(127 + 120 * std::sin(r / 23.0 + 1.0));
            pixel[2] = static_cast<std::uint8_t>(127 + 120 * std::cos(r / 41.0 + x / 97.0));
        }
    }
    return frame;
}

double psnr(const FrameImage& a, const FrameImage& b) {
    double squares = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int i = 0; i < a.width() * FrameImage::kBytesPerPixel; ++i) {
            const double d = static_cast<double>(a.row(y)[i]) - static_cast<double>(b.row(y)[i]);
            squares += d * d;
        }
    }
    const double mean = squares / (3.0 * a.width() * a.height());
    return mean == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mean);
}

class MjpegFrameCoderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { av_log_set_level(AV_LOG_QUIET); }
    TempFolder folder;
};

// Frames of a size that leaves partial blocks at the right and bottom go into the AVI as
// Motion JPEG frames FFmpeg decodes: every frame, in order, close to what was written, and
// closer at a higher quality.
TEST_F(MjpegFrameCoderTest, MoviesDecodeFrameByFrameCloseToTheRenderedFrames) {
    constexpr int kWidth = 203;
    constexpr int kHeight = 117;
    constexpr int kFrames = 7;
    double lowest[2] = {99, 99};
    std::uintmax_t bytes[2] = {};
    for (const int quality : {50, 95}) {
        const std::string path = folder.file("q" + std::to_string(quality) + ".avi");
        AviWriter writer(path, 24, 30, 1, quality, "MJPG");
        for (int i = 0; i < kFrames; ++i) {
            ASSERT_EQ(WriteStatus::kOk, writer.writeFrame(zoomLikeFrame(kWidth, kHeight, i)))
                << writer.errorText();
        }
        ASSERT_EQ(WriteStatus::kOk, writer.close()) << writer.errorText();

        const testing::DecodedMovie movie = decodeMovie(path);
        ASSERT_EQ("", movie.error);
        EXPECT_EQ("mjpeg", movie.codecName);
        EXPECT_EQ("MJPG", std::string(reinterpret_cast<const char*>(&movie.codecTag), 4));
        ASSERT_EQ(static_cast<std::size_t>(kFrames), movie.frames.size());
        EXPECT_EQ(std::vector<bool>(kFrames, true), movie.keyPackets);
        const int at = quality == 95 ? 1 : 0;
        for (int i = 0; i < kFrames; ++i) {
            ASSERT_EQ(kWidth, movie.frames[i].width());
            ASSERT_EQ(kHeight, movie.frames[i].height());
            const double own = psnr(movie.frames[i], zoomLikeFrame(kWidth, kHeight, i));
            lowest[at] = std::min(lowest[at], own);
            // Each frame is nearer its own picture than its neighbour's.
            EXPECT_GT(own, psnr(movie.frames[i], zoomLikeFrame(kWidth, kHeight, i + 1)) + 3);
        }
        bytes[at] = std::filesystem::file_size(path);
    }
    EXPECT_GT(lowest[0], 28.0);
    EXPECT_GT(lowest[1], lowest[0] + 1.0);
    EXPECT_GT(bytes[1], bytes[0]);
}

TEST(MjpegFrameCoder, QualityPicksTheQuantiserScale) {
    EXPECT_EQ(1, MjpegFrameCoder::quantiserScale(100));
    EXPECT_EQ(2, MjpegFrameCoder::quantiserScale(95));
    EXPECT_EQ(5, MjpegFrameCoder::quantiserScale(85));
    EXPECT_EQ(8, MjpegFrameCoder::quantiserScale(75));
    EXPECT_EQ(16, MjpegFrameCoder::quantiserScale(50));
    EXPECT_EQ(31, MjpegFrameCoder::quantiserScale(0));
    EXPECT_EQ(31, MjpegFrameCoder::quantiserScale(-7));
    EXPECT_EQ(1, MjpegFrameCoder::quantiserScale(250));
}

// A picture libjpeg refuses fails with its reason instead of ending the program, and the coder
// codes the next picture.
TEST(MjpegFrameCoder, RefusedPicturesFailCleanlyAndTheCoderGoesOn) {
    MjpegFrameCoder coder(85);
    std::string error;
    EXPECT_FALSE(coder.code(FrameImage{}, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(coder.code(FrameImage(70000, 1), error));  // wider than JPEG allows
    EXPECT_NE(std::string::npos, error.find("65500")) << error;
    EXPECT_EQ(0U, coder.size());
    error.clear();
    ASSERT_TRUE(coder.code(zoomLikeFrame(640, 360, 0), error)) << error;
    ASSERT_GT(coder.size(), 2U);
    EXPECT_EQ(0xFF, coder.data()[0]);
    EXPECT_EQ(0xD8, coder.data()[1]);                 // start of image
    EXPECT_EQ(0xD9, coder.data()[coder.size() - 1]);  // end of image
}

}  // namespace
}  // namespace zr
