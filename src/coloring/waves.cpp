#include "coloring/waves.h"

#include <cmath>

#include "coloring/color_math.h"

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
                sineWaves_[wave.type].push_back({wave.period, wave.phase});
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
                sum += -static_cast<double>(wave.period) / 100;
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

}  // namespace zr
