#include "coloring/slopes.h"

#include <gtest/gtest.h>

#include "coloring/coloring_fixtures.h"

namespace zr {
namespace {

using testing::makeKeyFrame;

// Light along the x axis (rotation 45 degrees), slope scale 1, strength 50 %.
SlopeShading alongX(double slopeRatio = 50.0, double slopeScale = 1.0) {
    return SlopeShading{slopeLight(45.0), slopeScale, slopeRatio, false, 0.0};
}

Bgr shaded(const SlopeShading& shading, const KeyFrame& frame, int x, int y,
           Bgr pixel = Bgr{200, 200, 200}) {
    shading.apply(pixel, x, y, frame);
    return pixel;
}

TEST(Slopes, FlatAreasAndZeroStrengthChangeNothing) {
    const KeyFrame flat = makeKeyFrame(3, 3, std::vector<std::int32_t>(9, 40));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(shaded(alongX(), flat, x, y, Bgr{0, 77, 254}), (Bgr{0, 77, 254}));
        }
    }
    const KeyFrame steep = makeKeyFrame(2, 1, {100, 10});
    EXPECT_EQ(shaded(alongX(0.0, 5.0), steep, 1, 0), (Bgr{200, 200, 200}));
}

TEST(Slopes, FallingTowardsTheLightDarkensRisingLightens) {
    // s = 11, 10: the value falls from column 0 to column 1, ratio 1.1.
    const KeyFrame falling = makeKeyFrame(2, 1, {10, 9});
    EXPECT_EQ(shaded(alongX(), falling, 1, 0), (Bgr{193, 193, 193}));
    // s = 9, 10: it rises, ratio 0.9, lightened.
    const KeyFrame rising = makeKeyFrame(2, 1, {8, 9});
    EXPECT_EQ(shaded(alongX(), rising, 1, 0), (Bgr{201, 201, 201}));
    // The slope scale sharpens the ratio; full strength goes nearly to black or white.
    EXPECT_EQ(shaded(alongX(100.0, 40.0), falling, 1, 0), (Bgr{5, 5, 5}));
    EXPECT_EQ(shaded(alongX(100.0, 40.0), rising, 1, 0, Bgr{100, 100, 100}), (Bgr{252, 252, 252}));
}

TEST(Slopes, FirstColumnAndRowLookForward) {
    // Pixel (0, 0) takes the same step down as pixel (1, 0), over its own value:
    // ratio (1 + 11) / 11 instead of (1 + 10) / 10.
    const KeyFrame falling = makeKeyFrame(2, 1, {10, 9});
    EXPECT_EQ(shaded(alongX(), falling, 0, 0), (Bgr{194, 194, 194}));
    // One pixel wide: no horizontal slope at all.
    const KeyFrame column = makeKeyFrame(1, 2, {10, 9});
    EXPECT_EQ(shaded(alongX(), column, 0, 1), (Bgr{200, 200, 200}));
    // A column lit along y: the first row uses the second.
    const SlopeShading alongY{slopeLight(-45.0), 1.0, 50.0, false, 0.0};
    EXPECT_EQ(shaded(alongY, column, 0, 0), (Bgr{194, 194, 194}));
    EXPECT_EQ(shaded(alongY, column, 0, 1), (Bgr{193, 193, 193}));
}

TEST(Slopes, DividedSlopesShadeOnlyWholeNumberSteps) {
    SlopeShading divided = alongX();
    divided.divideSlopes = true;
    // s = 10.9 and 10.2: the same whole number, no slope.
    const KeyFrame withinBand = makeKeyFrame(2, 1, {10, 10}, {0.1f, 0.8f});
    EXPECT_EQ(shaded(divided, withinBand, 1, 0), (Bgr{200, 200, 200}));
    EXPECT_NE(shaded(alongX(), withinBand, 1, 0), (Bgr{200, 200, 200}));
    // The cycle offset moves the band edges: 10.9 + 0.3 crosses to 11, a step down.
    divided.cycleOffset = 0.3;
    EXPECT_LT(shaded(divided, withinBand, 1, 0).blue, 200);
}

TEST(Slopes, PixelsWithoutARatioAreLeftUnshaded) {
    // Smooth value 0 (count -1, fraction 0) would divide by zero.
    const KeyFrame zero = makeKeyFrame(2, 1, {5, -1});
    EXPECT_EQ(shaded(alongX(), zero, 1, 0), (Bgr{200, 200, 200}));
    // s = 1, then -3: ratio (4 - 3) / -3 < 0 has no fractional power.
    const KeyFrame negative = makeKeyFrame(2, 1, {0, -4});
    EXPECT_EQ(shaded(alongX(50.0, 1.5), negative, 1, 0), (Bgr{200, 200, 200}));
}

}  // namespace
}  // namespace zr
