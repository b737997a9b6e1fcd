#include "coloring/exact_resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace zr {
namespace {

// Pixel (x, y) holds blue x, green y and red 7.
FrameImage ramp(int width, int height) {
    FrameImage picture(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = picture.pixel(x, y);
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(y);
            p[2] = 7;
        }
    }
    return picture;
}

FrameImage flat(int width, int height, std::uint8_t value) {
    FrameImage picture(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = picture.pixel(x, y);
            p[0] = p[1] = p[2] = value;
        }
    }
    return picture;
}

ExactRect whole(const FrameImage& picture) {
    return {0.0, 0.0, static_cast<double>(picture.width()), static_cast<double>(picture.height())};
}

std::vector<int> blueRow(const FrameImage& picture, int y, int from, int count) {
    std::vector<int> values;
    for (int x = from; x < from + count; ++x)
        values.push_back(picture.pixel(x, y)[0]);
    return values;
}

TEST(ResampleExact, KnownRectanglesGiveTheirSubpixelSamples) {
    const FrameImage source = ramp(200, 100);
    struct Case {
        const char* what;
        ExactRect from;
        int firstColumn;
        std::vector<int> expected;  // blue of target row 0 from firstColumn on
    };
    // Onto a target of 20 x 10. Shrinking averages each source pixel by its part of the target
    // pixel's interval; same size and magnifying read Catmull-Rom, which keeps a ramp a ramp.
    const Case cases[] = {
        {"one to one", {40.0, 0.0, 20.0, 10.0}, 0, {40, 41, 42, 43}},
        {"shrink by 1.5 from a whole column", {25.0, 0.0, 30.0, 15.0}, 0, {25, 27, 28, 30}},
        // [25.6, 27.1): 0.4 of 25, all of 26 and 0.1 of 27, over 1.5.
        {"shrink by 1.5 from a fractional column", {25.6, 0.0, 30.0, 15.0}, 0, {26, 27, 29, 30}},
        // Centres at 25 + (j + 0.5) / 2 read between pixel centres: 24.75 + j / 2.
        {"magnify by 2", {25.0, 0.0, 10.0, 5.0}, 10, {30, 30, 31, 31}},
        // Pixel j reads 40.8 + j: a fractional shift moves every sample by it.
        {"shift by 0.3", {40.8, 0.0, 20.0, 10.0}, 0, {41, 42, 43, 44}},
    };
    for (const Case& c : cases) {
        FrameImage target(20, 10);
        resampleExact(source, c.from, target, whole(target), ExactSampling{});
        EXPECT_EQ(blueRow(target, 0, c.firstColumn, 4), c.expected) << c.what;
        EXPECT_EQ(target.pixel(3, 0)[2], 7) << c.what;
    }
    // Rows read like columns: green of column 0 down the "shrink by 1.5" case.
    FrameImage target(20, 10);
    resampleExact(source, {25.0, 10.0, 30.0, 15.0}, target, whole(target), ExactSampling{});
    EXPECT_EQ(target.pixel(0, 0)[1], 10);
    EXPECT_EQ(target.pixel(0, 1)[1], 12);
    EXPECT_EQ(target.pixel(0, 2)[1], 13);
}

TEST(ResampleExact, EdgesBlendByThePartCovered) {
    FrameImage target = flat(8, 4, 0);
    // Columns [1.5, 4.25) and rows [0.5, 2): half of column 1, a quarter of column 4.
    resampleExact(flat(10, 10, 200), whole(flat(10, 10, 0)), target, {1.5, 0.5, 2.75, 1.5},
                  ExactSampling{});
    EXPECT_EQ(blueRow(target, 0, 0, 6), (std::vector<int>{0, 50, 100, 100, 25, 0}));
    EXPECT_EQ(blueRow(target, 1, 0, 6), (std::vector<int>{0, 100, 200, 200, 50, 0}));
    EXPECT_EQ(blueRow(target, 2, 0, 6), (std::vector<int>(6, 0)));

    // An ellipse draws its inside whole, nothing outside its box, its outline in part.
    FrameImage clipped = flat(40, 40, 0);
    const EllipseClip circle{20.0, 20.0, 10.0, 10.0};
    resampleExact(flat(10, 10, 240), whole(flat(10, 10, 0)), clipped, whole(clipped),
                  ExactSampling{}, &circle);
    EXPECT_EQ(clipped.pixel(20, 20)[0], 240);
    EXPECT_EQ(clipped.pixel(11, 11)[0], 0);  // inside the box, outside the circle
    EXPECT_EQ(clipped.pixel(5, 20)[0], 0);
    const int outline = clipped.pixel(29, 20)[0];  // [29, 30) against the edge at 30 - tiny
    EXPECT_GT(outline, 200);
    const int diagonal = clipped.pixel(27, 27)[0];  // the circle crosses this pixel
    EXPECT_GT(diagonal, 0);
    EXPECT_LT(diagonal, 240);
}

TEST(ResampleExact, SupersamplingThreadsAndFiltersKeepFlatPicturesFlat) {
    const FrameImage source = flat(64, 36, 123);
    ThreadPool pool(1);
    for (const MagnifyFilter filter : {MagnifyFilter::kCatmullRom, MagnifyFilter::kLanczos2}) {
        for (const bool linear : {false, true}) {
            for (const int supersample : {1, 3}) {
                for (const ExactRect from :
                     {ExactRect{3.3, 2.1, 50.2, 28.7}, ExactRect{20.5, 10.25, 9.0, 5.0}}) {
                    ExactSampling sampling;
                    sampling.magnify = filter;
                    sampling.linearLight = linear;
                    sampling.supersample = supersample;
                    sampling.threads = ThreadShare(pool, 2);
                    FrameImage target(32, 18);
                    resampleExact(source, from, target, whole(target), sampling);
                    for (const auto& [x, y] :
                         {std::pair{0, 0}, std::pair{31, 17}, std::pair{15, 9}})
                        EXPECT_EQ(target.pixel(x, y)[1], 123) << from.left << ' ' << supersample;
                }
            }
        }
    }
    // The same rows split among threads or not give the same bytes.
    const FrameImage detail = ramp(200, 100);
    FrameImage one(90, 50);
    FrameImage two(90, 50);
    ExactSampling sampling;
    resampleExact(detail, {10.7, 3.2, 151.1, 83.9}, one, whole(one), sampling);
    sampling.threads = ThreadShare(pool, 2);
    resampleExact(detail, {10.7, 3.2, 151.1, 83.9}, two, whole(two), sampling);
    for (int y = 0; y < 50; ++y)
        ASSERT_TRUE(std::equal(one.row(y), one.row(y) + 90 * 3, two.row(y))) << y;
}

TEST(ResampleExact, UnusableRectanglesDrawNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const FrameImage source = flat(10, 10, 90);
    for (const ExactRect& rect :
         {ExactRect{0, 0, 0, 5}, ExactRect{0, 0, -3, 5}, ExactRect{nan, 0, 5, 5},
          ExactRect{0, 0, inf, 5}, ExactRect{1e300, 0, 5, 5}, ExactRect{100, 100, 5, 5}}) {
        FrameImage target = flat(10, 10, 1);
        resampleExact(source, whole(source), target, rect, ExactSampling{});
        resampleExact(source, rect, target, {-1e300, 0, 5, 5}, ExactSampling{});
        EXPECT_EQ(target.pixel(0, 0)[0], 1);
        EXPECT_EQ(target.pixel(9, 9)[0], 1);
    }
    FrameImage target = flat(10, 10, 1);
    const EllipseClip flatEllipse{5.0, 5.0, 0.0, 5.0};
    resampleExact(source, whole(source), target, whole(target), ExactSampling{}, &flatEllipse);
    EXPECT_EQ(target.pixel(5, 5)[0], 1);
    FrameImage empty;
    resampleExact(empty, whole(source), target, whole(target), ExactSampling{});
    resampleExact(source, whole(source), empty, whole(source), ExactSampling{});
    EXPECT_EQ(target.pixel(5, 5)[0], 1);
}

// Where a source pixel meets about one target pixel, the mean of the linearly interpolated source
// blurs a view alike at every sub-pixel offset and moves it by exactly that offset; coverage
// weights would leave the offset 0 sharp and the offset 0.5 blurred.
TEST(ResampleLinearMean, BlursAlikeAtEverySubpixelOffset) {
    FrameImage line = flat(40, 4, 0);
    for (int y = 0; y < 4; ++y)
        line.pixel(20, y)[0] = 240;  // a line whose centre is at 20.5
    for (const double ratio : {1.0, 0.995}) {
        for (const double offset : {0.0, 0.25, 0.5, 0.75}) {
            FrameImage target = flat(40, 4, 0);
            // Target column x reads source columns from 5 + (x - offset) * ratio.
            resampleLinearMean(line, {5.0 - offset * ratio, 0.0, 30.0 * ratio, 4.0}, target,
                               {0.0, 0.0, 30.0, 4.0}, ExactSampling{});
            double sum = 0.0, first = 0.0, second = 0.0;
            for (int x = 0; x < 30; ++x) {
                const double value = target.pixel(x, 1)[0];
                const double centre = x + 0.5;
                sum += value;
                first += value * centre;
                second += value * centre * centre;
            }
            const double mean = first / sum;
            const double variance = second / sum - mean * mean;
            // The line lies at 15.5 / ratio + offset in the target.
            EXPECT_NEAR(mean, 15.5 / ratio + offset, 0.02) << ratio << ' ' << offset;
            // Linear interpolation (1/6) and the pixel's mean (1/12).
            EXPECT_NEAR(variance, 0.25, 0.01) << ratio << ' ' << offset;
        }
    }

    // A ramp stays a ramp: each pixel takes the value at the middle of what it covers.
    const FrameImage source = ramp(200, 100);
    FrameImage target(20, 10);
    resampleLinearMean(source, {12.5, 6.25, 15.0, 7.5}, target, whole(target), ExactSampling{});
    EXPECT_EQ(blueRow(target, 0, 0, 4), (std::vector<int>{12, 13, 14, 15}));  // 12.375 + 0.75 x
    EXPECT_EQ(target.pixel(0, 0)[1], 6);                                      // 6.125
}

TEST(ResampleLinearMean, LeavesTheHoleAsItWas) {
    const FrameImage source = ramp(200, 100);
    FrameImage whole20(20, 10);
    resampleLinearMean(source, {3.3, 2.2, 150.5, 80.25}, whole20, whole(whole20), ExactSampling{});
    FrameImage holed = flat(20, 10, 99);
    const PixelRect hole{5, 2, 7, 4};
    resampleLinearMean(source, {3.3, 2.2, 150.5, 80.25}, holed, whole(holed), ExactSampling{},
                       nullptr, &hole);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 20; ++x) {
            const bool inHole = x >= 5 && x < 12 && y >= 2 && y < 6;
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(holed.pixel(x, y)[c], inHole ? 99 : whole20.pixel(x, y)[c])
                    << x << ' ' << y;
            }
        }
    }
}

}  // namespace
}  // namespace zr
