#pragma once

#include <array>
#include <vector>

#include "settings/setting_types.h"

namespace zr {

// One pixel from hue, saturation and brightness (nominally 0 .. 1). Hues from 1 to 7/6 wrap
// into the red sector; a hue below 0 counts as 0 and one of 7/6 or more as 1. Channel values
// outside 0 .. 255 saturate.
Bgr hsbToRgb(double hue, double saturation, double brightness);

// The waves list in a form that is quick to evaluate per pixel. Hue, saturation and
// brightness waves with period 0 have no shape and are left out; fixed-colour (W) waves keep
// the colour their place in the list gives them.
class HsbWaveList {
  public:
    explicit HsbWaveList(const std::array<HsbWave, kWaveSlots>& waves);

    // The colour for colour index t and smooth value s: hue, saturation and brightness are
    // each the mean of their sine waves over t (0.5 without waves), then every fixed-colour
    // wave whose odd band holds s blends its colour over the result.
    Bgr color(double t, double s) const;

    // out[i] = color(t[i], s[i]) for i < count, byte for byte, several pixels at a time where
    // the processor has the vector unit for it.
    void colors(const double* t, const double* s, int count, Bgr* out) const;

  private:
    void colorsVector(const double* t, const double* s, int count, Bgr* out) const;

    struct SineWave {
        int period;
        int phase;     // negative period: constant level -period / 100
        double level;  // the constant level of a negative period
    };
    struct BandWave {
        int period;
        Bgr color;
    };
    std::array<std::vector<SineWave>, 3> sineWaves_;  // hue, saturation, brightness
    std::vector<BandWave> bandWaves_;
};

// The long waves list, prepared for per-pixel use.
class LongWaveList {
  public:
    explicit LongWaveList(const std::array<LongWave, kWaveSlots>& waves);

    bool empty() const { return waves_.empty(); }
    // Blends every wave whose odd band holds s over the pixel, later waves over earlier.
    void apply(Bgr& pixel, double s) const;

  private:
    struct Wave {
        int period;
        int percent;
        Bgr color;
    };
    std::vector<Wave> waves_;
};

}  // namespace zr
