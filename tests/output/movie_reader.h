#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/frame_image.h"

namespace zr::testing {

// A movie file read back with FFmpeg's demuxer and decoders.
struct DecodedMovie {
    std::string error;  // empty when the file could be read
    std::uint32_t codecTag = 0;
    int width = 0;
    int height = 0;
    int rateNumerator = 0;
    int rateDenominator = 0;
    std::vector<FrameImage> frames;  // every decoded frame, converted to blue, green, red
    std::vector<bool> keyPackets;    // the key flag of every stored packet, in file order
};

DecodedMovie decodeMovie(const std::string& path);

// The bitmap header of the first stream format chunk ("strf") of an AVI file.
struct StreamBitmapHeader {
    bool found = false;
    std::int32_t width = 0;
    std::int32_t height = 0;  // positive: rows run bottom-up
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
};

StreamBitmapHeader readStreamBitmapHeader(const std::string& path);

}  // namespace zr::testing
