#include "keyframes/image_file.h"

#include <gtest/gtest.h>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "keyframes/temp_folder.h"

namespace zr {
namespace {

using testing::putInt32At;
using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

// A picture in which every pixel differs: blue 10 x, green 20 y, red x + y.
FrameImage pattern(int width, int height) {
    FrameImage image(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = image.pixel(x, y);
            pixel[0] = static_cast<std::uint8_t>(10 * x);
            pixel[1] = static_cast<std::uint8_t>(20 * y);
            pixel[2] = static_cast<std::uint8_t>(x + y);
        }
    }
    return image;
}

// Encodes a JPEG in memory with the library's own error handling (tests only).
std::vector<std::uint8_t> encodeJpeg(const FrameImage& image, bool gray) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(image.width());
    info.image_height = static_cast<JDIMENSION>(image.height());
    info.input_components = gray ? 1 : 3;
    info.in_color_space = gray ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> grayRow(static_cast<std::size_t>(image.width()));
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < image.width(); ++x) {
            grayRow[x] = image.pixel(x, y)[1];
        }
        JSAMPROW row = gray ? grayRow.data() : const_cast<std::uint8_t*>(image.row(y));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

int largestDifference(const FrameImage& a, const FrameImage& b) {
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width() * 3; ++x) {
            largest = std::max(largest, std::abs(a.row(y)[x] - b.row(y)[x]));
        }
    }
    return largest;
}

// A BMP file: 14-byte file header, 40-byte information header, palette, rows.
struct BmpWriter {
    int width;
    int height;  // negative: top-down rows
    int bitsPerPixel;
    std::vector<std::uint8_t> palette;  // 4 bytes an entry
    std::vector<std::uint8_t> rows;     // as stored, padded

    std::vector<std::uint8_t> bytes() const {
        std::vector<std::uint8_t> out(54, 0);
        out[0] = 'B';
        out[1] = 'M';
        const auto pixelsAt = static_cast<std::int32_t>(54 + palette.size());
        putInt32At(out, 2, pixelsAt + static_cast<std::int32_t>(rows.size()));
        putInt32At(out, 10, pixelsAt);
        putInt32At(out, 14, 40);
        putInt32At(out, 18, width);
        putInt32At(out, 22, height);
        out[26] = 1;
        out[28] = static_cast<std::uint8_t>(bitsPerPixel);
        putInt32At(out, 46, static_cast<std::int32_t>(palette.size() / 4));
        out.insert(out.end(), palette.begin(), palette.end());
        out.insert(out.end(), rows.begin(), rows.end());
        return out;
    }
};

// The rows of `image` as a BMP stores them at 24 or 32 bits.
std::vector<std::uint8_t> bmpRows(const FrameImage& image, int bitsPerPixel, bool topDown) {
    std::vector<std::uint8_t> rows;
    const int bytesPerPixel = bitsPerPixel / 8;
    const int stride = (image.width() * bytesPerPixel + 3) & ~3;
    for (int i = 0; i < image.height(); ++i) {
        const int y = topDown ? i : image.height() - 1 - i;
        std::vector<std::uint8_t> row(static_cast<std::size_t>(stride), 0);
        for (int x = 0; x < image.width(); ++x) {
            std::copy_n(image.pixel(x, y), 3, row.begin() + x * bytesPerPixel);
            if (bytesPerPixel == 4) {
                row[x * 4 + 3] = 0x7f;
            }
        }
        rows.insert(rows.end(), row.begin(), row.end());
    }
    return rows;
}

TEST(ImageFile, ReadsJpegInColourAndGrey) {
    const TempFolder folder;
    const FrameImage picture = pattern(19, 7);
    FrameImage grey = picture;
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 19; ++x) {
            grey.pixel(x, y)[0] = grey.pixel(x, y)[2] = 20 * y;
        }
    }
    for (const bool isGrey : {false, true}) {
        writeBytes(folder.file("p.jpg"), encodeJpeg(picture, isGrey));
        const OptionalImage image = loadImageFile(folder.file("p.jpg"));
        ASSERT_TRUE(image);
        ASSERT_EQ(image->width(), 19);
        ASSERT_EQ(image->height(), 7);
        EXPECT_LE(largestDifference(*image, isGrey ? grey : picture), 12) << isGrey;
    }
}

TEST(ImageFile, ReadsBmpOfEveryDepthAndRowOrder) {
    const TempFolder folder;
    const FrameImage picture = pattern(5, 3);  // rows of 15 bytes: padding at 24 bits
    for (const bool topDown : {false, true}) {
        for (const int bits : {24, 32}) {
            SCOPED_TRACE(std::to_string(bits) + (topDown ? " top-down" : " bottom-up"));
            const BmpWriter bmp{5, topDown ? -3 : 3, bits, {}, bmpRows(picture, bits, topDown)};
            writeBytes(folder.file("p.bmp"), bmp.bytes());
            const OptionalImage image = loadImageFile(folder.file("p.bmp"));
            ASSERT_TRUE(image);
            EXPECT_EQ(*image, picture);
        }
    }

    // 8 bits with a palette of three entries; index 7 lies past the palette and reads black.
    BmpWriter indexed{3, 2, 8, {1, 2, 3, 0, 40, 50, 60, 0, 200, 210, 220, 0}, {}};
    indexed.rows = {2, 1, 0, 0, /* top row: */ 0, 7, 2, 0};
    writeBytes(folder.file("i.bmp"), indexed.bytes());
    const OptionalImage image = loadImageFile(folder.file("i.bmp"));
    ASSERT_TRUE(image);
    const int greens[2][3] = {{2, 0, 210}, {210, 50, 2}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(image->pixel(x, y)[1], greens[y][x]) << x << y;
        }
    }
}

TEST(ImageFile, PngRoundTripKeepsEveryPixel) {
    const TempFolder folder;
    const FrameImage picture = pattern(13, 6);
    std::string error;
    ASSERT_TRUE(savePng(picture, folder.file("p.png"), &error)) << error;
    const OptionalImage image = loadImageFile(folder.file("p.png"));
    ASSERT_TRUE(image);
    EXPECT_EQ(*image, picture);

    EXPECT_FALSE(savePng(picture, folder.file("missing/p.png"), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(savePng(FrameImage{}, folder.file("empty.png"), &error));
}

TEST(ImageFile, GivesNoneForMissingDamagedAndHostileFiles) {
    const TempFolder folder;
    const FrameImage picture = pattern(8, 8);
    const auto jpeg = encodeJpeg(picture, false);
    std::string error;
    ASSERT_TRUE(savePng(picture, folder.file("good.png"), &error));
    const auto png = readBytes(folder.file("good.png"));
    const auto bmp = BmpWriter{8, 8, 24, {}, bmpRows(picture, 24, false)}.bytes();

    std::vector<std::pair<const char*, std::vector<std::uint8_t>>> cases = {
        {"empty", {}},
        {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}},
        {"jpeg header cut", {jpeg.begin(), jpeg.begin() + 40}},
        {"png cut", {png.begin(), png.begin() + 30}},
        {"bmp cut inside the rows", {bmp.begin(), bmp.begin() + 100}},
    };
    const auto bmpWith = [&](std::size_t offset, std::int32_t value) {
        auto bytes = bmp;
        putInt32At(bytes, offset, value);
        return bytes;
    };
    auto huge = bmpWith(18, 100000);
    putInt32At(huge, 22, 100000);
    cases.emplace_back("bmp claiming 100000 x 100000", huge);
    cases.emplace_back("bmp rows past the end", bmpWith(10, 0x7ffffff0));
    cases.emplace_back("bmp run-length encoded", bmpWith(30, 1));
    cases.emplace_back("bmp zero width", bmpWith(18, 0));
    cases.emplace_back("bmp 7 bits", bmpWith(28, 7));
    auto jpegHuge = jpeg;  // the frame header's height and width: 65500 x 65500
    for (std::size_t i = 0; i + 8 < jpegHuge.size(); ++i) {
        if (jpegHuge[i] == 0xff && jpegHuge[i + 1] == 0xc0) {
            jpegHuge[i + 5] = jpegHuge[i + 7] = 0xff;
            jpegHuge[i + 6] = jpegHuge[i + 8] = 0xdc;
            break;
        }
    }
    cases.emplace_back("jpeg claiming 65500 x 65500", jpegHuge);

    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        writeBytes(folder.file("bad.img"), bytes);
        EXPECT_FALSE(loadImageFile(folder.file("bad.img")));
    }
    EXPECT_FALSE(loadImageFile(folder.file("missing.jpg")));
    EXPECT_FALSE(loadImageFile(folder.path().string()));
    EXPECT_FALSE(loadImageFile("http://127.0.0.1/picture.jpg"));
}

TEST(ImageFile, FileExistsMatchesNamesAndWildcards) {
    const TempFolder folder;
    writeBytes(folder.file("film.avi"), {1});
    writeBytes(folder.file("img_0001_002.JPG"), {1});

    EXPECT_TRUE(fileExists(folder.file("film.avi")));
    EXPECT_FALSE(fileExists(folder.file("film_01.avi")));
    EXPECT_TRUE(fileExists(folder.file("*.avi")));
    EXPECT_TRUE(fileExists(folder.file("f?lm.*")));
    EXPECT_TRUE(fileExists(folder.file("img_*_*.jpg")));
    EXPECT_TRUE(fileExists(folder.file("*")));
    EXPECT_FALSE(fileExists(folder.file("film?.avi")));
    EXPECT_FALSE(fileExists(folder.file("*.zmb")));
    EXPECT_FALSE(fileExists(folder.file("no_folder/*.avi")));
    EXPECT_FALSE(fileExists(""));
}

}  // namespace
}  // namespace zr
