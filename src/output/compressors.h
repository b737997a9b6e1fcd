#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zr {

// A video compressor that movie files can be written with, named by its four-character code as
// it appears in the AVI stream header.
struct Compressor {
    std::string fourcc;       // always four characters, e.g. "MSVC", "DIB ", "cvid"
    std::string description;  // what the user sees next to the code
    std::string encoderName;  // the FFmpeg encoder; empty for uncompressed frames
    bool lossless = false;    // frames decode back to exactly the pixels written
};

// The compressor of AVI movies that name none: Motion JPEG.
inline constexpr std::string_view kDefaultAviCompressor = "MJPG";

// Every compressor the program knows, whether or not this build can write it.
const std::vector<Compressor>& knownCompressors();

// The compressors this build can write: the known ones whose encoder is present in the FFmpeg
// libraries the program runs with, in the order of knownCompressors().
std::vector<Compressor> availableCompressors();

// A code as the stream header holds it: cut or padded with spaces to four characters ("DIB"
// becomes "DIB ").
std::string normalizeFourcc(std::string_view code);

// The known compressor of a code (compared without regard to case, so "cvid", "CVID" and "Cvid"
// all name Cinepak), or nullptr.
const Compressor* findCompressor(std::string_view code);

// True when the compressor of this code is known and its encoder present.
bool compressorAvailable(std::string_view code);

}  // namespace zr
