#include "coloring/scale_image.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <type_traits>
#include <vector>

#include "support/thread_pool.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define ZR_SCALE_SSE2 1
#endif
#if ZR_SCALE_SSE2 && defined(__x86_64__)
#include <immintrin.h>
#define ZR_SCALE_AVX2 1
#endif

// The row kernels are inlined into one function per instruction set (see scaleRowsFor).
#define ZR_KERNEL [[gnu::always_inline]] inline

namespace zr {

namespace {

constexpr int kChannels = FrameImage::kBytesPerPixel;

// The weights of one axis. Target index j spans source units [j * S, (j + 1) * S) and source
// index i spans [i * T, (i + 1) * T), with S / T the reduced ratio of the lengths; the weight
// of a source index is the length of the overlap, so the weights of every target index add up
// to S exactly. Only the target indices drawn, from `offset` on, are planned. Each has `taps`
// weights (zeros pad the short ones) starting at source index first[j - offset], so the inner
// loops run a fixed number of times.
struct AxisPlan {
    int offset = 0;
    int taps = 0;
    std::vector<int> first;
    std::vector<std::uint32_t> weights;  // taps per target index
    std::uint64_t weightSum = 0;         // S
    int sourceFirst = 0;                 // lowest and highest source index read
    int sourceLast = 0;

    int firstSource(int j) const { return first[static_cast<std::size_t>(j - offset)]; }
    const std::uint32_t* weightsOf(int j) const {
        return weights.data() + static_cast<std::size_t>(j - offset) * taps;
    }
};

// Plans target indices [begin, end) of a source range of `length` from `start` onto
// `targetLength` indices; the source has `limit` indices, and parts of the range outside it
// repeat its border (their weight goes to the border index).
AxisPlan planAxis(int start, int length, int limit, int targetLength, int begin, int end) {
    const std::int64_t divisor = std::gcd(length, targetLength);
    const std::int64_t unitsPerTarget = length / divisor;        // S
    const std::int64_t unitsPerSource = targetLength / divisor;  // T
    const std::int64_t lowestInside = -std::int64_t{start};      // relative source indices
    const std::int64_t highestInside = std::int64_t{limit} - 1 - start;
    auto sourceIndex = [start, limit](std::int64_t i) {
        return static_cast<int>(std::clamp<std::int64_t>(start + i, 0, limit - 1));
    };
    auto firstCovered = [&](int j) { return j * unitsPerTarget / unitsPerSource; };
    auto lastCovered = [&](int j) { return ((j + 1) * unitsPerTarget - 1) / unitsPerSource; };

    AxisPlan plan;
    plan.offset = begin;
    plan.weightSum = static_cast<std::uint64_t>(unitsPerTarget);
    plan.sourceFirst = sourceIndex(firstCovered(begin));
    plan.sourceLast = sourceIndex(lastCovered(end - 1));
    for (int j = begin; j < end; ++j) {
        plan.taps =
            std::max(plan.taps, sourceIndex(lastCovered(j)) - sourceIndex(firstCovered(j)) + 1);
    }
    plan.first.resize(static_cast<std::size_t>(end - begin));
    plan.weights.assign(static_cast<std::size_t>(end - begin) * plan.taps, 0);
    for (int j = begin; j < end; ++j) {
        // Near the far end the taps start earlier, with zero weights in front.
        const int first = std::min(sourceIndex(firstCovered(j)), plan.sourceLast - plan.taps + 1);
        plan.first[static_cast<std::size_t>(j - begin)] = first;
        std::uint32_t* weights =
            plan.weights.data() + static_cast<std::size_t>(j - begin) * plan.taps;
        const std::int64_t low = j * unitsPerTarget;
        const std::int64_t high = low + unitsPerTarget;
        // Coverage before the source's first index or after its last one: the border pixel.
        const std::int64_t before =
            std::clamp<std::int64_t>(lowestInside * unitsPerSource - low, 0, unitsPerTarget);
        const std::int64_t after = std::clamp<std::int64_t>(
            high - (highestInside + 1) * unitsPerSource, 0, unitsPerTarget);
        if (before > 0) {
            weights[sourceIndex(lowestInside) - first] += static_cast<std::uint32_t>(before);
        }
        if (after > 0) {
            weights[sourceIndex(highestInside) - first] += static_cast<std::uint32_t>(after);
        }
        const std::int64_t insideFirst = std::max(firstCovered(j), lowestInside);
        const std::int64_t insideLast = std::min(lastCovered(j), highestInside);
        for (std::int64_t i = insideFirst; i <= insideLast; ++i) {
            const std::int64_t covered =
                std::min(high, (i + 1) * unitsPerSource) - std::max(low, i * unitsPerSource);
            weights[sourceIndex(i) - first] += static_cast<std::uint32_t>(covered);
        }
    }
    return plan;
}

// A pixel sum is at most 255 * S_x * S_y, and the rounding adds half of S_x * S_y: integer
// sums are exact while 255.5 * S_x * S_y stays below 2^31. Beyond that the sums are taken in
// double precision, still exact below 2^53.
constexpr std::uint64_t kIntegerWeightLimit = ((std::uint64_t{1} << 32) - 1) / 511;

// The most source rows a target row of the AVX2 vertical pass (sumColumnsAvx2) takes.
constexpr int kFusedRows = 8;

struct ScaleJob {
    const FrameImage* source;
    FrameImage* target;
    const AxisPlan* columns;
    const AxisPlan* rows;
    int targetLeft;  // target position of plan index 0
    int targetTop;
    int visibleLeft;  // plan indices drawn
    int visibleRight;
    // With integer sums and 16-bit weights: per target column the weights spread over the
    // lanes of the pixels they multiply (see shortLanes and wideLanes), and per drawn column
    // the index of its first tap's vertical sums.
    const std::uint16_t* laneWeights;
    const std::uint32_t* firstSums;
    bool signedShortLanes;  // the lane weights of 16-bit sums are those of sumRowShortAvx2
};

// Whether the AVX2 horizontal pass over 16-bit vertical sums serves: its weights are taken as
// signed 16-bit numbers.
bool signedShortLanes(const AxisPlan& columns, bool avx2) {
    return avx2 && columns.weightSum <= 0x7FFF;
}

// The lane weights of drawn column `index` (counted from visibleLeft) come in pairs of columns,
// so that one 256-bit load takes two columns' weights. With 16-bit vertical sums and 2 or 3
// taps a pair has 32 lanes: the first column's taps 0 and 1 (eight lanes: w0 w0 w0 w1 w1 w1 for
// sumRowShortVector, w0 w1 w0 w1 w0 w1 for sumRowShortAvx2), the second's, then the first
// column's tap 2 (w2 w2 w2, or w2 0 w2 0 w2 0), the second's.
constexpr std::size_t kShortPair = 32;
constexpr std::size_t kShortThirdTap = 16;  // from a column's first lanes to those of its tap 2
constexpr std::size_t shortLanes(std::size_t index) {
    return index / 2 * kShortPair + index % 2 * 8;
}

// With 32-bit vertical sums, per tap eight lanes a column, the two columns of a pair side by
// side: for the AVX2 kernels the weight as a 32-bit number in lanes 0-1, 2-3 and 4-5, for the
// others in each 16-bit lane 0-5 (the halves of three channels).
constexpr std::size_t kWideNextTap = 16;
constexpr std::size_t wideLanes(std::size_t index, int taps) {
    return index / 2 * static_cast<std::size_t>(taps) * kWideNextTap + index % 2 * 8;
}

constexpr std::size_t drawnColumns(const ScaleJob& job) {
    return static_cast<std::size_t>(job.visibleRight - job.visibleLeft);
}

// Sum over the taps of one target pixel; Taps > 0 fixes the count at compile time.
template <int Taps, typename Column, typename Sum>
ZR_KERNEL void sumPixel(const Column* sums, const std::uint32_t* weights, int taps, Sum* out) {
    Sum blue = 0;
    Sum green = 0;
    Sum red = 0;
    const int count = Taps > 0 ? Taps : taps;
    for (int k = 0; k < count; ++k) {
        const Sum weight = static_cast<Sum>(weights[k]);
        blue += weight * static_cast<Sum>(sums[k * kChannels]);
        green += weight * static_cast<Sum>(sums[k * kChannels + 1]);
        red += weight * static_cast<Sum>(sums[k * kChannels + 2]);
    }
    out[0] = blue;
    out[1] = green;
    out[2] = red;
}

template <int Taps, typename Column, typename Sum>
ZR_KERNEL void sumRow(const ScaleJob& job, const Column* columnSums, Sum* pixelSums) {
    const AxisPlan& columns = *job.columns;
    for (int j = job.visibleLeft; j < job.visibleRight; ++j) {
        const Column* sums =
            columnSums +
            static_cast<std::size_t>(columns.firstSource(j) - columns.sourceFirst) * kChannels;
        sumPixel<Taps>(sums, columns.weightsOf(j), columns.taps,
                       pixelSums + static_cast<std::size_t>(j - job.visibleLeft) * kChannels);
    }
}

#if ZR_SCALE_SSE2
// The horizontal pass over 16-bit vertical sums, eight lanes at a time, for drawn columns
// [begin, end). Taps 0 and 1 of a target pixel are lanes 0-2 and 3-5 of one load, tap 2 lanes
// 0-2 of a second load; products are widened to 32 bits and the pixels' three lanes added up.
// Each store writes a fourth, unused lane that the next pixel (or the buffer's spare element)
// takes.
template <int Taps>
ZR_KERNEL void sumRowShortVector(const ScaleJob& job, const std::uint16_t* columnSums,
                                 std::int32_t* pixelSums, std::size_t begin, std::size_t end) {
    const std::uint32_t* firstSums = job.firstSums;
    for (std::size_t i = begin; i < end; ++i) {
        const std::uint16_t* sums = columnSums + firstSums[i];
        const std::uint16_t* weights = job.laneWeights + shortLanes(i);
        const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums));
        const __m128i weight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights));
        const __m128i low = _mm_mullo_epi16(values, weight);
        const __m128i high = _mm_mulhi_epu16(values, weight);
        const __m128i first = _mm_unpacklo_epi16(low, high);   // b0 g0 r0 b1
        const __m128i second = _mm_unpackhi_epi16(low, high);  // g1 r1 0 0
        __m128i sum = _mm_add_epi32(
            first, _mm_or_si128(_mm_srli_si128(first, 12), _mm_slli_si128(second, 4)));
        if constexpr (Taps == 3) {
            const __m128i values2 =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 2 * kChannels));
            const __m128i weight2 =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + kShortThirdTap));
            const __m128i low2 = _mm_mullo_epi16(values2, weight2);
            const __m128i high2 = _mm_mulhi_epu16(values2, weight2);
            sum = _mm_add_epi32(sum, _mm_unpacklo_epi16(low2, high2));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pixelSums + i * kChannels), sum);
    }
}

// The horizontal pass over 32-bit vertical sums below 2^31 with weights below 2^16, one tap
// at a time: the tap's pixel is loaded as four 32-bit lanes and multiplied in 16-bit halves,
// low * w + ((high * w) << 16), which is exact because the products stay below 2^32.
template <int Taps>
ZR_KERNEL void sumRowWideVector(const ScaleJob& job, const std::int32_t* columnSums,
                                std::int32_t* pixelSums) {
    const std::uint32_t* firstSums = job.firstSums;
    const std::size_t count = static_cast<std::size_t>(job.visibleRight - job.visibleLeft);
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t* sums = columnSums + firstSums[i];
        const std::uint16_t* weights = job.laneWeights + wideLanes(i, Taps);
        __m128i sum = _mm_setzero_si128();
        for (int k = 0; k < Taps; ++k) {
            const __m128i values =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + k * kChannels));
            const __m128i weight =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + k * kWideNextTap));
            const __m128i low = _mm_mullo_epi16(values, weight);
            const __m128i high = _mm_slli_epi32(_mm_mulhi_epu16(values, weight), 16);
            sum = _mm_add_epi32(sum, _mm_add_epi32(low, high));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pixelSums + i * kChannels), sum);
    }
}
#endif

// The exact mean, rounded to nearest, of a pixel sum plus half the total, n = sum + total / 2:
// floor(n / total). Adding 0.5 before the multiplication keeps the product at least
// 0.5 / total away from a whole number, far more than its rounding error, so truncating it is
// exact.
template <typename Sum>
ZR_KERNEL std::uint8_t roundedMean(Sum n, double inverse) {
    return static_cast<std::uint8_t>(static_cast<int>((static_cast<double>(n) + 0.5) * inverse));
}

#if ZR_SCALE_AVX2
// Helpers inlined into the AVX2 passes, and the passes over a row: called from the row
// kernels of both instruction sets, only the AVX2 ones take them.
#define ZR_AVX2_KERNEL [[gnu::always_inline, gnu::target("avx2")]] inline
#define ZR_AVX2_PASS [[gnu::target("avx2")]]

// 16 bytes at `low` in the low half, 16 bytes at `high` in the high half.
ZR_AVX2_KERNEL __m256i loadHalves(const void* low, const void* high) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(static_cast<const __m128i*>(low))),
        _mm_loadu_si128(static_cast<const __m128i*>(high)), 1);
}

// Stores the four 32-bit lanes of each half as the sums of two pixels in a row; the second
// store overwrites the first one's unused fourth lane.
ZR_AVX2_KERNEL void storePixelPair(std::int32_t* out, __m256i sums) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(sums));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kChannels),
                     _mm256_extracti128_si256(sums, 1));
}

// The horizontal pass over 16-bit vertical sums with AVX2 and weights below 2^15, two target
// columns a vector (the first in the low half): a byte shuffle puts the sums of taps 0 and 1
// side by side per channel (b0 b1 g0 g1 r0 r1, then two zero lanes), and one of a second load
// tap 2's alone (b2 0 g2 0 r2 0 0 0); a multiply-add of signed pairs (vpmaddwd) then gives each
// channel's sum. The sums are unsigned, so they are taken as v - 2^15 (their top bit flipped)
// and the 2^15 * (w0 + w1 + w2) = 2^15 * S this leaves out is added back: every product and
// pair sum stays inside 32 bits, and the total is exact. Lane weights: per pair of columns the
// first's w0 w1 w0 w1 w0 w1 0 0, the second's, then the first's w2 0 w2 0 w2 0 0 0, the
// second's (see vectorLaneWeights).
ZR_AVX2_KERNEL __m128i sumShortPixel(const std::uint16_t* sums, const std::uint16_t* weights,
                                     bool threeTaps, __m128i firstTaps, __m128i thirdTap,
                                     __m128i flip, __m128i leftOut) {
    const __m128i values = _mm_xor_si128(
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sums)), firstTaps), flip);
    __m128i sum =
        _mm_madd_epi16(values, _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights)));
    if (threeTaps) {
        const __m128i values2 = _mm_xor_si128(
            _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 2 * kChannels)), thirdTap),
            flip);
        sum = _mm_add_epi32(
            sum, _mm_madd_epi16(values2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                             weights + kShortThirdTap))));
    }
    return _mm_add_epi32(sum, leftOut);
}

template <int Taps>
ZR_AVX2_PASS void sumRowShortAvx2(const ScaleJob& job, const std::uint16_t* columnSums,
                                  std::int32_t* pixelSums) {
    // Byte indices of the shuffles; -128 gives a zero byte.
    const __m128i firstTaps =
        _mm_setr_epi8(0, 1, 6, 7, 2, 3, 8, 9, 4, 5, 10, 11, -128, -128, -128, -128);
    const __m128i thirdTap =
        _mm_setr_epi8(0, 1, -128, -128, 2, 3, -128, -128, 4, 5, -128, -128, -128, -128, -128, -128);
    const __m128i flip = _mm_set1_epi16(static_cast<std::int16_t>(0x8000));
    const __m128i leftOut = _mm_set1_epi32(static_cast<std::int32_t>(job.columns->weightSum << 15));
    const __m256i firstTaps2 = _mm256_broadcastsi128_si256(firstTaps);
    const __m256i thirdTap2 = _mm256_broadcastsi128_si256(thirdTap);
    const __m256i flip2 = _mm256_broadcastsi128_si256(flip);
    const __m256i leftOut2 = _mm256_broadcastsi128_si256(leftOut);
    const std::uint32_t* firstSums = job.firstSums;
    const std::uint16_t* weights = job.laneWeights;
    const std::size_t count = drawnColumns(job);
    std::size_t i = 0;
    for (; i + 1 < count; i += 2, weights += kShortPair) {
        const std::uint16_t* sums = columnSums + firstSums[i];
        const std::uint16_t* nextSums = columnSums + firstSums[i + 1];
        const __m256i values =
            _mm256_xor_si256(_mm256_shuffle_epi8(loadHalves(sums, nextSums), firstTaps2), flip2);
        __m256i sum = _mm256_madd_epi16(
            values, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights)));
        if constexpr (Taps == 3) {
            const __m256i values2 = _mm256_xor_si256(
                _mm256_shuffle_epi8(loadHalves(sums + 2 * kChannels, nextSums + 2 * kChannels),
                                    thirdTap2),
                flip2);
            sum = _mm256_add_epi32(
                sum, _mm256_madd_epi16(values2, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(
                                                    weights + kShortThirdTap))));
        }
        storePixelPair(pixelSums + i * kChannels, _mm256_add_epi32(sum, leftOut2));
    }
    if (i < count) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pixelSums + i * kChannels),
                         sumShortPixel(columnSums + firstSums[i], weights, Taps == 3, firstTaps,
                                       thirdTap, flip, leftOut));
    }
}

// The horizontal pass over 32-bit vertical sums two target columns a vector, as
// sumRowShortAvx2 pairs them (lane weights: see wideLanes), with a 32-bit multiply (the products
// stay below 2^31). An odd last column goes alone in a 128-bit vector.
template <int Taps>
ZR_AVX2_PASS void sumRowWideAvx2(const ScaleJob& job, const std::int32_t* columnSums,
                                 std::int32_t* pixelSums) {
    const std::uint32_t* firstSums = job.firstSums;
    const std::uint16_t* weights = job.laneWeights;
    const std::size_t count = static_cast<std::size_t>(job.visibleRight - job.visibleLeft);
    std::size_t i = 0;
    for (; i + 1 < count; i += 2, weights += Taps * kWideNextTap) {
        const std::int32_t* sums = columnSums + firstSums[i];
        const std::int32_t* nextSums = columnSums + firstSums[i + 1];
        __m256i sum = _mm256_setzero_si256();
        for (int k = 0; k < Taps; ++k) {
            const __m256i values = loadHalves(sums + k * kChannels, nextSums + k * kChannels);
            const __m256i weight =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights + k * kWideNextTap));
            sum = _mm256_add_epi32(sum, _mm256_mullo_epi32(values, weight));
        }
        storePixelPair(pixelSums + i * kChannels, sum);
    }
    if (i < count) {
        const std::int32_t* sums = columnSums + firstSums[i];
        __m128i sum = _mm_setzero_si128();
        for (int k = 0; k < Taps; ++k) {
            const __m128i values =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + k * kChannels));
            const __m128i weight =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + k * kWideNextTap));
            sum = _mm_add_epi32(sum, _mm_mullo_epi32(values, weight));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pixelSums + i * kChannels), sum);
    }
}

// Division by a total that is no power of two, 1 < total < 2^24, of numbers n below 2^31 by
// a multiply and a shift: floor(n / total) = floor(n * m / 2^s) with s = 31 + l, l the bits of
// total - 1 (2^(l-1) < total < 2^l), and m = ceil(2^s / total) = (2^s + r) / total, 0 <= r <
// total. Proof: with n = q * total + e, 0 <= e < total, n * m / 2^s = q + e / total +
// n * r / (total * 2^s), and n * r < 2^31 * total <= 2^s makes the last part below 1 / total,
// so the sum stays below q + 1. m < 2^32 (2^s / total < 2^32 / (1 + 2^(1-l)) < 2^32 - 1), so n * m
// fits 64 bits.
struct Reciprocal {
    std::uint64_t multiplier;
    int shift;
};

Reciprocal reciprocalOf(std::uint64_t total) {
    const int shift = 31 + std::bit_width(total - 1);
    return {((std::uint64_t{1} << shift) + total - 1) / total, shift};
}

// The rounded means of 8 pixel sums: floor((sum + half) / total) by the reciprocal, the 64-bit
// products of the even and the odd 32-bit lanes shifted so that each quotient lands in its lane.
ZR_AVX2_KERNEL __m256i roundedMeansOf8(__m256i sums, __m256i half, __m256i multiplier,
                                       __m256i shift, __m256i oddShift) {
    const __m256i n = _mm256_add_epi32(sums, half);
    const __m256i even = _mm256_srlv_epi64(_mm256_mul_epu32(n, multiplier), shift);
    const __m256i odd =
        _mm256_srlv_epi64(_mm256_mul_epu32(_mm256_srli_epi64(n, 32), multiplier), oddShift);
    return _mm256_blend_epi32(even, odd, 0b10101010);
}

// The vertical pass with AVX2 for up to kFusedRows source rows: 16 bytes of the span from every
// row at a time, their weighted sum kept in registers and stored once. 16-bit sums multiply
// 16-bit lanes; 32-bit sums (with row weights below 2^15) take two rows a multiply-add of pairs
// (vpmaddwd): their bytes interleaved and widened to 16 bits give a * wa + b * wb in one step,
// an odd last row paired with weight zero.
template <typename Column>
ZR_AVX2_PASS void sumColumnsAvx2(const ScaleJob& job, int y, Column* columnSums, std::size_t span) {
    const AxisPlan& rows = *job.rows;
    const std::uint32_t* weights = rows.weightsOf(y);
    const std::size_t start = static_cast<std::size_t>(job.columns->sourceFirst) * kChannels;
    const int taps = rows.taps;
    const std::uint8_t* in[kFusedRows + 1] = {};
    std::uint32_t weightOf[kFusedRows + 1] = {};
    for (int k = 0; k < taps; ++k) {
        in[k] = job.source->row(rows.firstSource(y) + k) + start;
        weightOf[k] = weights[k];
    }
    in[taps] = in[taps - 1];
    weightOf[taps] = 0;
    std::size_t i = 0;
    if constexpr (std::is_same_v<Column, std::uint16_t>) {
        __m256i weightLanes[kFusedRows];
        for (int k = 0; k < taps; ++k) {
            weightLanes[k] = _mm256_set1_epi16(static_cast<std::int16_t>(weightOf[k]));
        }
        for (; i + 16 <= span; i += 16) {
            __m256i sum = _mm256_setzero_si256();
            for (int k = 0; k < taps; ++k) {
                const __m256i bytes = _mm256_cvtepu8_epi16(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(in[k] + i)));
                sum = _mm256_add_epi16(sum, _mm256_mullo_epi16(bytes, weightLanes[k]));
            }
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(columnSums + i), sum);
        }
    } else {
        __m256i weightPairs[kFusedRows / 2];
        const int pairs = (taps + 1) / 2;
        for (int p = 0; p < pairs; ++p) {
            weightPairs[p] = _mm256_set1_epi32(
                static_cast<std::int32_t>(weightOf[2 * p] | weightOf[2 * p + 1] << 16));
        }
        for (; i + 16 <= span; i += 16) {
            __m256i low = _mm256_setzero_si256();
            __m256i high = _mm256_setzero_si256();
            for (int p = 0; p < pairs; ++p) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in[2 * p] + i));
                const __m128i b =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(in[2 * p + 1] + i));
                low = _mm256_add_epi32(
                    low, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(a, b)),
                                           weightPairs[p]));
                high = _mm256_add_epi32(
                    high, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpackhi_epi8(a, b)),
                                            weightPairs[p]));
            }
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(columnSums + i), low);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(columnSums + i + 8), high);
        }
    }
    for (; i < span; ++i) {
        std::uint32_t sum = 0;
        for (int k = 0; k < taps; ++k) {
            sum += weightOf[k] * in[k][i];
        }
        columnSums[i] = static_cast<Column>(sum);
    }
}

// The output bytes of `count` pixel sums with a total that is no power of two, 16 at a time;
// the rest as roundedMean does it.
ZR_AVX2_PASS void divideRowAvx2(const std::int32_t* pixelSums, std::size_t count, std::int32_t half,
                                std::uint64_t total, std::uint8_t* out) {
    const Reciprocal reciprocal = reciprocalOf(total);
    const __m256i halfLanes = _mm256_set1_epi32(half);
    const __m256i multiplier = _mm256_set1_epi64x(static_cast<std::int64_t>(reciprocal.multiplier));
    const __m256i shift = _mm256_set1_epi64x(reciprocal.shift);
    const __m256i oddShift = _mm256_set1_epi64x(reciprocal.shift - 32);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m256i first =
            roundedMeansOf8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixelSums + i)),
                            halfLanes, multiplier, shift, oddShift);
        const __m256i second =
            roundedMeansOf8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixelSums + i + 8)),
                            halfLanes, multiplier, shift, oddShift);
        // packs works within halves: 64-bit blocks first 0-3, second 0-3, first 4-7, second 4-7.
        const __m256i words =
            _mm256_permute4x64_epi64(_mm256_packs_epi32(first, second), 0b11011000);
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(out + i),
            _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1)));
    }
    const double inverseDouble = 1.0 / static_cast<double>(total);
    for (; i < count; ++i) {
        out[i] = roundedMean(pixelSums[i] + half, inverseDouble);
    }
}
#endif
#if ZR_SCALE_SSE2
// The horizontal pass over 32-bit vertical sums with the vector kernels.
template <int Taps, bool Avx2>
ZR_KERNEL void sumRowWide(const ScaleJob& job, const std::int32_t* columnSums,
                          std::int32_t* pixelSums) {
#if ZR_SCALE_AVX2
    if constexpr (Avx2) {
        sumRowWideAvx2<Taps>(job, columnSums, pixelSums);
        return;
    }
#endif
    sumRowWideVector<Taps>(job, columnSums, pixelSums);
}
#endif

template <typename Column, typename Sum, bool Avx2>
ZR_KERNEL void horizontalPass(const ScaleJob& job, const Column* columnSums, Sum* pixelSums) {
#if ZR_SCALE_SSE2
    if constexpr (std::is_same_v<Column, std::uint16_t> && std::is_same_v<Sum, std::int32_t>) {
        if (job.laneWeights != nullptr) {
            const bool threeTaps = job.columns->taps == 3;
#if ZR_SCALE_AVX2
            if (Avx2 && job.signedShortLanes) {
                if (threeTaps) {
                    sumRowShortAvx2<3>(job, columnSums, pixelSums);
                } else {
                    sumRowShortAvx2<2>(job, columnSums, pixelSums);
                }
                return;
            }
#endif
            if (threeTaps) {
                sumRowShortVector<3>(job, columnSums, pixelSums, 0, drawnColumns(job));
            } else {
                sumRowShortVector<2>(job, columnSums, pixelSums, 0, drawnColumns(job));
            }
            return;
        }
    }
    if constexpr (std::is_same_v<Column, std::int32_t> && std::is_same_v<Sum, std::int32_t>) {
        if (job.laneWeights != nullptr) {
            switch (job.columns->taps) {
                case 1:
                    sumRowWide<1, Avx2>(job, columnSums, pixelSums);
                    return;
                case 2:
                    sumRowWide<2, Avx2>(job, columnSums, pixelSums);
                    return;
                case 3:
                    sumRowWide<3, Avx2>(job, columnSums, pixelSums);
                    return;
                default:
                    sumRowWide<4, Avx2>(job, columnSums, pixelSums);
                    return;
            }
        }
    }
#endif
    switch (job.columns->taps) {
        case 1:
            sumRow<1>(job, columnSums, pixelSums);
            break;
        case 2:
            sumRow<2>(job, columnSums, pixelSums);
            break;
        case 3:
            sumRow<3>(job, columnSums, pixelSums);
            break;
        case 4:
            sumRow<4>(job, columnSums, pixelSums);
            break;
        default:
            sumRow<0>(job, columnSums, pixelSums);
            break;
    }
}

// The output bytes of one row of pixel sums: their exact means rounded to nearest.
template <typename Sum, bool Avx2>
ZR_KERNEL void dividePass(const Sum* pixelSums, std::size_t count, Sum half, std::uint64_t total,
                          std::uint8_t* out) {
    if constexpr (std::is_integral_v<Sum>) {
        // A total that is a power of two (whole-factor reductions) divides by a shift.
        if (std::has_single_bit(total)) {
            const int shift = std::countr_zero(total);
            for (std::size_t i = 0; i < count; ++i) {
                out[i] = static_cast<std::uint8_t>((pixelSums[i] + half) >> shift);
            }
            return;
        }
#if ZR_SCALE_AVX2
        if constexpr (Avx2) {
            divideRowAvx2(pixelSums, count, half, total, out);
            return;
        }
#endif
    }
    const double inverse = 1.0 / static_cast<double>(total);
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = roundedMean(pixelSums[i] + half, inverse);
    }
}

// The first drawn byte of plan row y in the target.
ZR_KERNEL std::uint8_t* outputRow(const ScaleJob& job, int y) {
    return job.target->row(job.targetTop + y) +
           static_cast<std::size_t>(job.targetLeft + job.visibleLeft) * kChannels;
}

// Column is the type of the vertical sums (16 bits where they fit), Sum that of the pixel sums;
// Avx2 picks the kernels written for 256-bit vectors.
template <typename Column, typename Sum, bool Avx2>
ZR_KERNEL void scaleRows(const ScaleJob& job, int rowBegin, int rowEnd) {
    const AxisPlan& columns = *job.columns;
    const AxisPlan& rows = *job.rows;
    const std::size_t span =
        static_cast<std::size_t>(columns.sourceLast - columns.sourceFirst + 1) * kChannels;
    const std::size_t drawn =
        static_cast<std::size_t>(job.visibleRight - job.visibleLeft) * kChannels;
    // Spare elements for the vector loads and stores past the last pixel.
    std::vector<Column> columnBuffer(span + 8);
    std::vector<Sum> pixelBuffer(drawn + 4);
    Column* columnSums = columnBuffer.data();
    Sum* pixelSums = pixelBuffer.data();
    const std::uint64_t total = columns.weightSum * rows.weightSum;
    const Sum half = static_cast<Sum>(total / 2);
    // The fused AVX2 vertical pass: few enough rows, and for 32-bit sums weights below 2^15.
    [[maybe_unused]] const bool fusedRows =
        rows.taps <= kFusedRows && (sizeof(Column) == 2 || rows.weightSum <= 0x7FFF);

    for (int y = rowBegin; y < rowEnd; ++y) {
        // Vertical pass: the weighted sum of the source rows over every column read.
#if ZR_SCALE_AVX2
        if constexpr (Avx2 && std::is_integral_v<Column>) {
            if (fusedRows) {
                sumColumnsAvx2(job, y, columnSums, span);
                horizontalPass<Column, Sum, Avx2>(job, columnSums, pixelSums);
                dividePass<Sum, Avx2>(pixelSums, drawn, half, total, outputRow(job, y));
                continue;
            }
        }
#endif
        const std::uint32_t* rowWeights = rows.weightsOf(y);
        for (int k = 0; k < rows.taps; ++k) {
            const Column weight = static_cast<Column>(rowWeights[k]);
            const std::uint8_t* in = job.source->row(rows.firstSource(y) + k) +
                                     static_cast<std::size_t>(columns.sourceFirst) * kChannels;
            if (k == 0) {
                for (std::size_t i = 0; i < span; ++i) {
                    columnSums[i] = static_cast<Column>(weight * static_cast<Column>(in[i]));
                }
            } else if (weight != 0) {
                for (std::size_t i = 0; i < span; ++i) {
                    columnSums[i] =
                        static_cast<Column>(columnSums[i] + weight * static_cast<Column>(in[i]));
                }
            }
        }
        horizontalPass<Column, Sum, Avx2>(job, columnSums, pixelSums);
        dividePass<Sum, Avx2>(pixelSums, drawn, half, total, outputRow(job, y));
    }
}

// The row kernels compiled for the processor: with AVX2 where it has it. Both give the same
// bytes: the same exact sums, and exact divisions.
template <typename Column, typename Sum>
void scaleRowsBaseline(const ScaleJob& job, int rowBegin, int rowEnd) {
    scaleRows<Column, Sum, false>(job, rowBegin, rowEnd);
}

#if ZR_SCALE_AVX2
template <typename Column, typename Sum>
[[gnu::target("avx2")]] void scaleRowsAvx2(const ScaleJob& job, int rowBegin, int rowEnd) {
    scaleRows<Column, Sum, true>(job, rowBegin, rowEnd);
}
#endif

void roundedMeansBaseline(const std::int32_t* pixelSums, std::size_t count, std::uint64_t total,
                          std::uint8_t* out) {
    dividePass<std::int32_t, false>(pixelSums, count, static_cast<std::int32_t>(total / 2), total,
                                    out);
}

#if ZR_SCALE_AVX2
[[gnu::target("avx2")]] void roundedMeansAvx2(const std::int32_t* pixelSums, std::size_t count,
                                              std::uint64_t total, std::uint8_t* out) {
    dividePass<std::int32_t, true>(pixelSums, count, static_cast<std::int32_t>(total / 2), total,
                                   out);
}
#endif

// Whether the AVX2 kernels serve: asked for, and the processor has AVX2.
bool avx2Kernels(detail::ScaleKernels kernels) {
#if ZR_SCALE_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 && kernels == detail::ScaleKernels::best;
#else
    (void)kernels;
    return false;
#endif
}

template <typename Column, typename Sum>
auto scaleRowsFor(bool avx2) {
#if ZR_SCALE_AVX2
    if (avx2) {
        return &scaleRowsAvx2<Column, Sum>;
    }
#endif
    (void)avx2;
    return &scaleRowsBaseline<Column, Sum>;
}

// When every target index lies within one source index on both axes (the same size, or a whole
// factor larger), each target pixel is a source pixel: the rows are copied, and a target row
// that repeats the source row of the one above copies that.
//
// Columns that are not consecutive (enlargements) go by byte shuffles where the processor has
// AVX2: each 16 target bytes whose source bytes lie within 16 bytes of the source row (as in
// enlargements, where each source pixel comes once or more in turn) are one load at `loadAt`
// and a shuffle by `order`; the others (kScalarChunk) and the last bytes go one by one.
constexpr std::uint32_t kScalarChunk = ~std::uint32_t{0};

struct ShufflePlan {
    std::vector<std::uint32_t> loadAt;  // per 16 target bytes
    std::vector<std::uint8_t> order;    // 16 per 16 target bytes
};

struct CopyJob {
    const FrameImage* source;
    FrameImage* target;
    std::vector<int> sourceColumns;  // per drawn target column
    std::vector<int> sourceRows;     // per drawn target row, from firstRow on
    int firstRow;                    // plan index of sourceRows[0]
    int targetLeft;                  // target position of the first drawn column
    int targetTop;                   // target position of plan index 0
    bool contiguous;                 // the columns are consecutive source columns
    ShufflePlan shuffles;            // empty without AVX2 or when contiguous
};

// The source row byte that target row byte `index` (from the first drawn column) copies.
std::size_t sourceByte(const std::vector<int>& sourceColumns, std::size_t index) {
    return static_cast<std::size_t>(sourceColumns[index / kChannels]) * kChannels +
           index % kChannels;
}

ShufflePlan planShuffles(const std::vector<int>& sourceColumns, int sourceWidth) {
    ShufflePlan plan;
    const std::size_t chunks = sourceColumns.size() * kChannels / 16;
    const std::size_t rowBytes = static_cast<std::size_t>(sourceWidth) * kChannels;
    plan.loadAt.resize(chunks);
    plan.order.resize(chunks * 16);
    for (std::size_t chunk = 0; chunk < chunks; ++chunk) {
        std::size_t lowest = sourceByte(sourceColumns, chunk * 16);
        std::size_t highest = lowest;
        for (std::size_t index = chunk * 16; index < chunk * 16 + 16; ++index) {
            lowest = std::min(lowest, sourceByte(sourceColumns, index));
            highest = std::max(highest, sourceByte(sourceColumns, index));
        }
        const bool fits = highest - lowest < 16 && lowest + 16 <= rowBytes;
        plan.loadAt[chunk] = fits ? static_cast<std::uint32_t>(lowest) : kScalarChunk;
        for (std::size_t index = chunk * 16; fits && index < chunk * 16 + 16; ++index) {
            plan.order[index] =
                static_cast<std::uint8_t>(sourceByte(sourceColumns, index) - lowest);
        }
    }
    return plan;
}

#if ZR_SCALE_AVX2
ZR_AVX2_PASS void copyRowShuffled(const CopyJob& job, const std::uint8_t* in, std::uint8_t* out) {
    const ShufflePlan& plan = job.shuffles;
    const std::size_t chunks = plan.loadAt.size();
    for (std::size_t chunk = 0; chunk < chunks; ++chunk) {
        if (plan.loadAt[chunk] == kScalarChunk) {
            for (std::size_t index = chunk * 16; index < chunk * 16 + 16; ++index) {
                out[index] = in[sourceByte(job.sourceColumns, index)];
            }
            continue;
        }
        const __m128i bytes =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + plan.loadAt[chunk]));
        const __m128i order =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(plan.order.data() + chunk * 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + chunk * 16),
                         _mm_shuffle_epi8(bytes, order));
    }
    for (std::size_t index = chunks * 16; index < job.sourceColumns.size() * kChannels; ++index) {
        out[index] = in[sourceByte(job.sourceColumns, index)];
    }
}
#endif

void copyRows(const CopyJob& job, int rowBegin, int rowEnd) {
    const std::size_t bytes = job.sourceColumns.size() * kChannels;
    for (int y = rowBegin; y < rowEnd; ++y) {
        std::uint8_t* out = job.target->row(job.targetTop + y) +
                            static_cast<std::size_t>(job.targetLeft) * kChannels;
        const int sourceRow = job.sourceRows[static_cast<std::size_t>(y - job.firstRow)];
        if (y > rowBegin &&
            job.sourceRows[static_cast<std::size_t>(y - 1 - job.firstRow)] == sourceRow) {
            std::memcpy(out,
                        job.target->row(job.targetTop + y - 1) +
                            static_cast<std::size_t>(job.targetLeft) * kChannels,
                        bytes);
            continue;
        }
        const std::uint8_t* in = job.source->row(sourceRow);
        if (job.contiguous) {
            std::memcpy(out, in + static_cast<std::size_t>(job.sourceColumns[0]) * kChannels,
                        bytes);
            continue;
        }
#if ZR_SCALE_AVX2
        if (!job.shuffles.loadAt.empty()) {
            copyRowShuffled(job, in, out);
            continue;
        }
#endif
        for (const int column : job.sourceColumns) {
            const std::uint8_t* pixel = in + static_cast<std::size_t>(column) * kChannels;
            out[0] = pixel[0];
            out[1] = pixel[1];
            out[2] = pixel[2];
            out += kChannels;
        }
    }
}

// Whether the copy's columns are consecutive source columns, and if not, their shuffles where
// the AVX2 kernels serve.
void planCopyColumns(CopyJob& copy, int sourceWidth, bool avx2) {
    for (std::size_t i = 1; i < copy.sourceColumns.size(); ++i) {
        copy.contiguous =
            copy.contiguous && copy.sourceColumns[i] == copy.sourceColumns[0] + static_cast<int>(i);
    }
    if (!copy.contiguous && avx2) {
        copy.shuffles = planShuffles(copy.sourceColumns, sourceWidth);
    }
}

// The one source index of each target index of a plan whose weights add up to 1.
std::vector<int> onlySources(const AxisPlan& plan, int begin, int end) {
    std::vector<int> sources;
    sources.reserve(static_cast<std::size_t>(end - begin));
    for (int j = begin; j < end; ++j) {
        const std::uint32_t* weights = plan.weightsOf(j);
        const int tap = static_cast<int>(std::find(weights, weights + plan.taps, 1u) - weights);
        sources.push_back(plan.firstSource(j) + tap);
    }
    return sources;
}

}  // namespace

namespace {

// Target indices [begin, end) of a rectangle side of `length` from `start` that lie inside
// [clipBegin, clipEnd); empty when begin >= end.
std::pair<int, int> drawnIndices(int start, int length, std::int64_t clipBegin,
                                 std::int64_t clipEnd) {
    const std::int64_t begin = std::clamp<std::int64_t>(clipBegin - start, 0, length);
    const std::int64_t end = std::clamp<std::int64_t>(clipEnd - start, begin, length);
    return {static_cast<int>(begin), static_cast<int>(end)};
}

// The part of `clip` inside a picture of width x height, as [left, right) and [top, bottom).
struct ClipBounds {
    std::int64_t left;
    std::int64_t right;
    std::int64_t top;
    std::int64_t bottom;
};

ClipBounds clipBounds(PixelRect clip, int width, int height) {
    return {std::max<std::int64_t>(clip.left, 0),
            std::min<std::int64_t>(std::int64_t{clip.left} + clip.width, width),
            std::max<std::int64_t>(clip.top, 0),
            std::min<std::int64_t>(std::int64_t{clip.top} + clip.height, height)};
}

// Source indices that target indices [begin, end) of a side read: the covered range, the parts
// beyond the source taken by its border index.
std::pair<int, int> sourceIndicesRead(int start, int length, int limit, int targetLength, int begin,
                                      int end) {
    const std::int64_t divisor = std::gcd(length, targetLength);
    const std::int64_t unitsPerTarget = length / divisor;
    const std::int64_t unitsPerSource = targetLength / divisor;
    const std::int64_t first = begin * unitsPerTarget / unitsPerSource;
    const std::int64_t last = (end * unitsPerTarget - 1) / unitsPerSource;
    return {static_cast<int>(std::clamp<std::int64_t>(start + first, 0, limit - 1)),
            static_cast<int>(std::clamp<std::int64_t>(start + last, 0, limit - 1)) + 1};
}

}  // namespace

PixelRect sourcePixelsRead(PixelRect sourceRect, int sourceWidth, int sourceHeight,
                           PixelRect targetRect, PixelRect clip) {
    if (sourceWidth <= 0 || sourceHeight <= 0 || sourceRect.width <= 0 || sourceRect.height <= 0 ||
        targetRect.width <= 0 || targetRect.height <= 0) {
        return PixelRect{0, 0, 0, 0};
    }
    const std::int64_t clipRight = std::int64_t{clip.left} + clip.width;
    const std::int64_t clipBottom = std::int64_t{clip.top} + clip.height;
    const auto [left, right] =
        drawnIndices(targetRect.left, targetRect.width, clip.left, clipRight);
    const auto [top, bottom] =
        drawnIndices(targetRect.top, targetRect.height, clip.top, clipBottom);
    if (left >= right || top >= bottom) {
        return PixelRect{0, 0, 0, 0};
    }
    const auto [columnBegin, columnEnd] = sourceIndicesRead(
        sourceRect.left, sourceRect.width, sourceWidth, targetRect.width, left, right);
    const auto [rowBegin, rowEnd] = sourceIndicesRead(sourceRect.top, sourceRect.height,
                                                      sourceHeight, targetRect.height, top, bottom);
    return PixelRect{columnBegin, rowBegin, columnEnd - columnBegin, rowEnd - rowBegin};
}

void scaleImageInto(const FrameImage& source, PixelRect sourceRect, FrameImage& target,
                    PixelRect targetRect, const ThreadShare& threads) {
    scaleImageInto(source, sourceRect, target, targetRect,
                   PixelRect{0, 0, target.width(), target.height()}, threads);
}

// Lane weights for the vector kernels (see shortLanes and wideLanes) of the drawn columns
// [visibleLeft, visibleRight), laid out for the AVX2 kernels or the others; empty when the
// plain kernels serve.
std::vector<std::uint16_t> vectorLaneWeights(const AxisPlan& columns, bool integerSums,
                                             bool shortColumnSums, int visibleLeft,
                                             int visibleRight, bool avx2) {
    std::vector<std::uint16_t> laneWeights;
#if ZR_SCALE_SSE2
    // Whole pairs of columns, the last one's second column unused when their count is odd.
    const std::size_t pairedColumns =
        static_cast<std::size_t>(visibleRight - visibleLeft + 1) / 2 * 2;
    const bool shortWeights = columns.weightSum <= 0xFFFF;  // every weight fits 16 bits
    const bool signedShort = signedShortLanes(columns, avx2);
    if (integerSums && shortColumnSums && shortWeights &&
        (columns.taps == 2 || columns.taps == 3)) {
        laneWeights.assign(pairedColumns * kShortPair / 2, 0);
        for (int j = visibleLeft; j < visibleRight; ++j) {
            const std::uint32_t* weights = columns.weightsOf(j);
            std::uint16_t* lanes =
                laneWeights.data() + shortLanes(static_cast<std::size_t>(j - visibleLeft));
            for (int k = 0; k < columns.taps; ++k) {
                const auto weight = static_cast<std::uint16_t>(weights[k]);
                if (signedShort) {  // w0 w1 w0 w1 w0 w1, and w2 0 w2 0 w2 0
                    std::uint16_t* tapLanes = k < 2 ? lanes + k : lanes + kShortThirdTap;
                    tapLanes[0] = tapLanes[2] = tapLanes[4] = weight;
                } else {  // w0 w0 w0 w1 w1 w1, and w2 w2 w2
                    std::uint16_t* tapLanes =
                        k < 2 ? lanes + k * kChannels : lanes + kShortThirdTap;
                    std::fill(tapLanes, tapLanes + kChannels, weight);
                }
            }
        }
    } else if (integerSums && !shortColumnSums && shortWeights && columns.taps <= 4) {
        laneWeights.assign(pairedColumns * columns.taps * kWideNextTap / 2, 0);
        for (int j = visibleLeft; j < visibleRight; ++j) {
            const std::uint32_t* weights = columns.weightsOf(j);
            std::uint16_t* lanes =
                laneWeights.data() +
                wideLanes(static_cast<std::size_t>(j - visibleLeft), columns.taps);
            for (int k = 0; k < columns.taps; ++k) {
                std::uint16_t* tapLanes = lanes + k * kWideNextTap;
                for (int lane = 0; lane < 2 * kChannels; lane += avx2 ? 2 : 1) {
                    tapLanes[lane] = static_cast<std::uint16_t>(weights[k]);
                }
            }
        }
    }
#else
    (void)columns, (void)integerSums, (void)shortColumnSums, (void)visibleLeft, (void)visibleRight,
        (void)avx2;
#endif
    return laneWeights;
}

// Per drawn column of the vector kernels, the index of its first tap's vertical sums.
std::vector<std::uint32_t> firstTapSums(const AxisPlan& columns, int visibleLeft,
                                        int visibleRight) {
    std::vector<std::uint32_t> firstSums;
    firstSums.reserve(static_cast<std::size_t>(visibleRight - visibleLeft));
    for (int j = visibleLeft; j < visibleRight; ++j) {
        firstSums.push_back(
            static_cast<std::uint32_t>(columns.firstSource(j) - columns.sourceFirst) * kChannels);
    }
    return firstSums;
}

void scaleImageInto(const FrameImage& source, PixelRect sourceRect, FrameImage& target,
                    PixelRect targetRect, PixelRect clip, const ThreadShare& threads) {
    detail::scaleImageIntoWith(detail::ScaleKernels::best, source, sourceRect, target, targetRect,
                               clip, threads);
}

namespace detail {

void scaleImageIntoWith(ScaleKernels kernels, const FrameImage& source, PixelRect sourceRect,
                        FrameImage& target, PixelRect targetRect, PixelRect clip,
                        const ThreadShare& threads) {
    if (source.empty() || target.empty() || sourceRect.width <= 0 || sourceRect.height <= 0 ||
        targetRect.width <= 0 || targetRect.height <= 0) {
        return;
    }
    // Target rows and columns inside the target picture and the clip, as indices into the
    // rectangle.
    const ClipBounds bounds = clipBounds(clip, target.width(), target.height());
    const auto [visibleLeft, visibleRight] =
        drawnIndices(targetRect.left, targetRect.width, bounds.left, bounds.right);
    const auto [visibleTop, visibleBottom] =
        drawnIndices(targetRect.top, targetRect.height, bounds.top, bounds.bottom);
    if (visibleLeft >= visibleRight || visibleTop >= visibleBottom) {
        return;
    }
    FrameImage sourceCopy;  // only when the source is the target itself
    const FrameImage* input = &source;
    if (&source == &target) {
        sourceCopy = source;
        input = &sourceCopy;
    }

    const AxisPlan columns = planAxis(sourceRect.left, sourceRect.width, input->width(),
                                      targetRect.width, visibleLeft, visibleRight);
    const AxisPlan rows = planAxis(sourceRect.top, sourceRect.height, input->height(),
                                   targetRect.height, visibleTop, visibleBottom);
    if (columns.weightSum == 1 && rows.weightSum == 1) {
        CopyJob copy{input,
                     &target,
                     onlySources(columns, visibleLeft, visibleRight),
                     onlySources(rows, visibleTop, visibleBottom),
                     visibleTop,
                     targetRect.left + visibleLeft,
                     targetRect.top,
                     true,
                     {}};
        planCopyColumns(copy, input->width(), avx2Kernels(kernels));
        threads.parallelFor(
            visibleTop, visibleBottom, [&copy](int begin, int end) { copyRows(copy, begin, end); },
            32);
        return;
    }
    const bool integerSums = columns.weightSum * rows.weightSum < kIntegerWeightLimit;
    const bool avx2 = avx2Kernels(kernels);
    const bool shortColumnSums = rows.weightSum * 255 <= 0xFFFF;
    const std::vector<std::uint16_t> laneWeights =
        vectorLaneWeights(columns, integerSums, shortColumnSums, visibleLeft, visibleRight, avx2);
    const std::vector<std::uint32_t> firstSums =
        laneWeights.empty() ? std::vector<std::uint32_t>{}
                            : firstTapSums(columns, visibleLeft, visibleRight);
    const ScaleJob job{input,
                       &target,
                       &columns,
                       &rows,
                       targetRect.left,
                       targetRect.top,
                       visibleLeft,
                       visibleRight,
                       laneWeights.empty() ? nullptr : laneWeights.data(),
                       firstSums.data(),
                       signedShortLanes(columns, avx2)};
    auto run = [&job, integerSums, shortColumnSums, avx2](int begin, int end) {
        if (integerSums && shortColumnSums) {
            scaleRowsFor<std::uint16_t, std::int32_t>(avx2)(job, begin, end);
        } else if (integerSums) {
            scaleRowsFor<std::int32_t, std::int32_t>(avx2)(job, begin, end);
        } else {
            scaleRowsFor<double, double>(avx2)(job, begin, end);
        }
    };

    // Rows are independent: they are shared out in bands of 16, enough to outweigh the buffers
    // each band sets up.
    threads.parallelFor(visibleTop, visibleBottom, run, 16);
}

void roundedMeans(ScaleKernels kernels, const std::int32_t* pixelSums, std::size_t count,
                  std::uint64_t total, std::uint8_t* out) {
#if ZR_SCALE_AVX2
    if (avx2Kernels(kernels)) {
        roundedMeansAvx2(pixelSums, count, total, out);
        return;
    }
#endif
    roundedMeansBaseline(pixelSums, count, total, out);
}

}  // namespace detail

FrameImage scaleImage(const FrameImage& source, int width, int height, const ThreadShare& threads) {
    if (source.empty() || width <= 0 || height <= 0) {
        return FrameImage{};
    }
    FrameImage target(width, height);
    scaleImageInto(source, PixelRect{0, 0, source.width(), source.height()}, target,
                   PixelRect{0, 0, width, height}, threads);
    return target;
}

}  // namespace zr
