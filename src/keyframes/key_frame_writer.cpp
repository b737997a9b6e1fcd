#include "keyframes/key_frame_writer.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace zr {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Appends a 32-bit value in little-endian order.
void putLittleEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value >> 16));
    out.push_back(static_cast<std::uint8_t>(value >> 24));
}

void putInt32(std::vector<std::uint8_t>& out, std::int32_t value) {
    putLittleEndian32(out, static_cast<std::uint32_t>(value));
}

void putFloat(std::vector<std::uint8_t>& out, float value) {
    putLittleEndian32(out, std::bit_cast<std::uint32_t>(value));
}

bool fail(std::string* error, std::string message) {
    if (error) {
        *error = std::move(message);
    }
    return false;
}

}  // namespace

KeyFrameFileData KeyFrameFileData::uniform(int width, int height, std::int32_t count,
                                           float fraction) {
    KeyFrameFileData data;
    data.width = width;
    data.height = height;
    if (width > 0 && height > 0) {
        const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        data.counts.assign(pixels, count);
        data.fractions.assign(pixels, fraction);
    }
    return data;
}

void KeyFrameFileData::setPixel(int x, int y, std::int32_t count, float fraction) {
    const auto index = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x;
    counts.at(index) = count;
    fractions.at(index) = fraction;
}

bool writeKeyFrameFile(const std::string& path, const KeyFrameFileData& data, std::string* error) {
    if (data.width <= 0 || data.height <= 0) {
        return fail(error, "key frame size " + std::to_string(data.width) + " x " +
                               std::to_string(data.height) + " is not positive");
    }
    const auto pixels =
        static_cast<std::size_t>(data.width) * static_cast<std::size_t>(data.height);
    if (!data.counts.empty() && data.counts.size() != pixels) {
        return fail(error, "the counts table holds " + std::to_string(data.counts.size()) +
                               " values, the key frame has " + std::to_string(pixels) + " pixels");
    }
    if (!data.fractions.empty() && data.fractions.size() != pixels) {
        return fail(error, "the fractions table holds " + std::to_string(data.fractions.size()) +
                               " values, the key frame has " + std::to_string(pixels) + " pixels");
    }
    if (data.keyColors.size() > static_cast<std::size_t>(kPaletteSize)) {
        return fail(error, "more than " + std::to_string(kPaletteSize) + " key colours");
    }

    std::vector<std::uint8_t> bytes;
    bytes.reserve(23 + 8 * pixels + 3 * data.keyColors.size());
    bytes.insert(bytes.end(), {'Z', 'M', 'B'});
    putInt32(bytes, data.width);
    putInt32(bytes, data.height);
    const auto at = [&](int x, int y) {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(data.width) + x;
    };
    for (int x = 0; x < data.width; ++x) {
        for (int y = 0; y < data.height; ++y) {
            putInt32(bytes, data.counts.empty() ? 0 : data.counts[at(x, y)]);
        }
    }
    putInt32(bytes, data.iterationDivision);
    putInt32(bytes, static_cast<std::int32_t>(data.keyColors.size()));
    for (const Bgr& color : data.keyColors) {
        bytes.insert(bytes.end(), {color.blue, color.green, color.red});
    }
    if (data.writeMaxIteration) {
        putInt32(bytes, data.maxIteration);
        if (data.writeFractions) {
            for (int x = 0; x < data.width; ++x) {
                for (int y = 0; y < data.height; ++y) {
                    putFloat(bytes, data.fractions.empty() ? 0.0f : data.fractions[at(x, y)]);
                }
            }
        }
    }

    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        return fail(error, "cannot create \"" + path + "\": " + std::strerror(errno));
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    const bool closed = std::fclose(file.release()) == 0;
    if (!written || !closed) {
        return fail(error, "cannot write \"" + path + "\": " + std::strerror(errno));
    }
    return true;
}

}  // namespace zr
