#include "coloring/waves.h"

#include <gtest/gtest.h>

#include <cmath>

#include "coloring/coloring_fixtures.h"

namespace zr {
namespace {

using Waves = std::array<HsbWave, kWaveSlots>;

Waves wavesOf(std::initializer_list<HsbWave> list) {
    Waves waves{};
    int i = 0;
    for (const HsbWave& wave : list) {
        waves[i++] = wave;
    }
    waves[i].endFlag = 1;
    return waves;
}

HsbWave wave(int type, int period, int phase = 0) {
    return HsbWave{type, period, phase, 0, 0, 0};
}

constexpr int kHue = 0;
constexpr int kSaturation = 1;
constexpr int kBrightness = 2;
constexpr int kBand = 3;

TEST(HsbToRgb, SectorsAndTheirEdges) {
    EXPECT_EQ(hsbToRgb(0.5, 0.5, 0.5), (Bgr{127, 127, 63}));
    EXPECT_EQ(hsbToRgb(0.0, 1.0, 1.0), (Bgr{0, 0, 255}));       // red
    EXPECT_EQ(hsbToRgb(1.0 / 3, 1.0, 1.0), (Bgr{0, 255, 0}));   // green
    EXPECT_EQ(hsbToRgb(2.0 / 3, 1.0, 1.0), (Bgr{255, 0, 0}));   // blue
    EXPECT_EQ(hsbToRgb(0.25, 1.0, 1.0), (Bgr{0, 255, 127}));    // sector 1, half way
    EXPECT_EQ(hsbToRgb(0.75, 0.5, 1.0), (Bgr{255, 127, 191}));  // sector 4, half way
    // Hue 1 and up to 7/6 is the red sector again.
    EXPECT_EQ(hsbToRgb(1.0, 0.5, 0.5), hsbToRgb(0.0, 0.5, 0.5));
    EXPECT_EQ(hsbToRgb(1.0 + 1.0 / 12, 1.0, 1.0), hsbToRgb(1.0 / 12, 1.0, 1.0));
}

TEST(HsbToRgb, ValuesOutsideTheirRangeStayDefined) {
    EXPECT_EQ(hsbToRgb(-0.3, 1.0, 1.0), hsbToRgb(0.0, 1.0, 1.0));
    EXPECT_EQ(hsbToRgb(5.0, 1.0, 1.0), hsbToRgb(1.0, 1.0, 1.0));
    EXPECT_EQ(hsbToRgb(0.0, 0.0, 3.0), (Bgr{255, 255, 255}));  // brightness 3 saturates
    EXPECT_EQ(hsbToRgb(0.0, 2.0, 1.0), (Bgr{0, 0, 255}));      // P below 0 becomes 0
    EXPECT_EQ(hsbToRgb(std::nan(""), 0.0, 1.0), (Bgr{255, 255, 255}));
}

TEST(WaveColor, MeansOfSineWavesPerChannel) {
    // No waves (or only band waves): hue, saturation and brightness 0.5.
    EXPECT_EQ(HsbWaveList(wavesOf({})).color(123.0, 5.0), (Bgr{127, 127, 63}));
    EXPECT_EQ(HsbWaveList(wavesOf({wave(kBand, -4)})).color(1.0, 5.0), (Bgr{127, 127, 63}));

    const HsbWaveList hue(wavesOf({wave(kHue, 100)}));
    EXPECT_EQ(hue.color(0.0, 0.0), (Bgr{127, 127, 63}));  // hue 0.5
    EXPECT_EQ(hue.color(50.0, 0.0), (Bgr{63, 63, 127}));  // hue 1: the red sector
    // The phase shifts the index: phase 50 at t = 0 is the top of the wave.
    EXPECT_EQ(HsbWaveList(wavesOf({wave(kHue, 100, 50)})).color(0.0, 0.0), (Bgr{63, 63, 127}));
    // Two hue waves are averaged: 1 and 0.5 give 0.75.
    EXPECT_EQ(HsbWaveList(wavesOf({wave(kHue, 100), wave(kHue, -50)})).color(50.0, 0.0),
              hsbToRgb(0.75, 0.5, 0.5));

    // A negative period is a constant level of -period / 100, not a whole-number quotient.
    EXPECT_EQ(HsbWaveList(wavesOf({wave(kSaturation, -100)})).color(7.0, 0.0), (Bgr{127, 127, 0}));
    EXPECT_EQ(HsbWaveList(wavesOf({wave(kBrightness, -20)})).color(7.0, 0.0), (Bgr{51, 51, 25}));
    // A wave of period 0 has no shape and is left out (it would divide by zero).
    EXPECT_EQ(HsbWaveList(wavesOf({wave(kHue, 0), wave(kBrightness, 0)})).color(3.0, 0.0),
              (Bgr{127, 127, 63}));
}

TEST(WaveColor, BandWavesBlendFixedColorsInOddBands) {
    // Period 10: s = 30 is the top of the band [20, 40): 0.8 black over the HSB colour.
    const HsbWaveList black(wavesOf({wave(kBand, 10)}));
    EXPECT_EQ(black.color(0.0, 30.0), (Bgr{25, 25, 12}));
    EXPECT_EQ(black.color(0.0, 15.0), (Bgr{127, 127, 63}));  // even band: nothing
    EXPECT_EQ(black.color(0.0, 20.0), (Bgr{127, 127, 63}));  // band start: weight 0
    // The colour counter advances on every band record, applied or not: the second one is
    // white, the ninth black again.
    const HsbWaveList white(wavesOf({wave(kBand, 0), wave(kBand, 10)}));
    EXPECT_EQ(white.color(0.0, 30.0), (Bgr{229, 229, 216}));
    std::initializer_list<HsbWave> nine = {wave(kBand, -1), wave(kBand, -1), wave(kBand, -1),
                                           wave(kBand, -1), wave(kBand, -1), wave(kBand, -1),
                                           wave(kBand, -1), wave(kBand, -1), wave(kBand, 10)};
    EXPECT_EQ(HsbWaveList(wavesOf(nine)).color(0.0, 30.0), (Bgr{25, 25, 12}));
    // Sine waves and band waves mix: band waves do not count as hue waves.
    EXPECT_EQ(HsbWaveList(wavesOf({wave(kBand, 10), wave(kHue, 100)})).color(50.0, 15.0),
              (Bgr{63, 63, 127}));
}

TEST(LongWaves, BumpsOverTheSmoothValue) {
    std::array<LongWave, kWaveSlots> waves{};
    waves[0] = LongWave{1000, 0, 0, 0x0000FF80, 50, 0};  // red 0x80, green 0xFF, blue 0
    waves[1].endFlag = 1;
    const LongWaveList list(waves);
    Bgr pixel{100, 100, 100};
    list.apply(pixel, 3000.0);  // top of the bump: half and half
    EXPECT_EQ(pixel, (Bgr{50, 177, 114}));
    for (const double s : {2000.0, 1000.0, 500.0, 4000.0}) {
        Bgr unchanged{100, 100, 100};
        list.apply(unchanged, s);
        EXPECT_EQ(unchanged, (Bgr{100, 100, 100})) << s;
    }
}

TEST(LongWaves, LaterWavesBlendOverEarlierOnesAndEmptyPeriodsAreSkipped) {
    std::array<LongWave, kWaveSlots> waves{};
    waves[0] = LongWave{0, 0, 0, 0x00FFFFFF, 100, 0};
    waves[1] = LongWave{-10, 0, 0, 0x00FFFFFF, 100, 0};
    waves[2] = LongWave{10, 0, 0, 0x00FFFFFF, 100, 0};
    waves[3] = LongWave{10, 0, 0, 0x00000000, 50, 0};
    waves[4].endFlag = 1;
    waves[5] = LongWave{10, 0, 0, 0x000000FF, 100, 0};  // after the end: not read
    const LongWaveList list(waves);
    Bgr pixel{0, 0, 0};
    list.apply(pixel, 30.0);  // white at full strength, then half black over it
    EXPECT_EQ(pixel, (Bgr{127, 127, 127}));
    // The list as the program starts it, all zeros: nothing to do.
    EXPECT_TRUE(LongWaveList(std::array<LongWave, kWaveSlots>{}).empty());
}

}  // namespace
}  // namespace zr
