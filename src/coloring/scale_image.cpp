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

struct ScaleJob {
    const FrameImage* source;
    FrameImage* target;
    const AxisPlan* columns;
    const AxisPlan* rows;
    int targetLeft;  // target position of plan index 0
    int targetTop;
    int visibleLeft;  // plan indices drawn
    int visibleRight;
    // With 16-bit vertical sums and 2 or 3 horizontal taps: per target column the weights
    // spread over the lanes of the pixels they multiply, 16 a column (see sumRowShortVector).
    const std::uint16_t* laneWeights;
};

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
// The horizontal pass over 16-bit vertical sums, eight lanes at a time. Taps 0 and 1 of a
// target pixel are lanes 0-2 and 3-5 of one load, tap 2 lanes 0-2 of a second load; products
// are widened to 32 bits and the pixels' three lanes added up. Each store writes a fourth,
// unused lane that the next pixel (or the buffer's spare element) takes.
template <int Taps>
ZR_KERNEL void sumRowShortVector(const ScaleJob& job, const std::uint16_t* columnSums,
                                 std::int32_t* pixelSums) {
    const AxisPlan& columns = *job.columns;
    for (int j = job.visibleLeft; j < job.visibleRight; ++j) {
        const std::uint16_t* sums =
            columnSums +
            static_cast<std::size_t>(columns.firstSource(j) - columns.sourceFirst) * kChannels;
        const std::uint16_t* weights =
            job.laneWeights + static_cast<std::size_t>(j - columns.offset) * 16;
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
            const __m128i weight2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + 8));
            const __m128i low2 = _mm_mullo_epi16(values2, weight2);
            const __m128i high2 = _mm_mulhi_epu16(values2, weight2);
            sum = _mm_add_epi32(sum, _mm_unpacklo_epi16(low2, high2));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(
                             pixelSums + static_cast<std::size_t>(j - job.visibleLeft) * kChannels),
                         sum);
    }
}

// The horizontal pass over 32-bit vertical sums below 2^31 with weights below 2^16, one tap
// at a time: the tap's pixel is loaded as four 32-bit lanes and multiplied in 16-bit halves,
// low * w + ((high * w) << 16), which is exact because the products stay below 2^32. Lane
// weights hold each tap's weight in the six 16-bit lanes of its three channels.
template <int Taps>
ZR_KERNEL void sumRowWideVector(const ScaleJob& job, const std::int32_t* columnSums,
                                std::int32_t* pixelSums) {
    const AxisPlan& columns = *job.columns;
    for (int j = job.visibleLeft; j < job.visibleRight; ++j) {
        const std::int32_t* sums =
            columnSums +
            static_cast<std::size_t>(columns.firstSource(j) - columns.sourceFirst) * kChannels;
        const std::uint16_t* weights =
            job.laneWeights + static_cast<std::size_t>(j - columns.offset) * Taps * 8;
        __m128i sum = _mm_setzero_si128();
        for (int k = 0; k < Taps; ++k) {
            const __m128i values =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + k * kChannels));
            const __m128i weight =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + k * 8));
            const __m128i low = _mm_mullo_epi16(values, weight);
            const __m128i high = _mm_slli_epi32(_mm_mulhi_epu16(values, weight), 16);
            sum = _mm_add_epi32(sum, _mm_add_epi32(low, high));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(
                             pixelSums + static_cast<std::size_t>(j - job.visibleLeft) * kChannels),
                         sum);
    }
}
#endif

template <typename Column, typename Sum>
ZR_KERNEL void horizontalPass(const ScaleJob& job, const Column* columnSums, Sum* pixelSums) {
#if ZR_SCALE_SSE2
    if constexpr (std::is_same_v<Column, std::uint16_t> && std::is_same_v<Sum, std::int32_t>) {
        if (job.laneWeights != nullptr) {
            if (job.columns->taps == 3) {
                sumRowShortVector<3>(job, columnSums, pixelSums);
            } else {
                sumRowShortVector<2>(job, columnSums, pixelSums);
            }
            return;
        }
    }
    if constexpr (std::is_same_v<Column, std::int32_t> && std::is_same_v<Sum, std::int32_t>) {
        if (job.laneWeights != nullptr) {
            switch (job.columns->taps) {
                case 1:
                    sumRowWideVector<1>(job, columnSums, pixelSums);
                    return;
                case 2:
                    sumRowWideVector<2>(job, columnSums, pixelSums);
                    return;
                case 3:
                    sumRowWideVector<3>(job, columnSums, pixelSums);
                    return;
                default:
                    sumRowWideVector<4>(job, columnSums, pixelSums);
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

// Column is the type of the vertical sums (16 bits where they fit), Sum that of the pixel sums.
template <typename Column, typename Sum>
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
    const double inverse = 1.0 / static_cast<double>(total);
    // A total that is a power of two (whole-factor reductions) divides by a shift.
    const int shift = std::has_single_bit(total) ? std::countr_zero(total) : -1;

    for (int y = rowBegin; y < rowEnd; ++y) {
        // Vertical pass: the weighted sum of the source rows over every column read.
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
        horizontalPass(job, columnSums, pixelSums);
        // The exact mean, rounded to nearest: floor((sum + total / 2) / total). Adding 0.5
        // before the multiplication keeps the product at least 0.5 / total away from a whole
        // number, far more than its rounding error, so truncating it is exact.
        std::uint8_t* out = job.target->row(job.targetTop + y) +
                            static_cast<std::size_t>(job.targetLeft + job.visibleLeft) * kChannels;
        if constexpr (std::is_integral_v<Sum>) {
            if (shift >= 0) {
                for (std::size_t i = 0; i < drawn; ++i) {
                    out[i] = static_cast<std::uint8_t>((pixelSums[i] + half) >> shift);
                }
                continue;
            }
        }
        for (std::size_t i = 0; i < drawn; ++i) {
            out[i] = static_cast<std::uint8_t>(
                static_cast<int>((static_cast<double>(pixelSums[i] + half) + 0.5) * inverse));
        }
    }
}

// The row kernels compiled for the processor: with AVX2 where it has it. The same integer
// operations on wider vectors: the results are the same.
template <typename Column, typename Sum>
void scaleRowsBaseline(const ScaleJob& job, int rowBegin, int rowEnd) {
    scaleRows<Column, Sum>(job, rowBegin, rowEnd);
}

#if defined(__x86_64__)
template <typename Column, typename Sum>
[[gnu::target("avx2")]] void scaleRowsAvx2(const ScaleJob& job, int rowBegin, int rowEnd) {
    scaleRows<Column, Sum>(job, rowBegin, rowEnd);
}
#endif

template <typename Column, typename Sum>
auto scaleRowsFor() {
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        return &scaleRowsAvx2<Column, Sum>;
    }
#endif
    return &scaleRowsBaseline<Column, Sum>;
}

// When every target index lies within one source index on both axes (the same size, or a whole
// factor larger), each target pixel is a source pixel: the rows are copied, and a target row
// that repeats the source row of the one above copies that.
struct CopyJob {
    const FrameImage* source;
    FrameImage* target;
    std::vector<int> sourceColumns;  // per drawn target column
    std::vector<int> sourceRows;     // per drawn target row, from firstRow on
    int firstRow;                    // plan index of sourceRows[0]
    int targetLeft;                  // target position of the first drawn column
    int targetTop;                   // target position of plan index 0
    bool contiguous;                 // the columns are consecutive source columns
};

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
        for (const int column : job.sourceColumns) {
            const std::uint8_t* pixel = in + static_cast<std::size_t>(column) * kChannels;
            out[0] = pixel[0];
            out[1] = pixel[1];
            out[2] = pixel[2];
            out += kChannels;
        }
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

// Lane weights for the vector kernels (see sumRowShortVector and sumRowWideVector) of the
// drawn columns [visibleLeft, visibleRight); empty when the plain kernels serve.
std::vector<std::uint16_t> vectorLaneWeights(const AxisPlan& columns, bool integerSums,
                                             bool shortColumnSums, int visibleLeft,
                                             int visibleRight) {
    std::vector<std::uint16_t> laneWeights;
#if ZR_SCALE_SSE2
    const int drawnColumns = visibleRight - visibleLeft;
    const bool shortWeights = columns.weightSum <= 0xFFFF;  // every weight fits 16 bits
    if (integerSums && shortColumnSums && shortWeights &&
        (columns.taps == 2 || columns.taps == 3)) {
        laneWeights.assign(static_cast<std::size_t>(drawnColumns) * 16, 0);
        for (int j = visibleLeft; j < visibleRight; ++j) {
            const std::uint32_t* weights = columns.weightsOf(j);
            std::uint16_t* lanes =
                laneWeights.data() + static_cast<std::size_t>(j - visibleLeft) * 16;
            for (int k = 0; k < columns.taps; ++k) {
                const int lane = k < 2 ? k * kChannels : 8;
                std::fill(lanes + lane, lanes + lane + kChannels,
                          static_cast<std::uint16_t>(weights[k]));
            }
        }
    } else if (integerSums && !shortColumnSums && shortWeights && columns.taps <= 4) {
        const std::size_t perColumn = static_cast<std::size_t>(columns.taps) * 8;
        laneWeights.assign(static_cast<std::size_t>(drawnColumns) * perColumn, 0);
        for (int j = visibleLeft; j < visibleRight; ++j) {
            const std::uint32_t* weights = columns.weightsOf(j);
            std::uint16_t* lanes = laneWeights.data() + (j - visibleLeft) * perColumn;
            for (int k = 0; k < columns.taps; ++k) {
                std::fill(lanes + k * 8, lanes + k * 8 + 2 * kChannels,
                          static_cast<std::uint16_t>(weights[k]));
            }
        }
    }
#else
    (void)columns, (void)integerSums, (void)shortColumnSums, (void)visibleLeft, (void)visibleRight;
#endif
    return laneWeights;
}

void scaleImageInto(const FrameImage& source, PixelRect sourceRect, FrameImage& target,
                    PixelRect targetRect, PixelRect clip, const ThreadShare& threads) {
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
                     true};
        for (std::size_t i = 1; i < copy.sourceColumns.size(); ++i) {
            copy.contiguous = copy.contiguous &&
                              copy.sourceColumns[i] == copy.sourceColumns[0] + static_cast<int>(i);
        }
        threads.parallelFor(
            visibleTop, visibleBottom, [&copy](int begin, int end) { copyRows(copy, begin, end); },
            32);
        return;
    }
    const bool integerSums = columns.weightSum * rows.weightSum < kIntegerWeightLimit;
    const bool shortColumnSums = rows.weightSum * 255 <= 0xFFFF;
    const std::vector<std::uint16_t> laneWeights =
        vectorLaneWeights(columns, integerSums, shortColumnSums, visibleLeft, visibleRight);
    const ScaleJob job{
        input,       &target,         &columns,
        &rows,       targetRect.left, targetRect.top,
        visibleLeft, visibleRight,    laneWeights.empty() ? nullptr : laneWeights.data()};
    auto run = [&job, integerSums, shortColumnSums](int begin, int end) {
        if (integerSums && shortColumnSums) {
            scaleRowsFor<std::uint16_t, std::int32_t>()(job, begin, end);
        } else if (integerSums) {
            scaleRowsFor<std::int32_t, std::int32_t>()(job, begin, end);
        } else {
            scaleRowsFor<double, double>()(job, begin, end);
        }
    };

    // Rows are independent: they are shared out in bands of 16, enough to outweigh the buffers
    // each band sets up.
    threads.parallelFor(visibleTop, visibleBottom, run, 16);
}

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
