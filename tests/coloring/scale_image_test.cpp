#include "coloring/scale_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace zr {
namespace {

FrameImage randomImage(int width, int height, std::mt19937& random) {
    FrameImage image(width, height);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int y = 0; y < height; ++y) {
        for (int i = 0; i < width * 3; ++i) {
            image.row(y)[i] = static_cast<std::uint8_t>(byte(random));
        }
    }
    return image;
}

// The straightforward area average: target pixel (x, y) covers source columns
// [x * sw / tw, (x + 1) * sw / tw); measured in 1 / tw (and 1 / th) of a source pixel, the
// weight of each covered source pixel is the product of its overlaps, the weights of a target
// pixel add up to sw * sh, and the mean is rounded half up.
// Source pixels outside the source repeat its border. Only the target pixels inside `clip` are
// drawn (by default all of the target's).
void referenceScale(const FrameImage& source, PixelRect from, FrameImage& target, PixelRect to,
                    PixelRect clip = {0, 0, 1 << 30, 1 << 30}) {
    auto overlap = [](std::int64_t low, std::int64_t high, std::int64_t cellLow,
                      std::int64_t cellHigh) {
        return std::max<std::int64_t>(0, std::min(high, cellHigh) - std::max(low, cellLow));
    };
    const int left = std::max({0, clip.left, to.left});
    const int right = std::min({target.width(), clip.left + clip.width, to.left + to.width});
    const int top = std::max({0, clip.top, to.top});
    const int bottom = std::min({target.height(), clip.top + clip.height, to.top + to.height});
    for (int y = top - to.top; y < bottom - to.top; ++y) {
        for (int x = left - to.left; x < right - to.left; ++x) {
            const int tx = to.left + x;
            const int ty = to.top + y;
            for (int c = 0; c < 3; ++c) {
                std::uint64_t sum = 0;
                const int firstRow = static_cast<int>(std::int64_t{y} * from.height / to.height);
                for (int sy = firstRow; sy < from.height; ++sy) {
                    const std::int64_t wy =
                        overlap(std::int64_t{y} * from.height, std::int64_t{y + 1} * from.height,
                                std::int64_t{sy} * to.height, std::int64_t{sy + 1} * to.height);
                    if (wy == 0) {
                        break;
                    }
                    const int row = std::clamp(from.top + sy, 0, source.height() - 1);
                    const int firstColumn =
                        static_cast<int>(std::int64_t{x} * from.width / to.width);
                    for (int sx = firstColumn; sx < from.width; ++sx) {
                        const std::int64_t wx =
                            overlap(std::int64_t{x} * from.width, std::int64_t{x + 1} * from.width,
                                    std::int64_t{sx} * to.width, std::int64_t{sx + 1} * to.width);
                        if (wx == 0) {
                            break;
                        }
                        const int column = std::clamp(from.left + sx, 0, source.width() - 1);
                        sum += static_cast<std::uint64_t>(wx * wy) * source.pixel(column, row)[c];
                    }
                }
                const std::uint64_t total = std::uint64_t(from.width) * from.height;
                target.pixel(tx, ty)[c] =
                    static_cast<std::uint8_t>((2 * sum + total) / (2 * total));
            }
        }
    }
}

// Where two pictures of the same size first differ, for failure messages.
std::string firstDifference(const FrameImage& a, const FrameImage& b) {
    if (a.width() != b.width() || a.height() != b.height()) {
        return "sizes differ";
    }
    for (int y = 0; y < a.height(); ++y) {
        for (int i = 0; i < a.width() * 3; ++i) {
            if (a.row(y)[i] != b.row(y)[i]) {
                return "pixel (" + std::to_string(i / 3) + ", " + std::to_string(y) + ") byte " +
                       std::to_string(i % 3) + ": " + std::to_string(a.row(y)[i]) + " vs " +
                       std::to_string(b.row(y)[i]);
            }
        }
    }
    return "padding differs";
}

TEST(ScaleImage, MatchesTheReferenceAtRandomSizesUpAndDown) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> size(1, 41);
    for (int round = 0; round < 150; ++round) {
        const FrameImage source = randomImage(size(random), size(random), random);
        const int width = size(random);
        const int height = size(random);
        FrameImage expected(width, height);
        referenceScale(source, {0, 0, source.width(), source.height()}, expected,
                       {0, 0, width, height});
        const FrameImage scaled = scaleImage(source, width, height);
        ASSERT_TRUE(scaled == expected)
            << source.width() << "x" << source.height() << " -> " << width << "x" << height << ": "
            << firstDifference(scaled, expected);
    }
}

TEST(ScaleImage, RectanglesAreCutAndPlacedAndClipped) {
    ThreadPool pool(2);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> offset(-12, 30);
    std::uniform_int_distribution<int> extent(1, 40);
    for (int round = 0; round < 150; ++round) {
        const FrameImage source = randomImage(31, 23, random);
        FrameImage target = randomImage(27, 19, random);
        FrameImage expected = target;
        const PixelRect from{offset(random), offset(random), extent(random), extent(random)};
        const PixelRect to{offset(random), offset(random), extent(random), extent(random)};
        referenceScale(source, from, expected, to);
        scaleImageInto(source, from, target, to, ThreadShare(pool, 1 + round % 3));
        ASSERT_TRUE(target == expected) << round << ": " << firstDifference(target, expected);
    }
}

TEST(ScaleImage, WholeFactorsCopyOrAverageBlocksExactly) {
    FrameImage source(2, 1);
    const std::uint8_t values[] = {1, 2, 3, 250, 251, 252};
    std::copy(std::begin(values), std::end(values), source.row(0));
    const FrameImage tripled = scaleImage(source, 6, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 6; ++x) {
            ASSERT_EQ(tripled.pixel(x, y)[0], x < 3 ? 1 : 250);
            ASSERT_EQ(tripled.pixel(x, y)[2], x < 3 ? 3 : 252);
        }
    }
    // Blocks of 2 x 2: 0, 1, 2, 2 average 1.25 -> 1; 1, 2, 2, 2 average 1.75 -> 2;
    // 1, 1, 2, 2 average 1.5 -> 2 (halves round up).
    FrameImage blocks(2, 2);
    const std::uint8_t corners[4][3] = {{0, 1, 1}, {1, 2, 1}, {2, 2, 2}, {2, 2, 2}};
    for (int i = 0; i < 4; ++i) {
        std::copy(corners[i], corners[i] + 3, blocks.pixel(i % 2, i / 2));
    }
    const FrameImage halved = scaleImage(blocks, 1, 1);
    EXPECT_EQ(halved.pixel(0, 0)[0], 1);
    EXPECT_EQ(halved.pixel(0, 0)[1], 2);
    EXPECT_EQ(halved.pixel(0, 0)[2], 2);
    // Thirds: 0, 0, 1 averages 1/3 -> 0, and 0, 1, 1 averages 2/3 -> 1.
    FrameImage row(6, 1);
    const std::uint8_t thirds[] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 1, 1, 1, 1, 1, 1};
    std::copy(std::begin(thirds), std::end(thirds), row.row(0));
    const FrameImage third = scaleImage(row, 2, 1);
    EXPECT_EQ(third.pixel(0, 0)[0], 0);
    EXPECT_EQ(third.pixel(1, 0)[0], 1);
}

TEST(ScaleImage, WholeFactorsAndSameSizeMatchTheReferenceWhereverPlaced) {
    ThreadPool pool(2);
    // Copies (same size, whole-factor enlargements) and reductions by powers of two take their
    // own paths; placed partly outside the target, cut from inside the source or beyond it.
    struct Case {
        PixelRect from;
        PixelRect to;
    };
    const Case cases[] = {
        {{0, 0, 37, 23}, {-5, 3, 74, 46}},  // twice as large
        {{2, 1, 30, 20}, {4, -7, 90, 60}},  // three times, from a cut
        {{0, 0, 37, 23}, {9, 5, 37, 23}},   // the same size, shifted
        {{-3, 4, 37, 23}, {0, 0, 37, 23}},  // the same size, beyond the source
        {{0, 0, 37, 23}, {1, 2, 74, 23}},   // wider only
        {{0, 0, 36, 20}, {3, 3, 18, 10}},   // halved
        {{0, 0, 36, 20}, {-2, 1, 9, 5}},    // a quarter
        {{0, 0, 37, 23}, {0, 0, 60, 40}},   // neither
    };
    std::mt19937 random(11);
    const FrameImage source = randomImage(37, 23, random);
    for (const Case& c : cases) {
        for (const int threads : {1, 3}) {
            FrameImage target = randomImage(70, 50, random);
            FrameImage expected = target;
            referenceScale(source, c.from, expected, c.to);
            scaleImageInto(source, c.from, target, c.to, ThreadShare(pool, threads));
            ASSERT_TRUE(target == expected)
                << c.to.width << "x" << c.to.height << " at " << c.to.left << "," << c.to.top
                << ": " << firstDifference(target, expected);
        }
    }
}

TEST(ScaleImage, AClipDrawsItsPartFromTheSourcePixelsNamedForIt) {
    ThreadPool pool(2);
    // Inside the clip the pixels of the whole scale, outside it nothing; and they stay the same
    // when every source pixel outside sourcePixelsRead() is changed.
    std::mt19937 random(23);
    std::uniform_int_distribution<int> offset(-10, 25);
    std::uniform_int_distribution<int> extent(1, 45);
    for (int round = 0; round < 200; ++round) {
        const FrameImage source = randomImage(29, 21, random);
        const FrameImage before = randomImage(33, 27, random);
        const PixelRect from{offset(random), offset(random), extent(random), extent(random)};
        const PixelRect to{offset(random), offset(random), extent(random), extent(random)};
        const PixelRect clip{offset(random), offset(random), extent(random), extent(random)};
        FrameImage whole = before;
        scaleImageInto(source, from, whole, to);
        FrameImage expected = before;
        for (int y = std::max(clip.top, 0); y < std::min(clip.top + clip.height, 27); ++y) {
            for (int x = std::max(clip.left, 0); x < std::min(clip.left + clip.width, 33); ++x) {
                std::copy_n(whole.pixel(x, y), 3, expected.pixel(x, y));
            }
        }
        const PixelRect read = sourcePixelsRead(from, 29, 21, to, clip);
        FrameImage scrambled = randomImage(29, 21, random);
        copyBlock(source, read.left, read.top, scrambled, read.left, read.top, read.width,
                  read.height);
        FrameImage clipped = before;
        scaleImageInto(scrambled, from, clipped, to, clip, ThreadShare(pool, 1 + round % 2));
        ASSERT_TRUE(clipped == expected) << round << ": " << firstDifference(clipped, expected);
    }
}

TEST(ScaleImage, ThreadsLargeSizesAndAliasingGiveTheSameResult) {
    std::mt19937 random(3);
    const FrameImage source = randomImage(397, 211, random);
    const FrameImage single = scaleImage(source, 160, 90);
    ThreadPool pool(3);
    EXPECT_EQ(scaleImage(source, 160, 90, ThreadShare(pool, 4)), single);
    // Tall sizes without a common divisor: vertical sums beyond 16 bits.
    for (const int height : {263, 1021}) {
        const FrameImage tall = randomImage(97, height, random);
        FrameImage tallExpected(61, 100);
        referenceScale(tall, {0, 0, 97, height}, tallExpected, {0, 0, 61, 100});
        const FrameImage tallScaled = scaleImage(tall, 61, 100);
        EXPECT_TRUE(tallScaled == tallExpected) << firstDifference(tallScaled, tallExpected);
    }
    // Coprime sizes whose weight sums exceed the integer sums (4093 * 2053 > 2^23): the
    // same rounding, checked on the part of the target that is drawn.
    const FrameImage large = randomImage(4093, 2053, random);
    FrameImage drawn(64, 48);
    FrameImage expected(64, 48);
    scaleImageInto(large, {0, 0, 4093, 2053}, drawn, {-1000, -700, 4091, 2051});
    referenceScale(large, {0, 0, 4093, 2053}, expected, {-1000, -700, 4091, 2051});
    EXPECT_TRUE(drawn == expected) << firstDifference(drawn, expected);
    // Weight sums just below the integer limit (2897 * 2901 * 255.5 < 2^31): the largest
    // sums, of white and near-white pictures, stay exact.
    for (const std::uint8_t level : {std::uint8_t{255}, std::uint8_t{254}}) {
        FrameImage flat(2897, 2901);
        std::fill(flat.data(), flat.data() + flat.sizeBytes(), level);
        const FrameImage line = scaleImage(flat, 1920, 1);
        EXPECT_TRUE(std::all_of(line.row(0), line.row(0) + 1920 * 3,
                                [level](std::uint8_t value) { return value == level; }))
            << "level " << int{level};
    }
    // Scaling a picture into itself reads the picture as it was.
    FrameImage self = source;
    scaleImageInto(self, {0, 0, 397, 211}, self, {0, 0, 160, 90});
    FrameImage expectedSelf = source;
    scaleImageInto(source, {0, 0, 397, 211}, expectedSelf, {0, 0, 160, 90});
    EXPECT_EQ(self, expectedSelf);
}

TEST(ScaleImage, TheProcessorsKernelsGiveTheBaselineBytesAtRandomRatiosAndClips) {
    // Random ratios from 0.4 to 9.5 on each axis (1 to 11 taps) and whole-factor enlargements,
    // odd and even numbers of drawn columns, rectangles reaching beyond the source, and sizes for
    // each kind of sums: small ones (16-bit vertical sums), taller coprime ones (32-bit sums) and
    // huge ones (double precision); only a clip of the huge ones is drawn.
    ThreadPool pool(1);
    std::mt19937 random(20261208);
    std::uniform_real_distribution<double> ratio(0.4, 9.5);
    std::uniform_int_distribution<int> place(-30, 60);
    std::uniform_int_distribution<int> extent(1, 48);
    std::uniform_int_distribution<int> factor(1, 5);
    const FrameImage source = randomImage(157, 131, random);
    const int sizeLimits[][2] = {{1, 90}, {200, 900}, {1500, 2600}};
    for (int round = 0; round < 300; ++round) {
        std::uniform_int_distribution<int> size(sizeLimits[round % 3][0], sizeLimits[round % 3][1]);
        int width = size(random);
        int height = size(random);
        PixelRect from{place(random), place(random),
                       std::max(1, static_cast<int>(width * ratio(random))),
                       std::max(1, static_cast<int>(height * ratio(random)))};
        if (round % 4 == 3) {  // copies: the same size or a whole factor larger
            const int across = factor(random);
            const int down = factor(random);
            from.width = std::max(1, width / across);
            from.height = std::max(1, height / down);
            width = from.width * across;
            height = from.height * down;
        }
        const PixelRect to{place(random) - width / 2, place(random) - height / 2, width, height};
        const PixelRect clip{place(random), place(random), extent(random), extent(random)};
        const FrameImage before = randomImage(64, 48, random);
        FrameImage expected = before;
        referenceScale(source, from, expected, to, clip);
        for (const auto kernels : {detail::ScaleKernels::best, detail::ScaleKernels::baseline}) {
            FrameImage scaled = before;
            detail::scaleImageIntoWith(kernels, source, from, scaled, to, clip,
                                       ThreadShare(pool, 1 + round % 2));
            ASSERT_TRUE(scaled == expected)
                << round << (kernels == detail::ScaleKernels::best ? " best" : " baseline") << ": "
                << from.width << "x" << from.height << " -> " << width << "x" << height << ", "
                << firstDifference(scaled, expected);
        }
    }
}

TEST(ScaleImage, RoundedMeansAreExactAtEveryStepOfEveryTotal) {
    // The division may only err where a mean lies next to a whole number: for each total, every
    // sum from two below to one above each rounding step k * total - total / 2 (k = 1 .. 255),
    // the smallest and largest sums, for every total up to 3000, totals either side of powers of
    // two, and totals spread up to the largest one the integer sums take.
    std::vector<std::uint64_t> totals;
    for (std::uint64_t total = 1; total <= 3000; ++total) {
        totals.push_back(total);
    }
    constexpr std::uint64_t kLargestTotal = ((std::uint64_t{1} << 32) - 1) / 511;
    std::mt19937_64 random(99);
    std::uniform_int_distribution<std::uint64_t> anyTotal(3001, kLargestTotal);
    for (int i = 0; i < 3000; ++i) {
        totals.push_back(anyTotal(random));
    }
    for (std::uint64_t total = kLargestTotal - 300; total <= kLargestTotal; ++total) {
        totals.push_back(total);
    }
    for (int bits = 12; bits <= 23; ++bits) {  // either side of each power of two
        totals.push_back((std::uint64_t{1} << bits) - 1);
        totals.push_back((std::uint64_t{1} << bits) + 1);
    }
    std::vector<std::int32_t> sums;
    std::vector<std::uint8_t> expected;
    std::vector<std::uint8_t> rounded;
    for (const std::uint64_t total : totals) {
        sums.assign({0, 1, static_cast<std::int32_t>(255 * total)});
        for (std::uint64_t step = 1; step <= 255; ++step) {
            const std::int64_t edge = static_cast<std::int64_t>(step * total - total / 2);
            for (std::int64_t sum = edge - 2; sum <= edge + 1; ++sum) {
                if (sum >= 0 && sum <= static_cast<std::int64_t>(255 * total)) {
                    sums.push_back(static_cast<std::int32_t>(sum));
                }
            }
        }
        expected.resize(sums.size());
        for (std::size_t i = 0; i < sums.size(); ++i) {
            expected[i] = static_cast<std::uint8_t>(
                (2 * static_cast<std::uint64_t>(sums[i]) + total) / (2 * total));
        }
        for (const auto kernels : {detail::ScaleKernels::best, detail::ScaleKernels::baseline}) {
            rounded.assign(sums.size(), 0);
            detail::roundedMeans(kernels, sums.data(), sums.size(), total, rounded.data());
            const auto wrong = std::mismatch(rounded.begin(), rounded.end(), expected.begin());
            ASSERT_TRUE(wrong.first == rounded.end())
                << "total " << total << ", sum " << sums[wrong.first - rounded.begin()] << ": "
                << int{*wrong.first} << " instead of " << int{*wrong.second};
        }
    }
}

TEST(ScaleImage, HugeRectanglesCostOnlyWhatIsDrawn) {
    // A rectangle far larger than the target (only a corner drawn) and a source rectangle far
    // beyond the source (its border repeated) are planned over what is drawn and read.
    std::mt19937 random(5);
    const FrameImage source = randomImage(13, 11, random);
    FrameImage target(8, 6);
    FrameImage expected(8, 6);
    const PixelRect from{-500000000, 3, 1000000007, 5};
    const PixelRect to{-3, -2, 2000000000, 1000000000};
    scaleImageInto(source, from, target, to);
    // Every drawn pixel lies in the left half of the source rectangle: the left border
    // column, rows 3 .. 7 spread over a billion target rows.
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            ASSERT_EQ(target.pixel(x, y)[1], source.pixel(0, 3)[1]) << x << " " << y;
        }
    }
}

TEST(ScaleImage, EmptyInputsDrawNothing) {
    EXPECT_TRUE(scaleImage(FrameImage{}, 10, 10).empty());
    EXPECT_TRUE(scaleImage(FrameImage(4, 4), 0, 10).empty());
    FrameImage target(4, 4);
    const FrameImage untouched = target;
    FrameImage white(4, 4);
    std::fill(white.data(), white.data() + white.sizeBytes(), 255);
    scaleImageInto(white, {0, 0, 0, 4}, target, {0, 0, 4, 4});
    scaleImageInto(white, {0, 0, 4, 4}, target, {0, 0, 4, -1});
    scaleImageInto(white, {0, 0, 4, 4}, target, {4, 0, 4, 4});  // wholly outside
    EXPECT_EQ(target, untouched);
}

}  // namespace
}  // namespace zr
