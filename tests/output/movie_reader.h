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

// A movie or picture file read back with FFmpeg's demuxers and decoders. Frames tagged with a
// colour matrix are converted with that matrix and range.
struct DecodedMovie {
    std::string error;  // empty when the file could be read
    std::uint32_t codecTag = 0;
    std::string codecName;
    int framesPerSecond = 0;
    double startSeconds = 0.0;  // the time of the first decoded frame
    int colorMatrix = 0;       // AVColorSpace, AVColorRange, AVColorPrimaries of the stream
    int colorRange = 0;
    int colorPrimaries = 0;
    std::string pixelFormat;
    std::vector<FrameImage> frames;  // converted to blue, green, red
    std::vector<bool> keyPackets;    // the key flag of every stored packet
};
DecodedMovie decodeMovie(const std::string& path);

// The first sound stream of a file, decoded and mixed to one channel.
struct DecodedSound {
    std::string error;
    std::string codecName;
    int sampleRate = 0;
    double startSeconds = 0.0;  // the time of the first decoded sample
    std::vector<float> samples;
    double seconds() const { return static_cast<double>(samples.size()) / sampleRate; }
};
DecodedSound decodeSound(const std::string& path);

// A 16-bit mono WAV file of the samples (-1 ... 1).
void writeWav(const std::string& path, int sampleRate, const std::vector<float>& samples);

// The bitmap header in the stream format of an AVI file.
struct StreamBitmapHeader {
    std::int32_t width = 0;
    std::int32_t height = 0;  // positive: rows run bottom-up
    std::uint16_t bitCount = 0;
};
StreamBitmapHeader readStreamBitmapHeader(const std::string& path);

}  // namespace zr::testing
