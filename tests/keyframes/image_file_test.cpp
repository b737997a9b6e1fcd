#include "keyframes/image_file.h"

#include <gtest/gtest.h>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
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

enum class JpegCoding { kDefault, kOptimized, kArithmetic };

// Encodes a JPEG in memory with the library's own error handling (tests only).
std::vector<std::uint8_t> encodeJpeg(const FrameImage& image, bool gray,
                                     JpegCoding coding = JpegCoding::kDefault) {
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
    info.optimize_coding = coding == JpegCoding::kOptimized ? TRUE : FALSE;
    info.arith_code = coding == JpegCoding::kArithmetic ? TRUE : FALSE;
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
        out.reserve(out.size() + palette.size() + rows.size());
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

TEST(ImageFile, ReadsJpegInColorAndGrey) {
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

// The largest single allocation through operator new while a probe is armed (the pictures'
// pixels are allocated so).
std::atomic<bool> probeArmed{false};
std::atomic<std::size_t> largestAllocation{0};

struct AllocationProbe {
    AllocationProbe() {
        largestAllocation = 0;
        probeArmed = true;
    }
    ~AllocationProbe() { probeArmed = false; }
    std::size_t largest() const { return largestAllocation; }
};

// The bytes 4 ... end of a chunk with its type, for the PNG chunk check value.
std::uint32_t crc32Of(const std::uint8_t* bytes, std::size_t size) {
    std::uint32_t crc = 0xffffffffu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

void putBigEndian32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
}

// A picture file whose header claims a size: for a PNG the header chunk's width and height
// (and its check value), for a JPEG the frame header's, followed by the start of the data only.
std::vector<std::uint8_t> claimingSize(std::vector<std::uint8_t> bytes, std::uint32_t width,
                                       std::uint32_t height) {
    if (bytes[0] == 0x89) {
        putBigEndian32(bytes, 16, width);
        putBigEndian32(bytes, 20, height);
        putBigEndian32(bytes, 29, crc32Of(bytes.data() + 12, 17));
        return bytes;
    }
    for (std::size_t i = 2; i + 9 < bytes.size();) {
        const std::size_t length = bytes[i + 2] * 256u + bytes[i + 3];
        const std::uint8_t marker = bytes[i + 1];
        if (marker == 0xc0 || marker == 0xc2 || marker == 0xc9) {  // frame headers
            bytes[i + 5] = static_cast<std::uint8_t>(height >> 8);
            bytes[i + 6] = static_cast<std::uint8_t>(height);
            bytes[i + 7] = static_cast<std::uint8_t>(width >> 8);
            bytes[i + 8] = static_cast<std::uint8_t>(width);
        }
        if (marker == 0xda) {  // the scan header: keep it and a few bytes of data
            bytes.resize(std::min(bytes.size(), i + 2 + length + 16));
            break;
        }
        i += 2 + length;
    }
    return bytes;
}

// A damaged file that claims a large picture is refused before the picture is allocated, and
// so is a picture larger than a key frame can sensibly be. Files at each format's best
// compression still load.
TEST(ImageFile, ClaimedSizesMustFitTheFileAndTheLargestPicture) {
    const TempFolder folder;
    const FrameImage flat(2048, 2048);
    ASSERT_TRUE(savePng(flat, folder.file("flat.png"), nullptr));
    const auto flatPng = readBytes(folder.file("flat.png"));
    const auto flatJpeg = encodeJpeg(flat, true, JpegCoding::kOptimized);
    for (const auto& bytes : {flatPng, flatJpeg}) {
        writeBytes(folder.file("flat.img"), bytes);
        const OptionalImage image = loadImageFile(folder.file("flat.img"));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width(), 2048);
    }

    const FrameImage small = pattern(16, 16);
    ASSERT_TRUE(savePng(small, folder.file("small.png"), nullptr));
    const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> cases = {
        {"png", claimingSize(readBytes(folder.file("small.png")), 18000, 19000)},
        {"jpeg", claimingSize(encodeJpeg(small, false), 18000, 19000)},
        {"grey jpeg", claimingSize(encodeJpeg(small, true), 18000, 19000)},
        {"arithmetic jpeg",
         claimingSize(encodeJpeg(small, true, JpegCoding::kArithmetic), 16384, 16384)},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        writeBytes(folder.file("claim.img"), bytes);
        const AllocationProbe probe;
        EXPECT_FALSE(loadImageFile(folder.file("claim.img")));
        EXPECT_LT(probe.largest(), std::size_t{1} << 20);
    }
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

// Replaced for the whole test program so that the probe above can watch allocations. GCC takes
// the inlined free() of the replaced delete for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    if (zr::probeArmed) {
        std::size_t largest = zr::largestAllocation;
        while (size > largest && !zr::largestAllocation.compare_exchange_weak(largest, size)) {
        }
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return ::operator new(size, std::nothrow);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
