#include "keyframes/image_file.h"
#include "support/text_match.h"

// clang-format off
#include <cstdio>   // jpeglib.h needs FILE and size_t declared first
#include <jpeglib.h>
// clang-format on
#include <png.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace zr {

namespace {

// Picture files above this size are refused before anything is read.
constexpr std::uintmax_t kMaxPictureFileBytes = std::uintmax_t{1} << 30;

// The largest picture a key frame or texture file may give: 512 MiB, about 179 million pixels,
// more than the composed picture of an 8K movie at zoom factor 2 (15360 x 8640) and half of
// what a run's own pictures may take.
constexpr std::uint64_t kMaxPictureBytes = std::uint64_t{1} << 29;

// Whether a picture of this size may be held, checked before any arithmetic on the size can
// overflow.
bool pictureSizeFits(std::uint64_t width, std::uint64_t height) {
    return width > 0 && height > 0 && width <= kMaxPictureBytes / 3 &&
           (width * 3 + 3) * height <= kMaxPictureBytes;
}

// Compressed data cannot expand without bound, so a header that claims more pixels than the
// rest of the file could describe belongs to a damaged file: it is refused before the picture
// is allocated. Deflate (PNG) turns one byte into at most 1032. A JPEG with Huffman coding
// spends at least one bit on each 8 x 8 block of each colour component in a progressive file
// (its first DC scan) and two in a sequential one (the DC difference and the end of the block).
// Arithmetic coding can describe a plain picture of any size in a few dozen bytes: only the size
// bound holds those.
constexpr std::uint64_t kDeflateMaxExpansion = 1032;

std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::nullopt;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size > kMaxPictureFileBytes) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// ---- JPEG ----------------------------------------------------------------------------------

struct JpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// The library's default ends the process on a damaged file; ours returns to the decoder.
[[noreturn]] void jpegErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->jump, 1);
}

void jpegIgnoreMessage(j_common_ptr) {}

// Everything the decoder touches lives here, outside the function that calls setjmp, so that
// nothing of it is left indeterminate by the jump back.
struct JpegDecoder {
    jpeg_decompress_struct info{};
    JpegErrorManager errors{};
    bool created = false;
    OptionalImage image;

    JpegDecoder() = default;
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;
    ~JpegDecoder() {
        if (created) {
            jpeg_destroy_decompress(&info);
        }
    }
};

// Whether the file is long enough for the blocks of every component its header claims.
bool jpegDataFits(const jpeg_decompress_struct& info, std::uint64_t fileBytes) {
    if (info.arith_code) {
        return true;
    }
    std::uint64_t blocks = 0;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        blocks += std::uint64_t{component.width_in_blocks} * component.height_in_blocks;
    }
    const std::uint64_t bitsPerBlock = info.progressive_mode ? 1 : 2;
    return blocks * bitsPerBlock <= fileBytes * 8;
}

// Decodes into decoder.image; false on any error of the library. May throw
// std::invalid_argument when the picture is too large to hold.
bool runJpegDecoder(JpegDecoder& decoder, const std::vector<std::uint8_t>& bytes) {
    decoder.info.err = jpeg_std_error(&decoder.errors.base);
    decoder.errors.base.error_exit = jpegErrorExit;
    decoder.errors.base.output_message = jpegIgnoreMessage;
    if (setjmp(decoder.errors.jump)) {
        return false;
    }

    jpeg_create_decompress(&decoder.info);
    decoder.created = true;
    decoder.info.mem->max_memory_to_use = 1L << 30;
    jpeg_mem_src(&decoder.info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&decoder.info, TRUE);
    // Four-channel (CMYK) pictures have no conversion to blue, green, red in the library.
    if (decoder.info.jpeg_color_space == JCS_CMYK || decoder.info.jpeg_color_space == JCS_YCCK) {
        return false;
    }
    decoder.info.out_color_space = JCS_EXT_BGR;
    jpeg_calc_output_dimensions(&decoder.info);
    if (!pictureSizeFits(decoder.info.output_width, decoder.info.output_height) ||
        !jpegDataFits(decoder.info, bytes.size())) {
        return false;
    }
    decoder.image.emplace(static_cast<int>(decoder.info.output_width),
                          static_cast<int>(decoder.info.output_height));
    jpeg_start_decompress(&decoder.info);
    FrameImage& image = *decoder.image;
    while (decoder.info.output_scanline < decoder.info.output_height) {
        JSAMPROW row = image.row(static_cast<int>(decoder.info.output_scanline));
        jpeg_read_scanlines(&decoder.info, &row, 1);
    }
    jpeg_finish_decompress(&decoder.info);
    return true;
}

OptionalImage decodeJpeg(const std::vector<std::uint8_t>& bytes) {
    JpegDecoder decoder;
    try {
        if (!runJpegDecoder(decoder, bytes)) {
            return std::nullopt;
        }
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return std::move(decoder.image);
}

// ---- PNG -----------------------------------------------------------------------------------

// Whether the file is long enough for the pixels its header claims (a size that fits). The
// header, which the library has checked, is the first chunk: its bit depth and colour type
// follow the width and height.
bool pngDataFits(const std::vector<std::uint8_t>& bytes, std::uint64_t width,
                 std::uint64_t height) {
    constexpr std::size_t kBitDepthAt = 24;
    constexpr std::size_t kColorTypeAt = 25;
    if (bytes.size() <= kColorTypeAt) {
        return false;
    }
    const std::uint64_t bitDepth = bytes[kBitDepthAt];
    std::uint64_t channels = 1;  // grey, or indices into a palette
    switch (bytes[kColorTypeAt]) {
        case 2:
            channels = 3;  // red, green, blue
            break;
        case 4:
            channels = 2;  // grey and alpha
            break;
        case 6:
            channels = 4;  // red, green, blue and alpha
            break;
        default:
            break;
    }
    const std::uint64_t pixelBytes = width * height * bitDepth * channels / 8;
    return pixelBytes <= bytes.size() * kDeflateMaxExpansion;
}

OptionalImage decodePng(const std::vector<std::uint8_t>& bytes) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) {
        return std::nullopt;
    }
    png.format = PNG_FORMAT_BGR;
    OptionalImage image;
    try {
        if (!pictureSizeFits(png.width, png.height) || !pngDataFits(bytes, png.width, png.height)) {
            throw std::invalid_argument("picture too large");
        }
        image.emplace(static_cast<int>(png.width), static_cast<int>(png.height));
    } catch (const std::exception&) {
        png_image_free(&png);
        return std::nullopt;
    }
    // Transparent parts are laid over the black picture.
    if (!png_image_finish_read(&png, nullptr, image->data(), image->stride(), nullptr)) {
        png_image_free(&png);
        return std::nullopt;
    }
    return image;
}

// ---- BMP -----------------------------------------------------------------------------------

std::uint32_t u16At(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8);
}
std::uint32_t u32At(const std::uint8_t* p) {
    return u16At(p) | (u16At(p + 2) << 16);
}

// One colour channel of a pixel described by a bit mask, brought to 8 bits.
struct MaskedChannel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit MaskedChannel(std::uint32_t m) : mask(m) {
        if (mask == 0) {
            return;
        }
        shift = std::countr_zero(mask);
        bits = std::min(std::countr_one(mask >> shift), 32);
    }
    std::uint8_t operator()(std::uint32_t pixel) const {
        if (mask == 0) {
            return 0;
        }
        const std::uint32_t value = (pixel & mask) >> shift;
        if (bits >= 8) {
            return static_cast<std::uint8_t>(value >> (bits - 8));
        }
        const std::uint32_t top = (std::uint32_t{1} << bits) - 1;
        return static_cast<std::uint8_t>(value * 255 / top);
    }
};

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;

// What a bitmap's headers say about its pixels.
struct BmpLayout {
    std::uint64_t pixelsAt = 0;
    std::uint64_t infoSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;  // negative: rows from the top down
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t compression = kBiRgb;
    std::uint64_t paletteEntries = 0;
    std::uint64_t paletteEntryBytes = 4;
    std::uint32_t masks[3] = {0x7c00, 0x03e0, 0x001f};  // 16 bits: 5, 5, 5

    bool indexed() const { return bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8; }
    bool masked() const { return bitsPerPixel == 16 || bitsPerPixel == 32; }
};

struct Bgr3 {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
};

// The layout of the file's core (12 bytes) or info (40 bytes or more) header; none for a
// header of another size or one that reaches past the file.
std::optional<BmpLayout> readBmpLayout(const std::uint8_t* file, std::size_t size) {
    BmpLayout layout;
    layout.pixelsAt = u32At(file + 10);
    layout.infoSize = u32At(file + 14);
    if (layout.infoSize == 12) {
        layout.width = u16At(file + 18);
        layout.height = u16At(file + 20);
        layout.bitsPerPixel = u16At(file + 24);
        layout.paletteEntryBytes = 3;
        return layout;
    }
    if (layout.infoSize < 40 || 14 + layout.infoSize > size) {
        return std::nullopt;
    }
    layout.width = static_cast<std::int32_t>(u32At(file + 18));
    layout.height = static_cast<std::int32_t>(u32At(file + 22));
    layout.bitsPerPixel = u16At(file + 28);
    layout.compression = u32At(file + 30);
    layout.paletteEntries = u32At(file + 46);
    if (layout.bitsPerPixel == 32) {
        layout.masks[0] = 0x00ff0000;
        layout.masks[1] = 0x0000ff00;
        layout.masks[2] = 0x000000ff;
    }
    if (layout.compression == kBiBitfields) {
        // The masks end the header from version 2 on, else they follow it.
        const std::uint64_t masksAt = layout.infoSize >= 52 ? 54 : 14 + layout.infoSize;
        if (masksAt + 12 > size) {
            return std::nullopt;
        }
        for (int i = 0; i < 3; ++i) {
            layout.masks[i] = u32At(file + masksAt + 4 * i);
        }
    }
    return layout;
}

// The colour table of an indexed bitmap, 2^bits entries; indices past the file's table are
// black. None when the table would begin past the file.
std::optional<std::vector<Bgr3>> readBmpPalette(const std::uint8_t* file, std::size_t size,
                                                const BmpLayout& layout) {
    const std::uint64_t maxEntries = std::uint64_t{1} << layout.bitsPerPixel;
    std::uint64_t entries = layout.paletteEntries;
    if (entries == 0 || entries > maxEntries) {
        entries = maxEntries;
    }
    const std::uint64_t paletteAt = 14 + layout.infoSize;
    if (paletteAt > size) {
        return std::nullopt;
    }
    entries = std::min(entries, (size - paletteAt) / layout.paletteEntryBytes);
    std::vector<Bgr3> palette(static_cast<std::size_t>(maxEntries));
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint8_t* entry = file + paletteAt + i * layout.paletteEntryBytes;
        palette[i] = {entry[0], entry[1], entry[2]};
    }
    return palette;
}

// One row of pixels of the file into blue, green, red bytes.
void decodeBmpRow(const std::uint8_t* source, const BmpLayout& layout,
                  const std::vector<Bgr3>& palette, std::uint8_t* out) {
    const std::uint32_t bits = layout.bitsPerPixel;
    const MaskedChannel red(layout.masks[0]);
    const MaskedChannel green(layout.masks[1]);
    const MaskedChannel blue(layout.masks[2]);
    for (std::int64_t x = 0; x < layout.width; ++x, out += 3) {
        if (bits == 24) {
            std::copy_n(source + 3 * x, 3, out);
        } else if (layout.masked()) {
            const std::uint32_t pixel = bits == 16 ? u16At(source + 2 * x) : u32At(source + 4 * x);
            out[0] = blue(pixel);
            out[1] = green(pixel);
            out[2] = red(pixel);
        } else {
            const std::uint64_t bit = static_cast<std::uint64_t>(x) * bits;
            const std::uint32_t byte = source[bit / 8];
            const std::uint32_t index = (byte >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
            const Bgr3& color = palette[index];
            out[0] = color.blue;
            out[1] = color.green;
            out[2] = color.red;
        }
    }
}

OptionalImage decodeBmp(const std::vector<std::uint8_t>& bytes) {
    const std::size_t size = bytes.size();
    const std::uint8_t* file = bytes.data();
    if (size < 26 || file[0] != 'B' || file[1] != 'M') {
        return std::nullopt;
    }
    std::optional<BmpLayout> read = readBmpLayout(file, size);
    if (!read) {
        return std::nullopt;
    }
    BmpLayout& layout = *read;
    if (!layout.indexed() && !layout.masked() && layout.bitsPerPixel != 24) {
        return std::nullopt;
    }
    if (layout.compression != kBiRgb && !(layout.compression == kBiBitfields && layout.masked())) {
        return std::nullopt;
    }
    const bool topDown = layout.height < 0;
    if (topDown) {
        layout.height = -layout.height;
    }
    const std::int64_t width = layout.width;
    const std::int64_t height = layout.height;
    if (width <= 0 ||
        !pictureSizeFits(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height))) {
        return std::nullopt;
    }
    const std::uint64_t rowBytes =
        (static_cast<std::uint64_t>(width) * layout.bitsPerPixel + 31) / 32 * 4;
    const std::uint64_t pixelsAt = layout.pixelsAt;
    if (pixelsAt > size || rowBytes * static_cast<std::uint64_t>(height) > size - pixelsAt) {
        return std::nullopt;
    }
    std::vector<Bgr3> palette;
    if (layout.indexed()) {
        std::optional<std::vector<Bgr3>> table = readBmpPalette(file, size, layout);
        if (!table) {
            return std::nullopt;
        }
        palette = std::move(*table);
    }

    OptionalImage image;
    try {
        image.emplace(static_cast<int>(width), static_cast<int>(height));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    for (std::int64_t fileRow = 0; fileRow < height; ++fileRow) {
        const std::uint8_t* source =
            file + pixelsAt + static_cast<std::uint64_t>(fileRow) * rowBytes;
        const int y = static_cast<int>(topDown ? fileRow : height - 1 - fileRow);
        decodeBmpRow(source, layout, palette, image->row(y));
    }
    return image;
}

// ---- wildcards -----------------------------------------------------------------------------

}  // namespace

OptionalImage loadImageFile(const std::string& path) {
    if (path.starts_with("http://")) {
        return std::nullopt;
    }
    const auto bytes = readWholeFile(path);
    if (!bytes || bytes->size() < 4) {
        return std::nullopt;
    }
    const std::uint8_t* head = bytes->data();
    if (head[0] == 0xff && head[1] == 0xd8) {
        return decodeJpeg(*bytes);
    }
    if (head[0] == 0x89 && head[1] == 'P' && head[2] == 'N' && head[3] == 'G') {
        return decodePng(*bytes);
    }
    if (head[0] == 'B' && head[1] == 'M') {
        return decodeBmp(*bytes);
    }
    return std::nullopt;
}

bool fileExists(const std::string& nameOrPattern) {
    const std::filesystem::path path(nameOrPattern);
    const std::string name = path.filename().string();
    std::error_code error;
    if (name.find_first_of("*?") == std::string::npos) {
        return !name.empty() && std::filesystem::exists(path, error);
    }
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    std::filesystem::directory_iterator entries(folder, error);
    if (error) {
        return false;
    }
    for (const auto& entry : entries) {
        if (wildcardMatch(name, entry.path().filename().string())) {
            return true;
        }
    }
    return false;
}

bool savePng(const FrameImage& image, const std::string& path, std::string* error) {
    if (image.empty()) {
        if (error) {
            *error = "there is no picture to save";
        }
        return false;
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width());
    png.height = static_cast<png_uint_32>(image.height());
    png.format = PNG_FORMAT_BGR;
    if (!png_image_write_to_file(&png, path.c_str(), 0, image.data(), image.stride(), nullptr)) {
        if (error) {
            *error = "cannot write \"" + path +
                     "\": " + (png.message[0] != '\0' ? std::string(png.message) : "write failed");
        }
        png_image_free(&png);
        return false;
    }
    return true;
}

}  // namespace zr
