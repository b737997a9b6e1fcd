#include "coloring/waves.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "coloring/color_math.h"
#include "coloring/waves_vector.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define ZR_WAVES_AVX2 1
#endif

namespace zr {

namespace {

// Colours of the fixed-colour waves, by their count among the W records modulo 8.
constexpr std::array<Bgr, 8> kBandColors = {{
    {0, 0, 0},        // black
    {255, 255, 255},  // white
    {255, 0, 255},    // magenta
    {255, 255, 0},    // cyan
    {0, 255, 255},    // yellow
    {0, 0, 255},      // red
    {0, 255, 0},      // green
    {255, 0, 0},      // blue
}};

constexpr int kFixedColorWave = 3;

// The rising and falling weight of a band wave at s: 0 at the band edges, 1 in the middle.
double bandShape(double s, int period) {
    return 0.5 + 0.5 * std::sin((s - 0.5 * period) * kColoringPi / period);
}

void blendOver(Bgr& pixel, const Bgr& color, double weight) {
    pixel.blue = toByte(color.blue * weight + pixel.blue * (1 - weight));
    pixel.green = toByte(color.green * weight + pixel.green * (1 - weight));
    pixel.red = toByte(color.red * weight + pixel.red * (1 - weight));
}

}  // namespace

Bgr hsbToRgb(double hue, double saturation, double brightness) {
    // Sector 6 (hue 1 .. 7/6) is the red sector again; beyond it nothing is defined, so the
    // hue is held to 0 .. 1 there.
    if (!(hue >= 0.0)) {
        hue = 0.0;
    } else if (hue * 6 >= 7.0) {
        hue = 1.0;
    }
    const double h6 = 6 * hue;
    const int i = static_cast<int>(std::floor(h6));
    const double f = h6 - i;
    const double fPrime = (i % 2 == 0) ? 1 - f : f;
    const double v = brightness * 255;
    const double p = (1 - saturation) * brightness * 255;
    const double x = (1 - fPrime * saturation) * brightness * 255;
    double red = 0;
    double green = 0;
    double blue = 0;
    switch (i) {
        case 0:
        case 6:
            red = v, green = x, blue = p;
            break;
        case 1:
            red = x, green = v, blue = p;
            break;
        case 2:
            red = p, green = v, blue = x;
            break;
        case 3:
            red = p, green = x, blue = v;
            break;
        case 4:
            red = x, green = p, blue = v;
            break;
        default:  // 5
            red = v, green = p, blue = x;
            break;
    }
    return packedBgr(toByte(blue), toByte(green), toByte(red));
}

HsbWaveList::HsbWaveList(const std::array<HsbWave, kWaveSlots>& waves) {
    int bandCounter = 0;
    for (const HsbWave& wave : waves) {
        if (wave.endFlag == 1) {
            break;
        }
        if (wave.type >= 0 && wave.type < kFixedColorWave) {
            if (wave.period != 0) {
                sineWaves_[wave.type].push_back(
                    {wave.period, wave.phase, -static_cast<double>(wave.period) / 100});
            }
        } else if (wave.type == kFixedColorWave) {
            if (wave.period > 0) {
                bandWaves_.push_back({wave.period, kBandColors[bandCounter]});
            }
            bandCounter = (bandCounter + 1) % 8;
        }
    }
}

Bgr HsbWaveList::color(double t, double s) const {
    double level[3];
    for (int type = 0; type < 3; ++type) {
        const auto& list = sineWaves_[type];
        if (list.empty()) {
            level[type] = 0.5;
            continue;
        }
        double sum = 0;
        for (const SineWave& wave : list) {
            if (wave.period < 0) {
                sum += wave.level;
            } else {
                sum += 0.5 + 0.5 * std::sin((wave.phase + t) * kColoringPi / wave.period);
            }
        }
        level[type] = sum / static_cast<double>(list.size());
    }
    if (bandWaves_.empty()) {
        return hsbToRgb(level[0], level[1], level[2]);
    }
    Bgr pixel = hsbToRgb(level[0], level[1], level[2]);
    for (const BandWave& wave : bandWaves_) {
        if (inOddBand(s, wave.period)) {
            blendOver(pixel, wave.color, 0.8 * bandShape(s, wave.period));
        }
    }
    return packedBgr(pixel.blue, pixel.green, pixel.red);
}

LongWaveList::LongWaveList(const std::array<LongWave, kWaveSlots>& waves) {
    for (const LongWave& wave : waves) {
        if (wave.endFlag == 1) {
            break;
        }
        if (wave.period > 0) {
            waves_.push_back({wave.period, wave.percent, bgrFromColorRef(wave.color)});
        }
    }
}

void LongWaveList::apply(Bgr& pixel, double s) const {
    for (const Wave& wave : waves_) {
        if (inOddBand(s, wave.period)) {
            blendOver(pixel, wave.color, bandShape(s, wave.period) * wave.percent / 100);
        }
    }
}

void HsbWaveList::colors(const double* t, const double* s, int count, Bgr* out) const {
    if (bandWaves_.empty() && vectorSineAvailable()) {
        colorsVector(t, s, count, out);
        return;
    }
    for (int i = 0; i < count; ++i) {
        out[i] = color(t[i], s[i]);
    }
}

#if ZR_WAVES_AVX2

namespace {

// Pi / 2 in three parts (their sum is pi / 2 to about 160 bits) and 2 / pi.
constexpr double kHalfPi1 = 1.5707963267948966;
constexpr double kHalfPi2 = 6.123233995736766e-17;
constexpr double kHalfPi3 = -1.4973849048591698e-33;
constexpr double kTwoOverPi = 0.6366197723675814;

// A result this close to a rounding edge (a whole number before truncation, a sector edge of
// the hue, a limit of the hue) is taken from the scalar code instead. The vector sine differs
// from std::sin by at most kVectorSineError; through 60 waves of a channel and the colour
// formulas that moves a byte value by less than 1e-10.
constexpr double kEdgeMargin = 1e-7;

[[gnu::target("avx2,fma")]] inline __m256d splat(double value) {
    return _mm256_set1_pd(value);
}

// Sine and cosine polynomials on |r| <= pi / 4, each good to within an ulp.
[[gnu::target("avx2,fma")]] inline __m256d sinePolynomial(__m256d r, __m256d z) {
    __m256d p =
        _mm256_fmadd_pd(z, splat(1.58969099521155010221e-10), splat(-2.50507602534068634195e-08));
    p = _mm256_fmadd_pd(z, p, splat(2.75573137070700676789e-06));
    p = _mm256_fmadd_pd(z, p, splat(-1.98412698298579493134e-04));
    p = _mm256_fmadd_pd(z, p, splat(8.33333333332248946124e-03));
    const __m256d v = _mm256_mul_pd(z, r);
    return _mm256_fmadd_pd(v, _mm256_fmadd_pd(z, p, splat(-1.66666666666666324348e-01)), r);
}

[[gnu::target("avx2,fma")]] inline __m256d cosinePolynomial(__m256d z) {
    __m256d p =
        _mm256_fmadd_pd(z, splat(-1.13596475577881948265e-11), splat(2.08757232129817482790e-09));
    p = _mm256_fmadd_pd(z, p, splat(-2.75573143513906633035e-07));
    p = _mm256_fmadd_pd(z, p, splat(2.48015872894767294178e-05));
    p = _mm256_fmadd_pd(z, p, splat(-1.38888888888741095749e-03));
    p = _mm256_fmadd_pd(z, p, splat(4.16666666666666019037e-02));
    const __m256d half = _mm256_mul_pd(splat(0.5), z);
    const __m256d w = _mm256_sub_pd(splat(1.0), half);
    const __m256d tail = _mm256_sub_pd(_mm256_sub_pd(splat(1.0), w), half);
    return _mm256_add_pd(w, _mm256_fmadd_pd(_mm256_mul_pd(z, z), p, tail));
}

// The sine of four arguments: the quarter turns are taken off in three exact steps, the rest
// goes through the polynomial of its quadrant. Arguments beyond the limit give NaN.
[[gnu::target("avx2,fma")]] inline __m256d sine4(__m256d x) {
    const __m256d k = _mm256_round_pd(_mm256_mul_pd(x, splat(kTwoOverPi)),
                                      _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    __m256d r = _mm256_fnmadd_pd(k, splat(kHalfPi1), x);
    r = _mm256_fnmadd_pd(k, splat(kHalfPi2), r);
    r = _mm256_fnmadd_pd(k, splat(kHalfPi3), r);
    const __m256d z = _mm256_mul_pd(r, r);
    const __m256d sine = sinePolynomial(r, z);
    const __m256d cosine = cosinePolynomial(z);
    const __m256d absX = _mm256_andnot_pd(splat(-0.0), x);
    const __m256d inRange = _mm256_cmp_pd(absX, splat(kVectorSineLimit), _CMP_LE_OQ);
    const __m128i quadrant = _mm256_cvtpd_epi32(_mm256_and_pd(k, inRange));
    const __m256i q = _mm256_cvtepi32_epi64(quadrant);
    const __m256d odd = _mm256_castsi256_pd(
        _mm256_cmpeq_epi64(_mm256_and_si256(q, _mm256_set1_epi64x(1)), _mm256_set1_epi64x(1)));
    const __m256d flip =
        _mm256_castsi256_pd(_mm256_slli_epi64(_mm256_and_si256(q, _mm256_set1_epi64x(2)), 62));
    const __m256d value = _mm256_xor_pd(_mm256_blendv_pd(sine, cosine, odd), flip);
    return _mm256_blendv_pd(splat(std::numeric_limits<double>::quiet_NaN()), value, inRange);
}

// The distance of each value from the nearest whole number is at least the margin (false for
// NaN).
[[gnu::target("avx2,fma")]] inline __m256d clearOfWholeNumbers(__m256d value) {
    const __m256d nearest = _mm256_round_pd(value, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m256d distance = _mm256_andnot_pd(splat(-0.0), _mm256_sub_pd(value, nearest));
    return _mm256_cmp_pd(distance, splat(kEdgeMargin), _CMP_GE_OQ);
}

// Every lane set when the level the check is about is exact, else the check.
[[gnu::target("avx2,fma")]] inline __m256d unlessExact(bool isExact, __m256d check) {
    return isExact ? _mm256_cmp_pd(check, check, _CMP_TRUE_UQ) : check;
}

[[gnu::target("avx2,fma")]] inline __m256d equalLanes(__m256i lanes, int value) {
    return _mm256_castsi256_pd(_mm256_cmpeq_epi64(lanes, _mm256_set1_epi64x(value)));
}

[[gnu::target("avx2,fma")]] inline __m128i channelBytes(__m256d value) {
    const __m256d held = _mm256_min_pd(_mm256_max_pd(value, splat(0.0)), splat(255.0));
    return _mm256_cvttpd_epi32(held);
}

}  // namespace

[[gnu::target("avx2,fma")]] void vectorSine(const double* x, double* out, int count) {
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        _mm256_storeu_pd(out + i, sine4(_mm256_loadu_pd(x + i)));
    }
    if (i < count) {
        double in[4] = {0, 0, 0, 0};
        double result[4];
        std::copy(x + i, x + count, in);
        _mm256_storeu_pd(result, sine4(_mm256_loadu_pd(in)));
        std::copy(result, result + (count - i), out + i);
    }
}

bool vectorSineAvailable() {
    static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return available;
}

[[gnu::target("avx2,fma")]] void HsbWaveList::colorsVector(const double* t, const double* s,
                                                           int count, Bgr* out) const {
    // A level of constant waves only is the scalar one exactly: what it alone decides needs no
    // margin (no hue wave would otherwise send every pixel to the scalar code).
    bool exact[3];
    for (int type = 0; type < 3; ++type) {
        exact[type] = std::all_of(sineWaves_[type].begin(), sineWaves_[type].end(),
                                  [](const SineWave& wave) { return wave.period < 0; });
    }
    int first = 0;
    for (; first + 4 <= count; first += 4) {
        const __m256d index = _mm256_loadu_pd(t + first);
        __m256d level[3];
        for (int type = 0; type < 3; ++type) {
            const auto& list = sineWaves_[type];
            if (list.empty()) {
                level[type] = splat(0.5);
                continue;
            }
            // The same operations in the same order as color(); only the sine differs.
            __m256d sum = splat(0.0);
            for (const SineWave& wave : list) {
                if (wave.period < 0) {
                    sum = _mm256_add_pd(sum, splat(wave.level));
                } else {
                    const __m256d angle = _mm256_div_pd(
                        _mm256_mul_pd(_mm256_add_pd(splat(wave.phase), index), splat(kColoringPi)),
                        splat(static_cast<double>(wave.period)));
                    const __m256d term =
                        _mm256_add_pd(splat(0.5), _mm256_mul_pd(splat(0.5), sine4(angle)));
                    sum = _mm256_add_pd(sum, term);
                }
            }
            // A quotient by 1 is the sum itself.
            level[type] = list.size() == 1
                              ? sum
                              : _mm256_div_pd(sum, splat(static_cast<double>(list.size())));
        }
        // hsbToRgb on four pixels.
        const __m256d saturation = level[1];
        const __m256d brightness = level[2];
        const __m256d rawHue = level[0];
        const __m256d hueTimes6 = _mm256_mul_pd(rawHue, splat(6.0));
        __m256d safe = unlessExact(
            exact[0],
            _mm256_and_pd(
                _mm256_cmp_pd(_mm256_andnot_pd(splat(-0.0), rawHue), splat(kEdgeMargin),
                              _CMP_GE_OQ),
                _mm256_cmp_pd(_mm256_andnot_pd(splat(-0.0), _mm256_sub_pd(hueTimes6, splat(7.0))),
                              splat(kEdgeMargin), _CMP_GE_OQ)));
        __m256d hue =
            _mm256_blendv_pd(rawHue, splat(0.0), _mm256_cmp_pd(rawHue, splat(0.0), _CMP_NGE_UQ));
        hue = _mm256_blendv_pd(hue, splat(1.0), _mm256_cmp_pd(hueTimes6, splat(7.0), _CMP_GE_OQ));
        const __m256d h6 = _mm256_mul_pd(splat(6.0), hue);
        safe = _mm256_and_pd(safe, unlessExact(exact[0], clearOfWholeNumbers(h6)));
        const __m256d sector = _mm256_floor_pd(h6);
        const __m256d f = _mm256_sub_pd(h6, sector);
        const __m128i i32 = _mm256_cvttpd_epi32(sector);
        const __m256i i64 = _mm256_cvtepi32_epi64(i32);
        const __m256d even = _mm256_castsi256_pd(_mm256_cmpeq_epi64(
            _mm256_and_si256(i64, _mm256_set1_epi64x(1)), _mm256_setzero_si256()));
        const __m256d fPrime = _mm256_blendv_pd(f, _mm256_sub_pd(splat(1.0), f), even);
        const __m256d v = _mm256_mul_pd(brightness, splat(255.0));
        const __m256d p = _mm256_mul_pd(
            _mm256_mul_pd(_mm256_sub_pd(splat(1.0), saturation), brightness), splat(255.0));
        const __m256d x = _mm256_mul_pd(
            _mm256_mul_pd(_mm256_sub_pd(splat(1.0), _mm256_mul_pd(fPrime, saturation)), brightness),
            splat(255.0));
        safe = _mm256_and_pd(safe, unlessExact(exact[2], clearOfWholeNumbers(v)));
        safe = _mm256_and_pd(safe, unlessExact(exact[1] && exact[2], clearOfWholeNumbers(p)));
        safe = _mm256_and_pd(safe,
                             unlessExact(exact[0] && exact[1] && exact[2], clearOfWholeNumbers(x)));
        const __m256d s0 = _mm256_or_pd(equalLanes(i64, 0), equalLanes(i64, 6));
        const __m256d red = _mm256_blendv_pd(
            _mm256_blendv_pd(p, x, _mm256_or_pd(equalLanes(i64, 1), equalLanes(i64, 4))), v,
            _mm256_or_pd(s0, equalLanes(i64, 5)));
        const __m256d green =
            _mm256_blendv_pd(_mm256_blendv_pd(p, x, _mm256_or_pd(s0, equalLanes(i64, 3))), v,
                             _mm256_or_pd(equalLanes(i64, 1), equalLanes(i64, 2)));
        const __m256d blue = _mm256_blendv_pd(
            _mm256_blendv_pd(p, x, _mm256_or_pd(equalLanes(i64, 2), equalLanes(i64, 5))), v,
            _mm256_or_pd(equalLanes(i64, 3), equalLanes(i64, 4)));
        // Four pixels of blue | green << 8 | red << 16, squeezed to twelve bytes.
        static_assert(sizeof(Bgr) == 3, "pixels are stored three bytes apart");
        const __m128i words =
            _mm_or_si128(channelBytes(blue), _mm_or_si128(_mm_slli_epi32(channelBytes(green), 8),
                                                          _mm_slli_epi32(channelBytes(red), 16)));
        const int safeLanes = _mm256_movemask_pd(safe);
        if (safeLanes == 0xF) {
            const __m128i bytes = _mm_shuffle_epi8(
                words, _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
            auto* target = reinterpret_cast<std::uint8_t*>(out + first);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(target), bytes);
            const std::int32_t last = _mm_extract_epi32(bytes, 2);
            std::memcpy(target + 8, &last, 4);
            continue;
        }
        alignas(16) std::int32_t packed[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(packed), words);
        for (int lane = 0; lane < 4; ++lane) {
            if ((safeLanes >> lane & 1) != 0) {
                std::memcpy(static_cast<void*>(out + first + lane), &packed[lane], 3);
            } else {
                out[first + lane] = color(t[first + lane], s[first + lane]);
            }
        }
    }
    for (; first < count; ++first) {
        out[first] = color(t[first], s[first]);
    }
}

#else

bool vectorSineAvailable() {
    return false;
}

void vectorSine(const double* x, double* out, int count) {
    for (int i = 0; i < count; ++i) {
        out[i] = std::sin(x[i]);
    }
}

void HsbWaveList::colorsVector(const double* t, const double* s, int count, Bgr* out) const {
    for (int i = 0; i < count; ++i) {
        out[i] = color(t[i], s[i]);
    }
}

#endif

}  // namespace zr
