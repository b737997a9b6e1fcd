#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zr {

// The start of a key frame file: three letters of magic, then the width and the height as
// 32-bit little-endian integers.
inline constexpr std::size_t kKeyFrameStartBytes = 11;

struct KeyFrameStart {
    char magic[3] = {0, 0, 0};
    std::int32_t width = 0;
    std::int32_t height = 0;

    std::string_view magicText() const { return std::string_view(magic, 3); }
    // The reader reads files whose magic is "ZMB" only.
    bool readable() const { return magicText() == "ZMB"; }
    // Choosing a folder also takes the picture size from a file whose magic is "ZMC".
    bool givesPictureSize() const { return readable() || magicText() == "ZMC"; }
};

KeyFrameStart parseKeyFrameStart(const std::uint8_t (&bytes)[kKeyFrameStartBytes]);

// Why the start of a key frame file could not be read.
enum class KeyFrameStartError {
    kCannotOpen,  // missing, or no permission
    kTooShort,    // the file ends within its first 11 bytes
};

// Reads the first 11 bytes of the file at `path`; the magic is not checked here.
struct KeyFrameStartResult {
    std::optional<KeyFrameStart> start;
    KeyFrameStartError error = KeyFrameStartError::kCannotOpen;
};
KeyFrameStartResult readKeyFrameStart(const std::string& path);

// A little-endian 32-bit integer.
inline std::uint32_t littleEndian32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
           (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
}

}  // namespace zr
