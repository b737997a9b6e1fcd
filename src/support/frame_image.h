#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

namespace zr {

// A picture of width x height pixels, rows top-down, 3 bytes a pixel in the order blue, green,
// red, each row padded to a multiple of 4 bytes. Bottom-up rows exist only where a file format
// wants them (AVI frames, the JPEG dump's source buffer).
class FrameImage {
  public:
    static constexpr int kBytesPerPixel = 3;

    FrameImage() = default;
    // A black picture. Sizes must be positive and the buffer must fit in memory; anything else
    // throws std::invalid_argument (pictures sized from outside input are checked before this).
    FrameImage(int width, int height) : width_(width), height_(height), stride_(strideFor(width)) {
        if (width <= 0 || height <= 0 || static_cast<std::size_t>(height) > kMaxBytes / stride_) {
            throw std::invalid_argument("picture size out of range");
        }
        pixels_.assign(static_cast<std::size_t>(stride_) * height, 0);
    }

    // Bytes of one row of `width` pixels, padded to a multiple of 4.
    static constexpr int strideFor(int width) { return (width * kBytesPerPixel + 3) & ~3; }

    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return stride_; }
    bool empty() const { return pixels_.empty(); }
    std::size_t sizeBytes() const { return pixels_.size(); }

    std::uint8_t* row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * stride_; }
    const std::uint8_t* row(int y) const {
        return pixels_.data() + static_cast<std::size_t>(y) * stride_;
    }
    std::uint8_t* pixel(int x, int y) { return row(y) + x * kBytesPerPixel; }
    const std::uint8_t* pixel(int x, int y) const { return row(y) + x * kBytesPerPixel; }

    std::uint8_t* data() { return pixels_.data(); }
    const std::uint8_t* data() const { return pixels_.data(); }

    bool operator==(const FrameImage&) const = default;

  private:
    // 1 GiB: far above any movie or key frame picture, far below what would exhaust memory.
    static constexpr std::size_t kMaxBytes = std::size_t{1} << 30;

    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::vector<std::uint8_t> pixels_;
};

// A rectangle of pixels: left and top column and row, width and height in pixels.
struct PixelRect {
    int left;
    int top;
    int width;
    int height;
    bool operator==(const PixelRect&) const = default;
};

// A picture or none: what every operation that may fail to produce a picture returns.
using OptionalImage = std::optional<FrameImage>;

// The columns [firstColumn, endColumn) and rows [firstRow, endRow) of a block of width x height
// pixels for which both (sx + c, sy + r) of the source and (x + c, y + r) of the target lie
// inside their pictures: what a copy or blend of that block may touch.
struct BlockOverlap {
    int firstColumn = 0;
    int endColumn = 0;
    int firstRow = 0;
    int endRow = 0;
    bool empty() const { return firstColumn >= endColumn || firstRow >= endRow; }
};

inline BlockOverlap blockOverlap(const FrameImage& source, int sx, int sy, const FrameImage& target,
                                 int x, int y, int width, int height) {
    const auto larger = [](int a, int b, int c) { return std::max(a, std::max(b, c)); };
    const auto smaller = [](int a, int b, int c) { return std::min(a, std::min(b, c)); };
    return {larger(0, -x, -sx), smaller(width, target.width() - x, source.width() - sx),
            larger(0, -y, -sy), smaller(height, target.height() - y, source.height() - sy)};
}

// Copies the block of `width` x `height` pixels at (sx, sy) of `source` to (x, y) of `target`,
// leaving out whatever falls outside either picture.
inline void copyBlock(const FrameImage& source, int sx, int sy, FrameImage& target, int x, int y,
                      int width, int height) {
    const BlockOverlap block = blockOverlap(source, sx, sy, target, x, y, width, height);
    if (block.empty()) {
        return;
    }
    const std::size_t bytes =
        static_cast<std::size_t>(block.endColumn - block.firstColumn) * FrameImage::kBytesPerPixel;
    for (int r = block.firstRow; r < block.endRow; ++r) {
        std::memcpy(target.pixel(x + block.firstColumn, y + r),
                    source.pixel(sx + block.firstColumn, sy + r), bytes);
    }
}

}  // namespace zr
