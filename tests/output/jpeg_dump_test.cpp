#include "output/jpeg_dump.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/frame_image.h"

extern "C" {
#include <jpeglib.h>
}

namespace zr {
namespace {

namespace fs = std::filesystem;

struct DecodedJpeg {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // packed rows, red, green, blue
};

struct DecodeErrors {
    jpeg_error_mgr standard;
    std::jmp_buf returnPoint;
};

[[noreturn]] void decodeFailed(j_common_ptr info) {
    std::longjmp(reinterpret_cast<DecodeErrors*>(info->err)->returnPoint, 1);
}

bool decodeJpeg(const std::string& path, DecodedJpeg& out) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    jpeg_decompress_struct info{};
    DecodeErrors errors{};
    info.err = jpeg_std_error(&errors.standard);
    errors.standard.error_exit = decodeFailed;
    if (setjmp(errors.returnPoint) != 0) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    out.width = static_cast<int>(info.output_width);
    out.height = static_cast<int>(info.output_height);
    out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.rgb.data() + info.output_scanline * out.width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return true;
}

class JpegDumpTest : public ::testing::Test {
  protected:
    JpegDumpTest() {
        std::string pattern = (fs::temp_directory_path() / "zr_jpeg_XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            folder = pattern;
        }
    }
    ~JpegDumpTest() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string file(const std::string& name) const { return (folder / name).string(); }

    fs::path folder;
};

TEST(JpegDumpPath, NumbersTheImageByMovieFileAndFrame) {
    EXPECT_EQ("/movies/zoom/img_0002_007.jpg", jpegDumpPath("/movies/zoom/film_02.avi", 2, 7));
    EXPECT_EQ("/movies/zoom/img_0000_1500.jpg", jpegDumpPath("/movies/zoom/film.avi", 0, 1500));
    EXPECT_EQ("img_0012_000.jpg", jpegDumpPath("film.avi", 12, 0));
}

TEST_F(JpegDumpTest, ImageIsWrittenTopDownInRedGreenBlue) {
    // 101 pixels: the padding of the picture's rows must not reach the image.
    FrameImage frame(101, 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 101; ++x) {
            std::uint8_t* pixel = frame.pixel(x, y);
            if (y < 4) {
                pixel[2] = 220;  // red top half
            } else {
                pixel[0] = 220;  // blue bottom half
            }
        }
    }
    const std::string path = file("img_0000_000.jpg");
    {
        std::ofstream old(path);
        old << "an older image";
    }
    ASSERT_EQ(1, saveFrameAsJpeg(path, frame, 99));

    DecodedJpeg image;
    ASSERT_TRUE(decodeJpeg(path, image));
    EXPECT_EQ(101, image.width);
    EXPECT_EQ(8, image.height);
    const auto at = [&](int x, int y, int channel) {
        return image.rgb[(static_cast<std::size_t>(y) * 101 + x) * 3 + channel];
    };
    for (const int x : {0, 50, 100}) {
        EXPECT_NEAR(220, at(x, 0, 0), 12) << x;
        EXPECT_NEAR(0, at(x, 0, 2), 12) << x;
        EXPECT_NEAR(0, at(x, 7, 0), 12) << x;
        EXPECT_NEAR(220, at(x, 7, 2), 12) << x;
    }
}

TEST_F(JpegDumpTest, FailuresReturnZeroAndTheProgramGoesOn) {
    const FrameImage frame(16, 16);
    std::string reason;
    EXPECT_EQ(0, saveFrameAsJpeg(file("missing/img_0000_000.jpg"), frame, 99, &reason));
    EXPECT_NE(std::string::npos, reason.find("missing/img_0000_000.jpg")) << reason;

    // A full disk: the library's own error ends this image only.
    reason.clear();
    EXPECT_EQ(0, saveFrameAsJpeg("/dev/full", frame, 99, &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_TRUE(fs::exists("/dev/full"));

    EXPECT_EQ(1, saveFrameAsJpeg(file("img_0000_001.jpg"), frame, 99));
}

}  // namespace
}  // namespace zr
