#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/frame_image.h"

namespace zr::testing {

// A fresh folder, removed with everything in it at the end.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// A movie or picture file read back with FFmpeg's demuxers and decoders.
struct DecodedMovie {
    std::string error;  // empty when the file could be read
    std::uint32_t codecTag = 0;
    int framesPerSecond = 0;
    std::vector<FrameImage> frames;  // converted to blue, green, red
    std::vector<bool> keyPackets;    // the key flag of every stored packet
};
DecodedMovie decodeMovie(const std::string& path);

// The bitmap header in the stream format of an AVI file.
struct StreamBitmapHeader {
    std::int32_t width = 0;
    std::int32_t height = 0;  // positive: rows run bottom-up
    std::uint16_t bitCount = 0;
};
StreamBitmapHeader readStreamBitmapHeader(const std::string& path);

}  // namespace zr::testing
