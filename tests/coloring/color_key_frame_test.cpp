#include "coloring/color_key_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "coloring/coloring_fixtures.h"
#include "coloring/texture.h"

namespace zr {
namespace {

using testing::makeKeyFrame;
using testing::pixelAt;
using testing::plainColoringSettings;

class ColorKeyFrame : public ::testing::Test {
  protected:
    // The colour of a single pixel of count n and fraction f.
    Bgr colorOne(std::int32_t n, float fraction, double cycleOffset = 0.0,
                 double slopeScale = 1.0) {
        const KeyFrame frame = makeKeyFrame(1, 1, {n}, {fraction});
        return pixelAt(colorWithSettings(frame, cycleOffset, slopeScale, 1.0), 0, 0);
    }
    FrameImage colorWithSettings(const KeyFrame& frame, double cycleOffset, double slopeScale,
                                 double textureScale) {
        return testing::colorWithSettings(settings, frame, cycleOffset, slopeScale, textureScale);
    }

    testing::ColoringSettings settings = plainColoringSettings();
    const Palette& palette = settings.palette;
};

TEST_F(ColorKeyFrame, SmoothStandardBlendsNeighbouringEntriesByTheFraction) {
    settings.palette[10] = Bgr{100, 0, 200};
    settings.palette[11] = Bgr{200, 40, 0};
    // s = 10 + 1 - 0.25 = 10.75: a quarter of entry 10, three quarters of entry 11.
    EXPECT_EQ(colorOne(10, 0.25f), (Bgr{175, 30, 50}));
    // Without smoothing the whole part alone picks the entry.
    settings.smoothColoring = 0;
    EXPECT_EQ(colorOne(10, 0.25f), (Bgr{100, 0, 200}));
}

TEST_F(ColorKeyFrame, ColorMethods) {
    settings.palette[2] = Bgr{0, 0, 0};
    settings.palette[3] = Bgr{200, 100, 50};
    const Bgr halfway{100, 50, 25};

    settings.colorMethod = kSquareRoot;  // sqrt(6.25) = 2.5
    EXPECT_EQ(colorOne(6, 0.75f), halfway);
    settings.colorMethod = kLogarithm;  // log(1) = 0, plus an offset of 2.5
    EXPECT_EQ(colorOne(0, 0.0f, 2.5), halfway);
    settings.colorMethod = kCubicRoot;  // 15.625^(1/3) = 2.5 (to the last bits)
    EXPECT_EQ(colorOne(14, -0.625f), halfway);
    settings.colorMethod = 17;  // an unknown method colours like Standard
    EXPECT_EQ(colorOne(2, 0.5f), halfway);

    settings.colorMethod = kStretched;
    settings.stretchMin = 10;
    settings.stretchMax = 20;
    EXPECT_EQ(colorOne(14, 0.0f), palette[512]);     // v = 15, half way through the range
    EXPECT_EQ(colorOne(3, 0.0f, 7.0), palette[7]);   // below the range: 0, then the offset
    EXPECT_EQ(colorOne(40, 0.0f, 7.0), palette[7]);  // above: 1024, the palette wraps
}

TEST_F(ColorKeyFrame, ValuesWithoutRootOrLogarithmTakeThePaletteStart) {
    // s = count + 1 - fraction = 0 or below: roots and logarithms are not taken.
    for (const int method : {kSquareRoot, kCubicRoot, kLogarithm}) {
        settings.colorMethod = method;
        EXPECT_EQ(colorOne(-1, 0.0f), palette[0]) << method;
        EXPECT_EQ(colorOne(-5, 0.5f, 3.0), palette[3]) << method;
    }
    settings.colorMethod = kStretched;  // a range of no width: a step at its start
    settings.stretchMin = settings.stretchMax = 10;
    EXPECT_EQ(colorOne(9, 0.0f, 5.0), palette[5]);
    EXPECT_EQ(colorOne(20, 0.0f, 5.0), palette[5]);  // 1024 + 5 wraps to 5
}

TEST_F(ColorKeyFrame, DistanceSumsTheFourDifferencesAroundEachPixel) {
    settings.colorMethod = kDistance;
    settings.slopeRatio = 0;  // the Distance method also shades slopes; keep them neutral
    settings.palette[0] = Bgr{0, 0, 0};
    settings.palette[1] = Bgr{128, 64, 32};
    settings.palette[2] = Bgr{0, 0, 0};
    // 5 x 5, all 0 but a spike of 32 in the middle; o = sum * slopeScale * 5 / 640.
    std::vector<std::int32_t> counts(25, 0);
    counts[2 * 5 + 2] = 32;
    const KeyFrame frame = makeKeyFrame(5, 5, counts);
    const FrameImage image = colorWithSettings(frame, 0.0, 1.25, 1.0);
    // The spike differs from all four neighbours it looks at: o = 128 * 1.25 / 128 = 1.25.
    EXPECT_EQ(pixelAt(image, 2, 2), (Bgr{96, 48, 24}));
    // Its upper, left and upper-left neighbours see it only through forward differences they
    // do not take; the lower right one sees it once: o = 32 * 1.25 / 128 = 0.3125.
    EXPECT_EQ(pixelAt(image, 1, 1), (Bgr{0, 0, 0}));
    EXPECT_EQ(pixelAt(image, 3, 3), (Bgr{40, 20, 10}));
    // Below it only the vertical difference reaches it; up right, the anti-diagonal one.
    EXPECT_EQ(pixelAt(image, 2, 3), (Bgr{40, 20, 10}));
    EXPECT_EQ(pixelAt(image, 3, 1), (Bgr{40, 20, 10}));
    EXPECT_EQ(pixelAt(image, 1, 3), (Bgr{0, 0, 0}));
    EXPECT_EQ(pixelAt(image, 0, 0), (Bgr{0, 0, 0}));
}

TEST_F(ColorKeyFrame, DistanceUsesForwardDifferencesOnTheFirstRowAndColumn) {
    settings.colorMethod = kDistance;
    settings.slopeRatio = 0;
    settings.palette[0] = Bgr{0, 0, 0};
    settings.palette[1] = Bgr{128, 64, 32};
    settings.palette[2] = Bgr{0, 0, 0};
    // 5 x 2 with one raised pixel at (1, 0).
    std::vector<std::int32_t> counts(10, 0);
    counts[1] = 32;
    const FrameImage image = colorWithSettings(makeKeyFrame(5, 2, counts), 0.0, 1.25, 1.0);
    EXPECT_EQ(pixelAt(image, 1, 0), (Bgr{96, 48, 24}));  // all four terms, two forward
    EXPECT_EQ(pixelAt(image, 0, 0), (Bgr{40, 20, 10}));  // forward horizontal
    EXPECT_EQ(pixelAt(image, 0, 1), (Bgr{40, 20, 10}));  // forward anti-diagonal
    EXPECT_EQ(pixelAt(image, 2, 1), (Bgr{40, 20, 10}));  // backward diagonal
    EXPECT_EQ(pixelAt(image, 3, 0), (Bgr{0, 0, 0}));
}

TEST_F(ColorKeyFrame, DivisionAndCycleOffset) {
    settings.colorDivision = 2;
    // s = 21: 21 / 2 + 3 = 13.5.
    const Bgr expected{static_cast<std::uint8_t>((13 + 14) / 2), 255 - 14 + 0,
                       static_cast<std::uint8_t>(3)};
    EXPECT_EQ(colorOne(20, 0.0f, 3.0), expected);
    settings.colorDivision = 0;  // no division
    EXPECT_EQ(colorOne(20, 0.0f, 3.0), palette[24]);
    // Indices beyond the palette wrap; negative ones are raised by whole turns.
    EXPECT_EQ(colorOne(2000, 0.0f), palette[2001 - 1024]);
    EXPECT_EQ(colorOne(10, 0.0f, -3000.0), palette[11 - 3000 + 3 * 1024]);
    const int farBelow = static_cast<int>(std::fmod(-1e300, 1024.0) + 1024) % 1024;
    EXPECT_EQ(colorOne(10, 0.0f, -1e300), palette[farBelow]);
}

TEST_F(ColorKeyFrame, FixedCyclingAddsOnlyTheWholeOffsetAndBlendsItsFraction) {
    settings.fixedColorCycling = 1;
    settings.palette[12] = Bgr{100, 200, 0};
    settings.palette[13] = Bgr{200, 0, 100};
    // v = n = 10, offset 2.25 adds 2: entry 12, whatever the fraction and the offset's part.
    EXPECT_EQ(colorOne(10, 0.5f, 2.25), palette[12]);
    // Without smoothing the offset's fraction blends entries 12 and 13 0.75 : 0.25.
    settings.smoothColoring = 0;
    EXPECT_EQ(colorOne(10, 0.5f, 2.25), (Bgr{125, 150, 25}));
    EXPECT_EQ(colorOne(10, 0.5f, 2.0), palette[12]);
}

TEST_F(ColorKeyFrame, InsidePixelsKeepTheInsideColorButStillTakeSlopes) {
    settings.insideColor = 0x00332211;  // red 0x11, green 0x22, blue 0x33
    settings.colorDivision = 7;
    const KeyFrame frame = makeKeyFrame(2, 1, {500, 500}, {0.3f, 0.3f}, 500);
    const FrameImage image = colorWithSettings(frame, 123.4, 1.0, 1.0);
    EXPECT_EQ(pixelAt(image, 0, 0), (Bgr{0x33, 0x22, 0x11}));
    EXPECT_EQ(pixelAt(image, 1, 0), (Bgr{0x33, 0x22, 0x11}));

    // A slope across the inside pixels: the shading acts on them too.
    settings.slopes = 1;
    settings.slopeRatio = 100;
    settings.startRotation = 45;  // light along the x axis
    const KeyFrame sloped = makeKeyFrame(2, 1, {500, 500}, {0.0f, 0.9f}, 500);
    const Bgr shaded = pixelAt(colorWithSettings(sloped, 0.0, 50.0, 1.0), 1, 0);
    EXPECT_LT(shaded.blue, 0x33);
}

TEST_F(ColorKeyFrame, LongWavesOverlayOutsidePixelsOnly) {
    settings.palette.fill(Bgr{0, 0, 0});
    settings.longWaves[0] = LongWave{1000, 0, 0, 0x00FFFFFF, 50, 0};
    settings.longWaves[1].endFlag = 1;
    // s = 3000 lies at the top of a bump: half white over black.
    const KeyFrame frame = makeKeyFrame(2, 1, {2999, 2999}, {0.0f, 0.0f}, -1);
    EXPECT_EQ(pixelAt(colorWithSettings(frame, 0, 1, 1), 0, 0), (Bgr{127, 127, 127}));
    const KeyFrame inside = makeKeyFrame(1, 1, {2999}, {0.0f}, 2999);
    EXPECT_EQ(pixelAt(colorWithSettings(inside, 0, 1, 1), 0, 0), (Bgr{0, 0, 0}));
}

TEST_F(ColorKeyFrame, WaveColoringReplacesThePalette) {
    settings.waveColoring = 1;
    settings.hsbWaves[0].endFlag = 1;  // no waves: hue, saturation, brightness all 0.5
    EXPECT_EQ(colorOne(10, 0.25f, -5000.0), (Bgr{127, 127, 63}));
    // A hue wave follows the colour index: t = 50 is the top of a wave of period 100.
    settings.hsbWaves[0] = HsbWave{0, 100, 0, 0, 0, 0};
    settings.hsbWaves[1].endFlag = 1;
    EXPECT_EQ(colorOne(49, 0.0f), (Bgr{63, 63, 127}));
}

TEST_F(ColorKeyFrame, DamagedKeyFramesGiveNoPictureOrDefinedColors) {
    EXPECT_TRUE(colorWithSettings(KeyFrame{}, 0, 1, 1).empty());
    KeyFrame shortTables = makeKeyFrame(3, 3, {1, 2, 3});
    EXPECT_TRUE(colorWithSettings(shortTables, 0, 1, 1).empty());

    // Fractions that are not numbers: the index is taken as 0 rather than read at random.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(colorOne(10, nan), palette[0]);
    EXPECT_EQ(colorOne(10, inf), palette[0]);
    settings.colorMethod = kDistance;
    settings.slopes = 1;
    const FrameImage image =
        colorWithSettings(makeKeyFrame(2, 2, {1, 2, 3, 4}, {nan, 0.0f, inf, -inf}), 0, 1.5, 1);
    EXPECT_EQ(image.width(), 2);
    // Huge counts with a tiny division stay inside the palette.
    settings.colorMethod = kStandard;
    settings.slopes = 0;
    settings.colorDivision = 1e-10;
    EXPECT_EQ(colorOne(2000000000, 0.0f),
              palette[static_cast<int>(std::fmod(2000000001.0 / 1e-10, 1024.0))]);
    settings.colorDivision = 1e-300;  // beyond the double range: taken as index 0
    EXPECT_EQ(colorOne(2000000000, 0.0f), palette[0]);
}

TEST_F(ColorKeyFrame, TheStandardFastPathMatchesTheGeneralOne) {
    // An unknown method colours like Standard but takes the general path.
    std::mt19937 random(11);
    std::uniform_int_distribution<std::int32_t> count(-3, 5000);
    std::uniform_real_distribution<float> fraction(0.0f, 1.0f);
    // Rows of an odd width, so that the vector colouring of several pixels at once also ends
    // rows with single pixels, and of one pixel more than a run of 256; a few damaged fractions
    // among them. Divisions by powers of two are multiplications: the same indices.
    for (const int width : {67, 257}) {
        std::vector<std::int32_t> counts(static_cast<std::size_t>(width) * 16);
        std::vector<float> fractions(counts.size());
        for (std::size_t i = 0; i < counts.size(); ++i) {
            counts[i] = count(random);
            fractions[i] = fraction(random);
        }
        counts[5] = counts[6] = 77;
        fractions[200] = std::numeric_limits<float>::quiet_NaN();
        fractions[333] = std::numeric_limits<float>::infinity();
        const KeyFrame frame = makeKeyFrame(width, 16, counts, fractions, 77);
        for (const double division : {1.0, 0.0, 3.7, -2.0, 1e-7, 0.5, 1.0 / 1024, 4096.0}) {
            for (const double offset : {0.0, 12.34, -4321.5}) {
                settings.colorDivision = division;
                settings.colorMethod = kStandard;
                const FrameImage fast = colorWithSettings(frame, offset, 1.0, 1.0);
                settings.colorMethod = 17;
                EXPECT_EQ(fast, colorWithSettings(frame, offset, 1.0, 1.0))
                    << width << " " << division << " " << offset;
            }
        }
    }
}

TEST_F(ColorKeyFrame, RegionsAndThreadsColorTheSamePixelsAndNothingElse) {
    // The fast path, and stages that read neighbouring pixels (the Distance method, slopes).
    std::mt19937 random(5);
    std::uniform_int_distribution<std::int32_t> count(1, 3000);
    std::uniform_real_distribution<float> fraction(0.0f, 1.0f);
    std::vector<std::int32_t> counts(301 * 37);
    std::vector<float> fractions(counts.size());
    for (std::size_t i = 0; i < counts.size(); ++i) {
        counts[i] = count(random);
        fractions[i] = fraction(random);
    }
    const KeyFrame frame = makeKeyFrame(301, 37, counts, fractions, 1500);
    const PixelRect regions[] = {
        {0, 0, 301, 37}, {-5, 3, 40, 100}, {290, 30, 50, 50}, {7, 9, 1, 1}, {100, 0, 0, 37}};
    for (const int method : {kStandard, kDistance}) {
        settings.colorMethod = method;
        settings.slopes = method == kStandard ? 0 : 1;
        const ColoringPlan plan = testing::planOf(settings, nullptr, 3.25, 1.5, 1.0);
        const FrameImage whole = colorKeyFrame(frame, plan);
        ThreadPool pool(2);
        EXPECT_EQ(colorKeyFrame(frame, plan, ThreadShare(pool, 3)), whole);
        for (const PixelRect& region : regions) {
            FrameImage image(301, 37);
            std::fill(image.data(), image.data() + image.sizeBytes(), std::uint8_t{7});
            FrameImage expected = image;
            for (int y = std::max(region.top, 0); y < std::min(region.top + region.height, 37);
                 ++y) {
                for (int x = std::max(region.left, 0);
                     x < std::min(region.left + region.width, 301); ++x) {
                    std::copy_n(whole.pixel(x, y), 3, expected.pixel(x, y));
                }
            }
            ASSERT_TRUE(colorKeyFrameInto(frame, plan, image, region, ThreadShare(pool, 2)));
            EXPECT_EQ(image, expected) << method << ": " << region.left << "," << region.top;
        }
        FrameImage wrongSize(300, 37);
        EXPECT_FALSE(colorKeyFrameInto(frame, plan, wrongSize, regions[0]));
    }
}

}  // namespace
}  // namespace zr
