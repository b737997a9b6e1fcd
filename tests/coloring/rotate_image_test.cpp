#include "coloring/rotate_image.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace zr {
namespace {

using Bgr = std::array<int, 3>;

Bgr at(const FrameImage& image, int x, int y) {
    const std::uint8_t* p = image.pixel(x, y);
    return {p[0], p[1], p[2]};
}

void put(FrameImage& image, int x, int y, Bgr color) {
    std::uint8_t* p = image.pixel(x, y);
    for (int b = 0; b < 3; ++b) {
        p[b] = static_cast<std::uint8_t>(color[b]);
    }
}

// Every pixel a different colour; widths not a multiple of 4 exercise the row padding.
FrameImage patterned(int width, int height) {
    FrameImage image(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            put(image, x, y, {(x * 7 + y * 13) % 256, (x * 3 + y * 29 + 1) % 256, (x + y) % 256});
        }
    }
    return image;
}

TEST(RotateImage, ZeroAngleCopiesAndFillsWithTheBottomLeftColor) {
    const FrameImage source = patterned(7, 5);
    FrameImage inPlace = source;
    rotateImage(inPlace, inPlace, 2, 2, 0.0, true);
    EXPECT_EQ(inPlace, source);

    // Uncentred into half the size: destination (0, 0) shows source (7/2/2, 5/2/2) = (1, 1).
    FrameImage half(4, 3);
    rotateImage(source, half, 7 / 2, 5 / 2, 0.0, false);
    // Into a larger picture: what lies beyond the source is the bottom-left source pixel.
    FrameImage larger(9, 6);
    rotateImage(source, larger, 0, 0, 0.0, true);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 9; ++x) {
            if (x < 4 && y < 3) {
                ASSERT_EQ(at(half, x, y), at(source, x + 1, y + 1)) << x << "," << y;
            }
            const Bgr expected = x < 7 && y < 5 ? at(source, x, y) : at(source, 0, 4);
            ASSERT_EQ(at(larger, x, y), expected) << x << "," << y;
        }
    }
    // An angle that is not a number leaves the whole picture in the fill colour.
    rotateImage(source, larger, 2, 1, std::numeric_limits<double>::quiet_NaN(), true);
    EXPECT_EQ(at(larger, 2, 1), at(source, 0, 4));
}

// A 3 x 3 source whose bytes grow by 30 a column and 90 a row (the red byte by 1 and 2, the
// green byte not at all), turned by 45 degrees about its middle pixel. With a = 45 * 3.14159 /
// 180, cos a = 0.7071080 and sin a = 0.7071055.
TEST(RotateImage, FortyFiveDegreesInterpolatesThreeWaysAndTruncates) {
    FrameImage source(3, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            put(source, x, y, {30 * x + 90 * y, 77, x + 2 * y});
        }
    }
    FrameImage turned(3, 3);
    rotateImage(source, turned, 1, 1, 45.0, true);

    // (2, 1): source point (1.7071, 0.2929): P00 = 30, P10 = 60, P01 = 120, P11 = 150;
    // (90 + 30 fx + 90 fy + 120 h) / 3 = 65.86, truncated to 65.
    EXPECT_EQ(at(turned, 2, 1)[0], 65);
    // (0, 0): source point (-0.414, 0.9999975); x is raised to 0 without blending, so
    // (90 fy + 120 h) / 3 = 49.9999 becomes 49.
    EXPECT_EQ(at(turned, 0, 0)[0], 49);
    // (2, 2): source point (2.414, 1.0000025) in the last column: the right and diagonal
    // neighbours stand in as P00 = 150, and P01 = 240 weighs only 2.5e-6.
    EXPECT_EQ(at(turned, 2, 2)[0], 150);
    // The bytes are interpolated independently.
    EXPECT_EQ(at(turned, 1, 1), (Bgr{120, 77, 3}));
    EXPECT_EQ(at(turned, 2, 1)[1], 77);
    EXPECT_EQ(at(turned, 2, 1)[2], 1);  // (3 + fx + 2 fy + 3 h) / 3 = 1.93
}

TEST(RotateImage, QuarterTurnIsClockwiseOnScreen) {
    FrameImage source(5, 5);
    put(source, 4, 2, {240, 0, 120});  // a mark on the middle of the right edge
    FrameImage turned(5, 5);
    rotateImage(source, turned, 2, 2, 90.0, true);
    // Destination (2, 4) samples source (3.99999999999824, 2.0000027): the mark as the right
    // neighbour with fx just below 1, so 240 * fx / 3 = 79.99999 becomes 79.
    EXPECT_EQ(at(turned, 2, 4), (Bgr{79, 0, 39}));
    int marked = 0;
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            marked += at(turned, x, y)[0] != 0 ? 1 : 0;
        }
    }
    EXPECT_EQ(marked, 1);

    // Turning back by the opposite angle brings the mark home.
    FrameImage back(5, 5);
    put(source, 4, 2, {0, 0, 0});
    put(source, 2, 4, {240, 0, 120});
    rotateImage(source, back, 2, 2, -90.0, true);
    EXPECT_GT(at(back, 4, 2)[0], 70);
}

}  // namespace
}  // namespace zr
