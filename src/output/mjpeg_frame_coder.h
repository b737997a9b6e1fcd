#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zr {

class FrameImage;

// Codes frames as the baseline JPEG pictures a Motion JPEG ("MJPG") AVI frame holds: 4:2:0,
// full-range YCbCr, Huffman tables fitted to each picture. The colour conversion and the 2x2
// chroma averaging run on the rows as they are (blue, green, red), with the processor's vector
// instructions.
//
// The writer's quality 0 ... 100 picks the quantiser scale 1 + (100 - quality) * 30 / 100 (1 at
// 100, 31 at 0), as FFmpeg's encoder was given it: the base table is the MPEG intra matrix times
// the scale over 8 with DC steps of 8, weighted coarser for luma and finer for chroma (see the
// source for the weights and why). Each coder keeps its work buffers: one coder per thread.
class MjpegFrameCoder {
  public:
    explicit MjpegFrameCoder(int quality);
    ~MjpegFrameCoder();
    MjpegFrameCoder(const MjpegFrameCoder&) = delete;
    MjpegFrameCoder& operator=(const MjpegFrameCoder&) = delete;

    // The quantiser scale the quality gives.
    static int quantiserScale(int quality);

    // Codes the picture. Returns false with `errorText` set when the library refuses it (a
    // picture too large for JPEG, no memory); the coder stays usable.
    bool code(const FrameImage& image, std::string& errorText);

    // The picture coded last: valid until the next call.
    const std::uint8_t* data() const;
    std::size_t size() const;

    // The state libjpeg calls back into; opaque outside the coder.
    struct Output;

  private:
    int scale_;
    std::unique_ptr<Output> output_;
};

}  // namespace zr
