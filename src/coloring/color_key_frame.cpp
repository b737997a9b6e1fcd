#include "coloring/color_key_frame.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <optional>

#include "coloring/color_math.h"
#include "coloring/slopes.h"
#include "coloring/texture.h"
#include "coloring/waves.h"
#include "settings/setting_types.h"
#include "support/thread_pool.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define ZR_COLOR_SSE2 1
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace zr {

namespace {

// What colorPixel needs besides the plan, worked out once per key frame.
struct PixelRules {
    const ColoringPlan& plan;
    const Palette& palette;
    std::int32_t insideValue;
    double offsetAdded;     // the offset added to the colour index
    double offsetFraction;  // fixed cycling without smoothing: blend of two entries
    bool anyStage;          // texture, long waves or slopes act after the palette
};

// The sum of the four absolute differences of smooth values around a pixel, each taken
// backward where the neighbour exists and forward at the first row or column.
double distanceTerms(const KeyFrame& frame, int x, int y) {
    const int width = frame.width;
    const int height = frame.height;
    const double here = frame.smoothValue(x, y);
    double vertical = 0;
    if (y > 0) {
        vertical = std::fabs(frame.smoothValue(x, y - 1) - here);
    } else if (height > 1) {
        vertical = std::fabs(here - frame.smoothValue(x, 1));
    }
    double diagonal = 0;
    if (x > 0 && y > 0) {
        diagonal = std::fabs(frame.smoothValue(x - 1, y - 1) - here);
    } else if (x < width - 1 && y < height - 1) {
        diagonal = std::fabs(here - frame.smoothValue(x + 1, y + 1));
    }
    double horizontal = 0;
    if (x > 0) {
        horizontal = std::fabs(frame.smoothValue(x - 1, y) - here);
    } else if (width > 1) {
        horizontal = std::fabs(here - frame.smoothValue(1, y));
    }
    double antiDiagonal = 0;
    if (x > 0 && y < height - 1) {
        antiDiagonal = std::fabs(frame.smoothValue(x - 1, y + 1) - here);
    } else if (y > 0 && x < width - 1) {
        antiDiagonal = std::fabs(here - frame.smoothValue(x + 1, y - 1));
    }
    return vertical + diagonal + horizontal + antiDiagonal;
}

// The colour method's value o for the pixel value v. Roots and the logarithm of values <= 0
// give 0; a Stretched range of no width puts values up to its start at 0 and above it at 1024.
double methodValue(const ColoringPlan& plan, const KeyFrame& frame, int x, int y, double v) {
    switch (plan.method) {
        case kSquareRoot:
            return v > 0 ? std::sqrt(v) : 0.0;
        case kCubicRoot:
            return v > 0 ? std::pow(v, 0.3333333333333333) : 0.0;
        case kLogarithm:
            return v > 0 ? std::log(v) : 0.0;
        case kStretched: {
            if (plan.stretchMax == plan.stretchMin) {
                return v > plan.stretchMin ? 1024.0 : 0.0;
            }
            const double q = (v - plan.stretchMin) * 1024 / (plan.stretchMax - plan.stretchMin);
            if (q < 0) {
                return 0.0;
            }
            return q > 1024 ? 1024.0 : q;
        }
        case kDistance:
            return distanceTerms(frame, x, y) * plan.slopeScale * frame.width / 640;
        default:
            return v;
    }
}

// Raises a negative palette position by whole turns of 1024 until it is at least 0. fmod is
// exact, and so is each of the additions but the last, so this gives the same value as adding
// 1024 one turn at a time, however far below 0 the position starts.
double raiseIntoPalette(double t) {
    if (t < 0) {
        t = std::fmod(t, 1024.0);
        if (t < 0) {
            t = t + 1024;
        }
        t += 0.0;  // -0 becomes 0
    }
    return t;
}

constexpr double kIndexLimit = 2147483648.0;  // 2^31: whole parts beyond an int

Bgr blendBytes(const Bgr& a, const Bgr& b, double d) {
    return Bgr{toByte(a.blue * (1 - d) + b.blue * d), toByte(a.green * (1 - d) + b.green * d),
               toByte(a.red * (1 - d) + b.red * d)};
}

// A palette blend of two entries: both weights lie in 0 .. 1 and add up to 1, so the value
// lies in 0 .. 255 and truncates straight into a byte.
inline std::uint8_t blendChannel(std::uint8_t a, std::uint8_t b, float w) {
    return static_cast<std::uint8_t>(static_cast<int>(a * w + b * (1 - w)));
}

// A pixel's count n, smooth value s and colour index t.
struct PixelIndex {
    std::int32_t n;
    double s;
    double t;
};

inline PixelIndex pixelIndex(const PixelRules& rules, const KeyFrame& frame, int x, int y) {
    const ColoringPlan& plan = rules.plan;
    const std::size_t at = static_cast<std::size_t>(y) * frame.width + x;
    const std::int32_t n = frame.counts[at];
    const double s = static_cast<double>(n) + 1.0 - static_cast<double>(frame.fractions[at]);
    const double v = plan.fixedCycling ? static_cast<double>(n) : s;
    const double o = plan.method == kStandard ? v : methodValue(plan, frame, x, y, v);
    const double j = plan.division != 0 ? o / plan.division : o;
    double t = j + rules.offsetAdded;
    // Only a corrupt fraction (not a number, infinite) or an absurd division gets here.
    if (!std::isfinite(t)) {
        t = 0;
    }
    if (plan.waves == nullptr) {
        t = raiseIntoPalette(t);
        if (t >= kIndexLimit) {
            t = std::fmod(t, 1024.0);  // exact: the palette entry and the fraction stay
        }
    }
    return PixelIndex{n, s, t};
}

// The stages after the palette or the waves (texture, long waves, slopes), then the pixel into
// out (blue, green, red).
inline void finishPixel(const PixelRules& rules, const KeyFrame& frame, int x, int y,
                        std::int32_t n, double s, Bgr pixel, std::uint8_t* out) {
    const ColoringPlan& plan = rules.plan;
    if (plan.texture) {
        plan.texture->apply(pixel, x, y, frame);
    }
    if (plan.longWaves && !plan.longWaves->empty() && n != rules.insideValue) {
        plan.longWaves->apply(pixel, s);
    }
    if (plan.slopes) {
        plan.slopes->apply(pixel, x, y, frame);
    }
    out[0] = pixel.blue;
    out[1] = pixel.green;
    out[2] = pixel.red;
}

// Colours pixel (x, y) into out (blue, green, red).
inline void colorPixel(const PixelRules& rules, const KeyFrame& frame, int x, int y,
                       std::uint8_t* out) {
    const ColoringPlan& plan = rules.plan;
    const auto [n, s, t] = pixelIndex(rules, frame, x, y);
    const bool waves = plan.waves != nullptr;
    const double k = std::trunc(t);
    const double f = t - k;
    const float w = static_cast<float>(1 - f);

    Bgr pixel;
    if (n == rules.insideValue) {
        pixel = plan.inside;
    } else if (plan.smooth) {
        if (waves) {
            pixel = plan.waves->color(t, s);
        } else {
            const int index = static_cast<int>(k);
            const Bgr& a = rules.palette[index % kPaletteSize];
            const Bgr& b = rules.palette[(index % kPaletteSize + 1) % kPaletteSize];
            out[0] = blendChannel(a.blue, b.blue, w);
            out[1] = blendChannel(a.green, b.green, w);
            out[2] = blendChannel(a.red, b.red, w);
            if (!rules.anyStage) {
                return;
            }
            pixel = Bgr{out[0], out[1], out[2]};
        }
    } else {
        const bool blendOffset = plan.fixedCycling && plan.cycleOffset != 0;
        if (waves) {
            if (blendOffset) {
                const double whole = static_cast<double>(n);
                pixel = blendBytes(plan.waves->color(k, whole), plan.waves->color(k + 1, whole),
                                   rules.offsetFraction);
            } else {
                pixel = plan.waves->color(k, s);
            }
        } else {
            const int index = static_cast<int>(k);
            pixel = rules.palette[index % kPaletteSize];
            if (blendOffset) {
                pixel = blendBytes(pixel, rules.palette[(index % kPaletteSize + 1) % kPaletteSize],
                                   rules.offsetFraction);
            }
        }
    }

    finishPixel(rules, frame, x, y, n, s, pixel, out);
}

// How the smooth value becomes a colour index: s / division. A division by a power of two
// (1 among them) is a multiplication by its reciprocal, which is exact, so both round the same
// real number and give the same double.
struct IndexScale {
    bool divides = false;  // s / divisor, else s * factor
    double divisor = 1.0;
    double factor = 1.0;
};

IndexScale indexScaleOf(double division) {
    IndexScale scale;
    int exponent = 0;
    if (division == 0) {
        return scale;
    }
    if (std::isfinite(division) && std::frexp(std::fabs(division), &exponent) == 0.5) {
        scale.factor = 1.0 / division;
        return scale;
    }
    scale.divides = true;
    scale.divisor = division;
    return scale;
}

// The smooth values and colour indices of `run` pixels of the Standard method without fixed
// cycling, in a loop without branches; then those outside the set are moved to the front.
// Returns how many are outside.
[[gnu::always_inline]] inline int standardWaveIndices(const PixelRules& rules,
                                                      const std::int32_t* counts,
                                                      const float* fractions, int run,
                                                      const IndexScale& scale, double* smooth,
                                                      double* indices) {
    const double offset = rules.offsetAdded;
    constexpr double kLargest = std::numeric_limits<double>::max();
    for (int i = 0; i < run; ++i) {
        smooth[i] = static_cast<double>(counts[i]) + 1.0 - static_cast<double>(fractions[i]);
    }
    if (scale.divides) {
        for (int i = 0; i < run; ++i) {
            const double t = smooth[i] / scale.divisor + offset;
            indices[i] = std::fabs(t) <= kLargest ? t : 0.0;  // not a number, infinite: 0
        }
    } else {
        for (int i = 0; i < run; ++i) {
            const double t = smooth[i] * scale.factor + offset;
            indices[i] = std::fabs(t) <= kLargest ? t : 0.0;
        }
    }
    int inside = 0;
    for (int i = 0; i < run; ++i) {
        inside += counts[i] == rules.insideValue ? 1 : 0;
    }
    if (inside == 0) {
        return run;
    }
    int outside = 0;
    for (int i = 0; i < run; ++i) {
        smooth[outside] = smooth[i];
        indices[outside] = indices[i];
        outside += counts[i] != rules.insideValue ? 1 : 0;
    }
    return outside;
}

// One row of smooth wave colours: the indices of a run of pixels outside the set first, then
// their colours several at a time, then the later stages pixel by pixel.
[[gnu::always_inline]] inline void colorSmoothWavesRow(const PixelRules& rules,
                                                       const KeyFrame& frame, int y, int left,
                                                       int right, std::uint8_t* out) {
    constexpr int kRun = 256;
    double smooth[kRun];
    double indices[kRun];
    Bgr colors[kRun];
    const std::size_t rowStart = static_cast<std::size_t>(y) * frame.width;
    const std::int32_t* counts = frame.counts.data() + rowStart;
    const bool standardIndex = rules.plan.method == kStandard && !rules.plan.fixedCycling;
    const IndexScale scale = indexScaleOf(rules.plan.division);
    for (int first = left; first < right; first += kRun) {
        const int end = std::min(first + kRun, right);
        int outside = 0;
        if (standardIndex) {
            outside = standardWaveIndices(rules, counts + first,
                                          frame.fractions.data() + rowStart + first, end - first,
                                          scale, smooth, indices);
        } else {
            for (int x = first; x < end; ++x) {
                if (counts[x] != rules.insideValue) {
                    const PixelIndex index = pixelIndex(rules, frame, x, y);
                    smooth[outside] = index.s;
                    indices[outside] = index.t;
                    ++outside;
                }
            }
        }
        rules.plan.waves->colors(indices, smooth, outside, colors);
        if (!rules.anyStage && outside == end - first) {
            std::memcpy(out, colors, sizeof(Bgr) * static_cast<std::size_t>(outside));
            out += FrameImage::kBytesPerPixel * outside;
            continue;
        }
        int next = 0;
        for (int x = first; x < end; ++x, out += FrameImage::kBytesPerPixel) {
            const std::int32_t n = counts[x];
            const bool inside = n == rules.insideValue;
            const Bgr pixel = inside ? rules.plan.inside : colors[next];
            if (!rules.anyStage) {
                out[0] = pixel.blue;
                out[1] = pixel.green;
                out[2] = pixel.red;
            } else {
                // The long waves, the only stage that reads s, leave the inside alone.
                finishPixel(rules, frame, x, y, n, inside ? 0.0 : smooth[next], pixel, out);
            }
            next += inside ? 0 : 1;
        }
    }
}

// The wave rows compiled for the processor: with AVX2 where it has it (the index loops on wider
// vectors, the same operations: the same values).
using SmoothWavesRow = void (*)(const PixelRules&, const KeyFrame&, int, int, int, std::uint8_t*);

void colorSmoothWavesRowBaseline(const PixelRules& rules, const KeyFrame& frame, int y, int left,
                                 int right, std::uint8_t* out) {
    colorSmoothWavesRow(rules, frame, y, left, right, out);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] void colorSmoothWavesRowAvx2(const PixelRules& rules, const KeyFrame& frame,
                                                     int y, int left, int right,
                                                     std::uint8_t* out) {
    colorSmoothWavesRow(rules, frame, y, left, right, out);
}
#endif

SmoothWavesRow smoothWavesRowKernel() {
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        return &colorSmoothWavesRowAvx2;
    }
#endif
    return &colorSmoothWavesRowBaseline;
}

// The palette as floats, four to an entry, so that the smooth blend of a pixel's two entries
// is a few vector operations. Bytes convert to float exactly: the results are those of the
// byte formula. One entry more holds the inside colour: a pixel inside the set blends it with
// itself at weight 1, which gives the colour exactly (its value times 1 plus 0).
struct alignas(16) FloatColor {
    float channel[4];
};
constexpr int kInsideEntry = kPaletteSize;
using FloatPalette = std::array<FloatColor, kPaletteSize + 1>;

FloatColor floatColor(const Bgr& color) {
    return FloatColor{{static_cast<float>(color.blue), static_cast<float>(color.green),
                       static_cast<float>(color.red), 0.0f}};
}

FloatPalette floatPalette(const std::array<Bgr, kPaletteSize>& palette, const Bgr& inside) {
    FloatPalette floats{};
    for (int i = 0; i < kPaletteSize; ++i) {
        floats[i] = floatColor(palette[i]);
    }
    floats[kInsideEntry] = floatColor(inside);
    return floats;
}

// A run of pixels of the smooth Standard colouring: per pixel the entry that weighs w, the
// entry that weighs 1 - w, and w.
constexpr int kRun = 256;
struct BlendRun {
    std::int32_t first[kRun];
    std::int32_t second[kRun];
    float weight[kRun];
};

// The entries and weights of `run` pixels, in loops of plain arithmetic that the compiler
// vectorises. Indices outside 0 .. 2^31 (a negative offset, a corrupt value) are brought into
// the palette one at a time; a run rarely has any.
[[gnu::always_inline]] inline void prepareBlendRun(const std::int32_t* counts,
                                                   const float* fractions, int run,
                                                   std::int32_t inside, const IndexScale& scale,
                                                   double offset, BlendRun& blend) {
    const auto indexOf = [&scale, offset, counts, fractions](int i) {
        const double s = static_cast<double>(counts[i]) + 1.0 - static_cast<double>(fractions[i]);
        return (scale.divides ? s / scale.divisor : s * scale.factor) + offset;
    };
    double indices[kRun];
    int outside = 0;
    if (scale.divides) {
        for (int i = 0; i < run; ++i) {
            const double s =
                static_cast<double>(counts[i]) + 1.0 - static_cast<double>(fractions[i]);
            const double t = s / scale.divisor + offset;
            const bool usable = (t >= 0) & (t < kIndexLimit);
            outside |= static_cast<int>(!usable);
            indices[i] = usable ? t : 0.0;
        }
    } else {
        for (int i = 0; i < run; ++i) {
            const double s =
                static_cast<double>(counts[i]) + 1.0 - static_cast<double>(fractions[i]);
            const double t = s * scale.factor + offset;
            const bool usable = (t >= 0) & (t < kIndexLimit);
            outside |= static_cast<int>(!usable);
            indices[i] = usable ? t : 0.0;
        }
    }
    for (int i = 0; outside != 0 && i < run; ++i) {
        double t = indexOf(i);
        if (!(t >= 0 && t < kIndexLimit)) {
            t = std::isfinite(t) ? raiseIntoPalette(t) : 0.0;
            if (t >= kIndexLimit) {
                t = std::fmod(t, 1024.0);
            }
            indices[i] = t;
        }
    }
    for (int i = 0; i < run; ++i) {
        const double t = indices[i];
        const int k = static_cast<int>(t);
        blend.first[i] = k;
        blend.weight[i] = static_cast<float>(1 - (t - k));
    }
    for (int i = 0; i < run; ++i) {
        const bool in = counts[i] == inside;
        const int entry = blend.first[i] & (kPaletteSize - 1);
        blend.first[i] = in ? kInsideEntry : entry;
        blend.second[i] = in ? kInsideEntry : (entry + 1) & (kPaletteSize - 1);
        blend.weight[i] = in ? 1.0f : blend.weight[i];
    }
}

// Pixel i of a run into out: the two entries' channels times their weights, truncated.
[[gnu::always_inline]] inline void blendPixel(const FloatPalette& palette, const BlendRun& blend,
                                              int i, bool lastOfRow, std::uint8_t* out) {
    const float w = blend.weight[i];
    const float rest = 1 - w;
    const FloatColor& a = palette[blend.first[i]];
    const FloatColor& b = palette[blend.second[i]];
#if ZR_COLOR_SSE2
    // The same products and sum for the four lanes at once; the fourth lane is 0.
    const __m128 value = _mm_add_ps(_mm_mul_ps(_mm_load_ps(a.channel), _mm_set1_ps(w)),
                                    _mm_mul_ps(_mm_load_ps(b.channel), _mm_set1_ps(rest)));
    const __m128i whole = _mm_cvttps_epi32(value);
    const __m128i words = _mm_packs_epi32(whole, whole);
    const auto packed =
        static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
    std::memcpy(out, &packed, lastOfRow ? 3 : 4);  // the next pixel overwrites the fourth byte
#else
    (void)lastOfRow;
    for (int c = 0; c < 3; ++c) {
        out[c] =
            static_cast<std::uint8_t>(static_cast<int>(a.channel[c] * w + b.channel[c] * rest));
    }
#endif
}

// One row of the smooth Standard colouring without any later stage: the common case, kept
// free of everything the other options need. BlendPixels colours the pixels of a run from
// `from` on and returns how far it got; blendPixel does the rest.
template <typename BlendPixels>
[[gnu::always_inline]] inline void colorStandardSmoothRow(const PixelRules& rules,
                                                          const FloatPalette& palette,
                                                          const KeyFrame& frame, int y, int left,
                                                          int right, std::uint8_t* out,
                                                          BlendPixels blendPixels) {
    const int width = right - left;
    const std::size_t rowStart = static_cast<std::size_t>(y) * frame.width + left;
    const std::int32_t* counts = frame.counts.data() + rowStart;
    const float* fractions = frame.fractions.data() + rowStart;
    const IndexScale scale = indexScaleOf(rules.plan.division);
    BlendRun blend;
    for (int first = 0; first < width; first += kRun) {
        const int run = std::min(kRun, width - first);
        prepareBlendRun(counts + first, fractions + first, run, rules.insideValue, scale,
                        rules.offsetAdded, blend);
        const int following = width - first - run;  // pixels of the row after the run
        int i = blendPixels(palette, blend, run, following, out);
        out += FrameImage::kBytesPerPixel * i;
        for (; i < run; ++i, out += FrameImage::kBytesPerPixel) {
            blendPixel(palette, blend, i, following == 0 && i + 1 == run, out);
        }
    }
}

// The row colouring compiled for the processor: with AVX2 where it has it (eight pixels at a
// time, the same operations on each, no fused multiply-adds: the same bytes).
using StandardSmoothRow = void (*)(const PixelRules&, const FloatPalette&, const KeyFrame&, int,
                                   int, int, std::uint8_t*);

void colorStandardSmoothRowBaseline(const PixelRules& rules, const FloatPalette& palette,
                                    const KeyFrame& frame, int y, int left, int right,
                                    std::uint8_t* out) {
    colorStandardSmoothRow(
        rules, palette, frame, y, left, right, out,
        [](const FloatPalette&, const BlendRun&, int, int, std::uint8_t*) { return 0; });
}

#if defined(__x86_64__)
// Two pixels' four channels, a + b weighed by the lanes' weights in `weights`.
[[gnu::target("avx2")]] inline __m256 blendPair(const FloatPalette& palette, const BlendRun& blend,
                                                int i, __m256 weights) {
    const __m256 a =
        _mm256_loadu2_m128(palette[blend.first[i + 1]].channel, palette[blend.first[i]].channel);
    const __m256 b =
        _mm256_loadu2_m128(palette[blend.second[i + 1]].channel, palette[blend.second[i]].channel);
    const __m256 rest = _mm256_sub_ps(_mm256_set1_ps(1.0f), weights);
    return _mm256_add_ps(_mm256_mul_ps(a, weights), _mm256_mul_ps(b, rest));
}

// Pixels of a run eight at a time, as long as two more pixels of the row follow (the stores
// write four bytes past the eighth pixel, which the next pixels overwrite).
[[gnu::target("avx2")]] int blendPixelsAvx2(const FloatPalette& palette, const BlendRun& blend,
                                            int run, int following, std::uint8_t* out) {
    const int limit = std::min(run, run + following - 2);
    const __m128i dropFourth =
        _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int i = 0;
    for (; i + 8 <= limit; i += 8, out += 8 * FrameImage::kBytesPerPixel) {
        const __m256 weights = _mm256_loadu_ps(blend.weight + i);
        __m256i whole[4];
        for (int pair = 0; pair < 4; ++pair) {
            const __m256i lanes =
                _mm256_setr_epi32(2 * pair, 2 * pair, 2 * pair, 2 * pair, 2 * pair + 1,
                                  2 * pair + 1, 2 * pair + 1, 2 * pair + 1);
            const __m256 value =
                blendPair(palette, blend, i + 2 * pair, _mm256_permutevar8x32_ps(weights, lanes));
            whole[pair] = _mm256_cvttps_epi32(value);
        }
        // Low halves hold pixels 0 2 4 6, high halves 1 3 5 7, four bytes each.
        const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(whole[0], whole[1]),
                                                  _mm256_packs_epi32(whole[2], whole[3]));
        const __m128i even = _mm256_castsi256_si128(bytes);
        const __m128i odd = _mm256_extracti128_si256(bytes, 1);
        const __m128i low = _mm_shuffle_epi8(_mm_unpacklo_epi32(even, odd), dropFourth);
        const __m128i high = _mm_shuffle_epi8(_mm_unpackhi_epi32(even, odd), dropFourth);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), high);
    }
    return i;
}

[[gnu::target("avx2")]] void colorStandardSmoothRowAvx2(const PixelRules& rules,
                                                        const FloatPalette& palette,
                                                        const KeyFrame& frame, int y, int left,
                                                        int right, std::uint8_t* out) {
    colorStandardSmoothRow(rules, palette, frame, y, left, right, out, &blendPixelsAvx2);
}
#endif

StandardSmoothRow standardSmoothRowKernel() {
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        return &colorStandardSmoothRowAvx2;
    }
#endif
    return &colorStandardSmoothRowBaseline;
}

}  // namespace

bool colorKeyFrameInto(const KeyFrame& frame, const ColoringPlan& plan, FrameImage& image,
                       PixelRect region, const ThreadShare& threads) {
    const int width = frame.width;
    const int height = frame.height;
    if (width <= 0 || height <= 0 || image.width() != width || image.height() != height) {
        return false;
    }
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (frame.counts.size() < pixels || frame.fractions.size() < pixels) {
        return false;
    }
    const int left = std::max(region.left, 0);
    const int top = std::max(region.top, 0);
    const int right =
        static_cast<int>(std::min<std::int64_t>(std::int64_t{region.left} + region.width, width));
    const int bottom =
        static_cast<int>(std::min<std::int64_t>(std::int64_t{region.top} + region.height, height));
    if (left >= right || top >= bottom) {
        return true;
    }

    static const Palette kBlack{};
    const bool longWaves = plan.longWaves && !plan.longWaves->empty();
    const PixelRules rules{plan,
                           plan.palette ? *plan.palette : kBlack,
                           plan.insideValueOf(frame),
                           plan.fixedCycling ? std::trunc(plan.cycleOffset) : plan.cycleOffset,
                           plan.cycleOffset - std::trunc(plan.cycleOffset),
                           plan.texture || longWaves || plan.slopes};
    constexpr int kBand = 16;
    if (plan.method == kStandard && plan.smooth && !plan.fixedCycling && !plan.waves &&
        !rules.anyStage) {
        const FloatPalette palette = floatPalette(rules.palette, plan.inside);
        const StandardSmoothRow colorRow = standardSmoothRowKernel();
        threads.parallelFor(
            top, bottom,
            [&](int y) { colorRow(rules, palette, frame, y, left, right, image.pixel(left, y)); },
            kBand);
        return true;
    }
    if (plan.waves && plan.smooth) {
        const SmoothWavesRow colorRow = smoothWavesRowKernel();
        threads.parallelFor(
            top, bottom,
            [&](int y) { colorRow(rules, frame, y, left, right, image.pixel(left, y)); }, kBand);
        return true;
    }
    threads.parallelFor(
        top, bottom,
        [&](int y) {
            std::uint8_t* out = image.pixel(left, y);
            for (int x = left; x < right; ++x) {
                colorPixel(rules, frame, x, y, out);
                out += FrameImage::kBytesPerPixel;
            }
        },
        kBand);
    return true;
}

FrameImage colorKeyFrame(const KeyFrame& frame, const ColoringPlan& plan,
                         const ThreadShare& threads) {
    if (frame.width <= 0 || frame.height <= 0) {
        return FrameImage{};
    }
    FrameImage image;
    try {
        image = FrameImage(frame.width, frame.height);
    } catch (const std::exception&) {
        return FrameImage{};  // a picture too large to hold: none, as for a damaged key frame
    }
    if (!colorKeyFrameInto(frame, plan, image, PixelRect{0, 0, frame.width, frame.height},
                           threads)) {
        return FrameImage{};
    }
    return image;
}

ColoringPlan ColoringPlan::withScales(double slopeScale, double textureScale) const {
    ColoringPlan plan = *this;
    plan.slopeScale = slopeScale;
    if (plan.slopes) {
        plan.slopes->slopeScale = slopeScale;
    }
    if (plan.texture) {
        plan.texture->textureScale = textureScale;
    }
    return plan;
}

ColoringPlan makeColoringPlan(const ColoringSpec& coloring, const TextureSpec& textureSpec,
                              const ColorState& color, std::shared_ptr<const FrameImage> texture,
                              double slopeScale, double textureScale) {
    ColoringPlan plan;
    plan.method = coloring.colorMethod;
    plan.smooth = coloring.smoothColoring;
    plan.fixedCycling = coloring.fixedColorCycling;
    plan.division = color.colorDivision;
    plan.cycleOffset = color.startCycle;
    plan.stretchMin = color.stretchMin;
    plan.stretchMax = color.stretchMax;
    plan.slopeScale = slopeScale;
    plan.inside = bgrFromColorRef(coloring.insideColor);
    plan.maxIteration = color.maxIteration;
    plan.palette = std::make_shared<const Palette>(color.palette());
    if (coloring.waveColoring) {
        plan.waves = std::make_shared<const HsbWaveList>(coloring.hsbWaves);
    }
    auto longWaves = std::make_shared<const LongWaveList>(coloring.longWaves);
    if (!longWaves->empty()) {
        plan.longWaves = std::move(longWaves);
    }
    if (textureSpec.texture && texture) {
        plan.texture = TextureSampler{std::move(texture), textureScale, textureSpec.textureDepth,
                                      textureSpec.textureStrength, textureSpec.textureMerge};
    }
    if (coloring.slopes || coloring.colorMethod == kDistance) {
        plan.slopes = SlopeShading{slopeLight(color.startRotation), slopeScale, coloring.slopeRatio,
                                   coloring.divideSlopes, color.startCycle};
    }
    return plan;
}

}  // namespace zr
