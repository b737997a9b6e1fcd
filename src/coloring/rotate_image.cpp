#include "coloring/rotate_image.h"

#include <cmath>
#include <cstdint>

namespace zr {

namespace {

// The rotation takes pi to six digits.
constexpr double kRotationPi = 3.14159;

}  // namespace

// Rows here are FrameImage rows, counted from the top. A picture handed over as a bottom-up
// bitmap has the same rows in reverse order, so its buffer row k is row H - 1 - k here: the
// bottom-left pixel (column 0 of row H - 1) is the first pixel of such a buffer, and all
// other coordinates are taken from the top.
void rotateImage(const FrameImage& source, FrameImage& destination, int centreX, int centreY,
                 double angleDegrees, bool centred) {
    if (source.empty() || destination.empty()) {
        return;
    }
    // Turning a picture into itself reads from a copy.
    FrameImage sourceCopy;
    if (&source == &destination) {
        sourceCopy = source;
    }
    const FrameImage& from = sourceCopy.empty() ? source : sourceCopy;

    const int sourceWidth = from.width();
    const int sourceHeight = from.height();
    const double angle = angleDegrees * kRotationPi / 180;
    const double sinA = std::sin(angle);
    const double cosA = std::cos(angle);
    const std::uint8_t* fill = from.pixel(0, sourceHeight - 1);
    const int offsetX = centred ? -centreX : centreX / 2 - centreX;
    const int offsetY = centred ? -centreY : centreY / 2 - centreY;

    for (int r = 0; r < destination.height(); ++r) {
        const double y = static_cast<double>(r) + offsetY;
        const double ySin = y * sinA;
        const double yCos = y * cosA;
        std::uint8_t* out = destination.row(r);
        for (int c = 0; c < destination.width(); ++c, out += FrameImage::kBytesPerPixel) {
            out[0] = fill[0];
            out[1] = fill[1];
            out[2] = fill[2];
            const double x = static_cast<double>(c) + offsetX;
            double sx = x * cosA + ySin + centreX;
            double sy = yCos - x * sinA + centreY;
            // Written so that a NaN (from a NaN or infinite angle) also keeps the fill.
            if (!(sx > -1) || !(sy > -1) || !(sx < sourceWidth) || !(sy < sourceHeight)) {
                continue;
            }
            sx = sx < 0 ? 0 : sx;
            sy = sy < 0 ? 0 : sy;
            const int ix = static_cast<int>(sx);
            const int iy = static_cast<int>(sy);
            const double fx = sx - ix;
            const double fy = sy - iy;
            const double h = (fx + fy) / 2;
            const bool hasRight = ix + 1 < sourceWidth;
            const bool hasBelow = iy + 1 < sourceHeight;
            const std::uint8_t* p00 = from.pixel(ix, iy);
            const std::uint8_t* p10 = hasRight ? from.pixel(ix + 1, iy) : p00;
            const std::uint8_t* p01 = hasBelow ? from.pixel(ix, iy + 1) : p00;
            const std::uint8_t* p11 = hasRight && hasBelow ? from.pixel(ix + 1, iy + 1) : p00;
            for (int b = 0; b < FrameImage::kBytesPerPixel; ++b) {
                const double value = (p00[b] * (1 - fx) + p10[b] * fx + p00[b] * (1 - fy) +
                                      p01[b] * fy + p00[b] * (1 - h) + p11[b] * h) /
                                     3;
                out[b] = static_cast<std::uint8_t>(value);
            }
        }
    }
}

}  // namespace zr
