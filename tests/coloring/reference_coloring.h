#pragma once

// A plain, slow, literal computation of a key frame's colours, written from the rules of the
// colouring and nothing else, for comparison with the real colouring byte for byte. Every step
// is evaluated in the order the rules state it, one pixel at a time, with no precomputation.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "coloring/coloring_fixtures.h"
#include "keyframes/key_frame.h"
#include "settings/setting_types.h"
#include "support/frame_image.h"

namespace zr::reference {

inline constexpr double kPi = 3.14159265;

// A colour value as a byte: truncated toward zero; values a byte cannot hold saturate and a
// value that is not a number gives 0.
inline std::uint8_t truncByte(double value) {
    if (std::isnan(value) || value <= 0.0) {
        return 0;
    }
    if (value >= 255.0) {
        return 255;
    }
    return static_cast<std::uint8_t>(std::trunc(value));
}

// Channels by index: 0 blue, 1 green, 2 red.
inline std::uint8_t channel(const Bgr& color, int c) {
    return c == 0 ? color.blue : (c == 1 ? color.green : color.red);
}
inline std::uint8_t& channel(Bgr& color, int c) {
    return c == 0 ? color.blue : (c == 1 ? color.green : color.red);
}

inline Bgr fromColorRef(std::uint32_t rgb) {
    return Bgr{static_cast<std::uint8_t>((rgb >> 16) & 0xFF),
               static_cast<std::uint8_t>((rgb >> 8) & 0xFF), static_cast<std::uint8_t>(rgb & 0xFF)};
}

inline std::array<Bgr, kPaletteSize> expandPalette(const std::array<Bgr, kPaletteSize>& keyColors,
                                                   int count) {
    std::array<Bgr, kPaletteSize> palette{};
    for (int d = 0; d < kPaletteSize; ++d) {
        const double e = static_cast<double>(d) * count / 1024.0;
        const int g = static_cast<int>(std::trunc(e));
        const int g1 = (g + 1) % count;
        const double t = 0.5 + 0.5 * std::sin((e - g - 0.5) * kPi);
        const double u = 1.0 - t;
        for (int c = 0; c < 3; ++c) {
            channel(palette[d], c) =
                truncByte(channel(keyColors[g], c) * u + channel(keyColors[g1], c) * t);
        }
    }
    return palette;
}

// True when trunc(s / (2 period)) leaves remainder 1 on division by 2.
inline bool oddBand(double s, int period) {
    // fmod of a whole number by 2 is its remainder on integer division, -1 below 0.
    const double band = std::trunc(s / (2.0 * period));
    return std::fmod(band, 2.0) == 1.0;
}

inline Bgr hsbToRgb(double h, double sat, double br) {
    // Hues that fall outside the seven sectors (i beyond 0 .. 6) are held to 0 .. 1.
    if (!(h >= 0.0)) {
        h = 0.0;
    } else if (std::floor(6.0 * h) > 6.0) {
        h = 1.0;
    }
    const double h6 = 6.0 * h;
    const int i = static_cast<int>(std::floor(h6));
    const double f = h6 - i;
    const double fPrime = (i % 2 == 0) ? 1.0 - f : f;
    const double v = br * 255.0;
    const double p = (1.0 - sat) * br * 255.0;
    const double x = (1.0 - fPrime * sat) * br * 255.0;
    double red = 0, green = 0, blue = 0;
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
        default:
            red = v, green = p, blue = x;
            break;
    }
    return Bgr{truncByte(blue), truncByte(green), truncByte(red)};
}

inline constexpr std::array<Bgr, 8> kWaveColors = {
    Bgr{0, 0, 0},     Bgr{255, 255, 255}, Bgr{255, 0, 255}, Bgr{255, 255, 0},
    Bgr{0, 255, 255}, Bgr{0, 0, 255},     Bgr{0, 255, 0},   Bgr{255, 0, 0}};

inline Bgr waveColor(const testing::ColoringSettings& settings, double t, double s) {
    double sum[3] = {0, 0, 0};
    int count[3] = {0, 0, 0};
    for (const HsbWave& wave : settings.hsbWaves) {
        if (wave.endFlag == 1) {
            break;
        }
        if (wave.type < 0 || wave.type > 2 || wave.period == 0) {
            continue;  // a period of 0 has no shape
        }
        double m = 0;
        if (wave.period < 0) {
            m = -wave.period / 100.0;
        } else {
            m = 0.5 + 0.5 * std::sin((wave.phase + t) * kPi / wave.period);
        }
        sum[wave.type] += m;
        ++count[wave.type];
    }
    double level[3];
    for (int i = 0; i < 3; ++i) {
        level[i] = count[i] == 0 ? 0.5 : sum[i] / count[i];
    }
    Bgr pixel = hsbToRgb(level[0], level[1], level[2]);
    int k = 0;
    for (const HsbWave& wave : settings.hsbWaves) {
        if (wave.endFlag == 1) {
            break;
        }
        if (wave.type != 3) {
            continue;
        }
        if (wave.period > 0 && oddBand(s, wave.period)) {
            const double a =
                0.8 * (0.5 + 0.5 * std::sin((s - 0.5 * wave.period) * kPi / wave.period));
            for (int c = 0; c < 3; ++c) {
                channel(pixel, c) =
                    truncByte(channel(kWaveColors[k], c) * a + channel(pixel, c) * (1.0 - a));
            }
        }
        k = (k + 1) % 8;
    }
    return pixel;
}

inline void applyLongWaves(const testing::ColoringSettings& settings, Bgr& pixel, double s) {
    for (const LongWave& wave : settings.longWaves) {
        if (wave.endFlag == 1) {
            break;
        }
        if (wave.period > 0 && oddBand(s, wave.period)) {
            const double a = (0.5 + 0.5 * std::sin((s - 0.5 * wave.period) * kPi / wave.period)) *
                             wave.percent / 100.0;
            const Bgr color = fromColorRef(wave.color);
            for (int c = 0; c < 3; ++c) {
                channel(pixel, c) =
                    truncByte(channel(color, c) * a + channel(pixel, c) * (1.0 - a));
            }
        }
    }
}

inline double smooth(const KeyFrame& frame, int x, int y) {
    return static_cast<double>(frame.counts[static_cast<std::size_t>(y) * frame.width + x]) + 1.0 -
           static_cast<double>(frame.fractions[static_cast<std::size_t>(y) * frame.width + x]);
}

inline double distanceSum(const KeyFrame& frame, int x, int y) {
    const int w = frame.width;
    const int h = frame.height;
    auto s = [&](int px, int py) { return smooth(frame, px, py); };
    double sum = 0;
    if (y > 0) {
        sum += std::fabs(s(x, y - 1) - s(x, y));
    } else if (h > 1) {
        sum += std::fabs(s(x, 0) - s(x, 1));
    }
    if (x > 0 && y > 0) {
        sum += std::fabs(s(x - 1, y - 1) - s(x, y));
    } else if (x < w - 1 && y < h - 1) {
        sum += std::fabs(s(x, y) - s(x + 1, y + 1));
    }
    if (x > 0) {
        sum += std::fabs(s(x - 1, y) - s(x, y));
    } else if (w > 1) {
        sum += std::fabs(s(0, y) - s(1, y));
    }
    if (x > 0 && y < h - 1) {
        sum += std::fabs(s(x - 1, y + 1) - s(x, y));
    } else if (y > 0 && x < w - 1) {
        sum += std::fabs(s(x, y) - s(x + 1, y - 1));
    }
    return sum;
}

inline double method(const testing::ColoringSettings& settings, const KeyFrame& frame, int x, int y,
                     double v, double slopeScale) {
    switch (settings.colorMethod) {
        // Roots and logarithm of values <= 0 (counts <= 0, fractions > 1) have no use: 0.
        case kSquareRoot:
            return v > 0 ? std::sqrt(v) : 0.0;
        case kCubicRoot:
            return v > 0 ? std::pow(v, 0.3333333333333333) : 0.0;
        case kLogarithm:
            return v > 0 ? std::log(v) : 0.0;
        case kStretched: {
            // A range of no width: the limits of the formula, 0 up to the start, 1024 above.
            if (settings.stretchMax == settings.stretchMin) {
                return v > settings.stretchMin ? 1024.0 : 0.0;
            }
            const double q =
                (v - settings.stretchMin) * 1024 / (settings.stretchMax - settings.stretchMin);
            if (q < 0) {
                return 0;
            }
            if (q > 1024) {
                return 1024;
            }
            return q;
        }
        case kDistance:
            return distanceSum(frame, x, y) * slopeScale * frame.width / 640;
        default:
            return v;
    }
}

inline void applyTexture(const testing::ColoringSettings& settings, const FrameImage& texture,
                         Bgr& pixel, int x, int y, const KeyFrame& frame, double textureScale) {
    const int w = frame.width;
    const int h = frame.height;
    auto s = [&](int px, int py) { return smooth(frame, px, py); };
    const double t = kPi / 4;
    double d1 = 0;
    if (x > 0) {
        d1 = s(x - 1, y) - s(x, y);
    } else if (w > 1) {
        d1 = s(0, y) - s(1, y);
    }
    double d2 = 0;
    if (y > 0) {
        d2 = s(x, y - 1) - s(x, y);
    } else if (h > 1) {
        d2 = s(x, 0) - s(x, 1);
    }
    const double p = settings.textureDepth * textureScale;
    double bigX = std::pow(d1 + 1, p);
    double bigL = std::pow(d2 + 1, p);
    // A base <= 0 has no fractional power: no displacement along that axis.
    if (std::isnan(bigX)) {
        bigX = 1;
    }
    if (std::isnan(bigL)) {
        bigL = 1;
    }
    const int strength = settings.textureStrength;
    double u = 0;
    if (bigL > 1) {
        u = y + p * strength * ((std::atan(bigL) - t) / t) / 100;
    } else {
        u = y - p * ((std::atan(1 / bigL) - t) / t) * strength / 100;
    }
    double v = 0;
    if (bigX > 1) {
        v = x + p * strength * ((std::atan(bigX) - t) / t) / 100;
    } else {
        v = x - p * strength * ((std::atan(1 / bigX) - t) / t) / 100;
    }
    const long long bigU = static_cast<long long>(std::trunc(u));
    const long long bigV = static_cast<long long>(std::trunc(v));
    const int cx = texture.width() / 2;
    const int cy = texture.height() / 2;
    long long column = static_cast<long long>(std::trunc((bigV - cx) / textureScale + cx));
    long long row = static_cast<long long>(std::trunc((bigU - cy) / textureScale + cy));
    row = std::clamp<long long>(row, 0, texture.height() - 1);
    column = std::clamp<long long>(column, 0, texture.width() - 1);
    const std::uint8_t* tex = texture.pixel(static_cast<int>(column), static_cast<int>(row));
    const double merge = settings.textureMerge;
    for (int c = 0; c < 3; ++c) {
        channel(pixel, c) = truncByte(tex[c] * merge + channel(pixel, c) * (1 - merge));
    }
}

inline void applySlopes(const testing::ColoringSettings& settings, Bgr& pixel, int x, int y,
                        const KeyFrame& frame, double cycleOffset, double slopeScale) {
    const double alpha = (45 - settings.startRotation) * kPi / 180;
    const double cosA = std::cos(alpha);
    const double sinA = std::sin(alpha);
    const int w = frame.width;
    const int h = frame.height;
    auto s = [&](int px, int py) { return smooth(frame, px, py); };
    double p = 0, q = 0, r = 0, u = 0;
    if (x > 0) {
        p = s(x, y), q = s(x - 1, y);
    } else if (w > 1) {
        p = s(1, y), q = s(0, y);
    } else {
        p = s(0, y), q = s(0, y);
    }
    if (y > 0) {
        r = s(x, y), u = s(x, y - 1);
    } else if (h > 1) {
        r = s(x, 1), u = s(x, 0);
    } else {
        r = s(x, 0), u = s(x, 0);
    }
    if (settings.divideSlopes) {
        p = std::trunc(p + cycleOffset);
        q = std::trunc(q + cycleOffset);
        r = std::trunc(r + cycleOffset);
        u = std::trunc(u + cycleOffset);
    }
    const double dX = q - p;
    const double dY = u - r;
    const double g = dX * cosA + dY * sinA;
    const double here = s(x, y);
    if (here == 0) {
        return;
    }
    const double ratio = (g + here) / here;
    const double e = std::pow(ratio, slopeScale);
    if (std::isnan(e)) {
        return;  // a ratio <= 0 has no fractional power: unshaded
    }
    if (e > 1) {
        const double k = (std::atan(e) - kPi / 4) / (kPi / 4) * settings.slopeRatio / 100;
        for (int c = 0; c < 3; ++c) {
            channel(pixel, c) = truncByte(channel(pixel, c) * (1 - k));
        }
    } else {
        const double k = (std::atan(1 / e) - kPi / 4) / (kPi / 4) * settings.slopeRatio / 100;
        for (int c = 0; c < 3; ++c) {
            channel(pixel, c) = truncByte(channel(pixel, c) * (1 - k) + 255 * k);
        }
    }
}

// The colours of one pixel. `texture` is the prepared texture (rows top-down) when the texture
// stage is on.
inline Bgr colorPixel(const testing::ColoringSettings& settings, const KeyFrame& frame, int x,
                       int y, double cycleOffset, double slopeScale, double textureScale,
                       const FrameImage* texture) {
    // A key frame without a maximum iteration of its own takes the last one read.
    const std::int32_t inside = frame.maxIteration.value_or(settings.maxIteration);
    const std::int32_t n = frame.counts[static_cast<std::size_t>(y) * frame.width + x];
    const double s = smooth(frame, x, y);
    const bool fixed = settings.fixedColorCycling != 0;
    const bool waves = settings.waveColoring != 0;

    const double v = fixed ? static_cast<double>(n) : s;
    const double o = method(settings, frame, x, y, v, slopeScale);
    const double j = settings.colorDivision != 0 ? o / settings.colorDivision : o;
    double t = fixed ? j + std::trunc(cycleOffset) : j + cycleOffset;
    if (!std::isfinite(t)) {
        t = 0;  // a position that is no number: palette entry 0
    }
    if (!waves) {
        if (t < -1e6) {
            t = std::fmod(t, 1024.0);  // whole turns of 1024 are exact: skip most of them
        }
        while (t < 0) {
            t = t + 1024;
        }
        if (t >= 2147483648.0) {
            t = std::fmod(t, 1024.0);  // whole parts beyond an int: the same palette entry
        }
    }
    const double k = std::trunc(t);
    const double f = t - k;
    const float w = static_cast<float>(1 - f);

    const std::array<Bgr, kPaletteSize>& palette = settings.palette;
    Bgr pixel;
    if (n == inside) {
        pixel = fromColorRef(settings.insideColor);
    } else if (settings.smoothColoring) {
        if (waves) {
            pixel = waveColor(settings, t, s);
        } else {
            const int index = static_cast<int>(k);
            const Bgr& a = palette[index % 1024];
            const Bgr& b = palette[(static_cast<long long>(index) + 1) % 1024];
            // The weight is single precision, and so is the blend: byte times float.
            for (int c = 0; c < 3; ++c) {
                const float first = static_cast<float>(channel(a, c)) * w;
                const float second = static_cast<float>(channel(b, c)) * (1.0f - w);
                channel(pixel, c) = truncByte(static_cast<double>(first + second));
            }
        }
    } else {
        const int index = waves ? 0 : static_cast<int>(k);
        pixel = waves ? waveColor(settings, k, s) : palette[index % 1024];
        if (fixed && cycleOffset != 0) {
            const double d = cycleOffset - std::trunc(cycleOffset);
            const Bgr a = waves ? waveColor(settings, k, n) : palette[index % 1024];
            const Bgr b = waves ? waveColor(settings, k + 1, n)
                                : palette[(static_cast<long long>(index) + 1) % 1024];
            for (int c = 0; c < 3; ++c) {
                channel(pixel, c) = truncByte(channel(a, c) * (1 - d) + channel(b, c) * d);
            }
        }
    }
    if (settings.texture && texture != nullptr) {
        applyTexture(settings, *texture, pixel, x, y, frame, textureScale);
    }
    if (n != inside) {
        applyLongWaves(settings, pixel, s);
    }
    if (settings.slopes || settings.colorMethod == kDistance) {
        applySlopes(settings, pixel, x, y, frame, cycleOffset, slopeScale);
    }
    return pixel;
}

inline FrameImage colorKeyFrame(const testing::ColoringSettings& settings, const KeyFrame& frame,
                                 double cycleOffset, double slopeScale, double textureScale,
                                 const FrameImage* texture = nullptr) {
    FrameImage image(frame.width, frame.height);
    for (int x = 0; x < frame.width; ++x) {
        for (int y = 0; y < frame.height; ++y) {
            const Bgr pixel =
                colorPixel(settings, frame, x, y, cycleOffset, slopeScale, textureScale, texture);
            std::uint8_t* out = image.pixel(x, y);
            out[0] = pixel.blue;
            out[1] = pixel.green;
            out[2] = pixel.red;
        }
    }
    return image;
}

}  // namespace zr::reference
