#include "output/jpeg_dump.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "output/movie_reader.h"
#include "support/frame_image.h"

namespace zr {
namespace {

TEST(JpegDump, ImageNamesCountMovieFilesAndFrames) {
    EXPECT_EQ("/movies/zoom/img_0002_007.jpg", jpegDumpPath("/movies/zoom/film_02.avi", 2, 7));
    EXPECT_EQ("/movies/zoom/img_0000_1500.jpg", jpegDumpPath("/movies/zoom/film.avi", 0, 1500));
    EXPECT_EQ("img_0012_000.jpg", jpegDumpPath("film.avi", 12, 0));
}

TEST(JpegDump, ImageIsWrittenTopDownInItsColorsOverAnOlderOne) {
    // 101 pixels: the padding of the picture's rows must not reach the image.
    FrameImage frame(101, 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 101; ++x) {
            frame.pixel(x, y)[y < 4 ? 2 : 0] = 220;  // red top half, blue bottom half
        }
    }
    const testing::TempFolder folder;
    const std::string path = folder.file("img_0000_000.jpg");
    std::ofstream(path) << "an older image";
    ASSERT_EQ(1, saveFrameAsJpeg(path, frame, 99));

    const testing::DecodedMovie image = testing::decodeMovie(path);
    ASSERT_EQ(1u, image.frames.size()) << image.error;
    const FrameImage& decoded = image.frames[0];
    ASSERT_EQ(101, decoded.width());
    ASSERT_EQ(8, decoded.height());
    for (const int x : {0, 50, 100}) {
        EXPECT_NEAR(0, decoded.pixel(x, 0)[0], 12) << x;
        EXPECT_NEAR(220, decoded.pixel(x, 0)[2], 12) << x;
        EXPECT_NEAR(220, decoded.pixel(x, 7)[0], 12) << x;
        EXPECT_NEAR(0, decoded.pixel(x, 7)[2], 12) << x;
    }
}

TEST(JpegDump, FailuresReturnZeroAndTheProgramGoesOn) {
    const testing::TempFolder folder;
    const FrameImage frame(16, 16);
    std::string reason;
    EXPECT_EQ(0, saveFrameAsJpeg(folder.file("missing/img_0000_000.jpg"), frame, 99, &reason));
    EXPECT_NE(std::string::npos, reason.find("missing/img_0000_000.jpg")) << reason;

    reason.clear();  // a full disk: the library's own error ends this image only
    EXPECT_EQ(0, saveFrameAsJpeg("/dev/full", frame, 99, &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));

    EXPECT_EQ(1, saveFrameAsJpeg(folder.file("img_0000_001.jpg"), frame, 99));
}

}  // namespace
}  // namespace zr
