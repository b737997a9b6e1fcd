#include "coloring/waves_vector.h"

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <thread>
#include <vector>

#include "coloring/waves.h"

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

// The largest difference between the vector sine and std::sin over every float argument from
// `first` to `last` (bit patterns of positive floats), and how many were out of bounds.
struct SweepResult {
    double largestError = 0;
    std::uint64_t failures = 0;
};

SweepResult sweepFloats(std::uint32_t first, std::uint32_t last) {
    constexpr int kBlock = 4096;
    std::vector<double> x(kBlock);
    std::vector<double> fast(kBlock);
    SweepResult result;
    for (std::uint64_t bits = first; bits <= last; bits += kBlock) {
        const int count = static_cast<int>(std::min<std::uint64_t>(kBlock, last - bits + 1));
        for (int i = 0; i < count; ++i) {
            x[i] = std::bit_cast<float>(static_cast<std::uint32_t>(bits + i));
        }
        vectorSine(x.data(), fast.data(), count);
        for (int i = 0; i < count; ++i) {
            const double error = std::fabs(fast[i] - std::sin(x[i]));
            if (!(error <= kVectorSineError)) {
                ++result.failures;
            }
            if (error > result.largestError) {
                result.largestError = error;
            }
        }
    }
    return result;
}

// Every float the wave colouring can hand the vector sine, swept: the sine stays within the
// error the colouring's margins allow for. Both sines are odd to the bit (each works on the
// magnitude and sets the sign), so the positive floats stand for the negative ones.
TEST(VectorSine, EveryFloatArgumentIsWithinTheBound) {
    if (!vectorSineAvailable()) {
        GTEST_SKIP() << "no AVX2 with fused multiply-adds";
    }
    const std::uint32_t last = std::bit_cast<std::uint32_t>(static_cast<float>(kVectorSineLimit));
    constexpr int kThreads = 2;
    std::vector<SweepResult> results(kThreads);
    std::vector<std::thread> threads;
    const std::uint32_t share = last / kThreads + 1;
    for (int i = 0; i < kThreads; ++i) {
        const std::uint32_t begin = share * static_cast<std::uint32_t>(i);
        const std::uint32_t end = std::min<std::uint64_t>(std::uint64_t{begin} + share - 1, last);
        threads.emplace_back([&results, i, begin, end] { results[i] = sweepFloats(begin, end); });
    }
    SweepResult total;
    for (int i = 0; i < kThreads; ++i) {
        threads[i].join();
        total.failures += results[i].failures;
        total.largestError = std::max(total.largestError, results[i].largestError);
    }
    EXPECT_EQ(total.failures, 0U) << "largest error " << total.largestError;
    RecordProperty("largest_error", std::to_string(total.largestError));

    // The sign and the limit.
    const double probes[] = {0.5, 3.0, 1e6, 6e7};
    for (const double probe : probes) {
        double in[2] = {probe, -probe};
        double out[2];
        vectorSine(in, out, 2);
        EXPECT_EQ(out[1], -out[0]) << probe;
    }
    double beyond[3] = {kVectorSineLimit * 2, std::numeric_limits<double>::infinity(),
                        std::nan("")};
    double beyondOut[3];
    vectorSine(beyond, beyondOut, 3);
    for (const double value : beyondOut) {
        EXPECT_TRUE(std::isnan(value));
    }
}

// The colours of runs of pixels are those of one pixel at a time, byte for byte, over indices
// that cross many rounding edges, for lists that take the vector path and lists that do not.
TEST(WaveColors, RunsMatchSinglePixels) {
    constexpr int kHue = 0;
    constexpr int kSaturation = 1;
    constexpr int kBrightness = 2;
    constexpr int kBand = 3;
    const std::vector<Waves> lists = {
        wavesOf({}),
        wavesOf({wave(kHue, 300), wave(kSaturation, -80), wave(kBrightness, 150)}),
        wavesOf({wave(kHue, 1), wave(kHue, 7, 3), wave(kSaturation, 13, -5), wave(kBrightness, 2)}),
        wavesOf({wave(kHue, 100), wave(kHue, -250), wave(kBrightness, -150)}),  // hue above 7/6
        wavesOf({wave(kSaturation, 40), wave(kBrightness, -100)}),
        wavesOf({wave(kHue, 100), wave(kBand, 10)}),  // band waves: one pixel at a time
    };
    std::vector<double> t;
    std::vector<double> s;
    for (int i = 0; i < 200003; ++i) {
        t.push_back(-3000.0 + i * 0.0317);
        s.push_back(1.0 + i * 0.011);
    }
    // Whole and half indices land on the sector and byte edges; huge ones pass the sine's limit.
    for (const double edge : {0.0, 25.0, 50.0, 75.0, 150.0, 1e9, 1e300, -1e300}) {
        t.push_back(edge);
        s.push_back(edge);
    }
    for (std::size_t list = 0; list < lists.size(); ++list) {
        const HsbWaveList waves(lists[list]);
        std::vector<Bgr> run(t.size());
        waves.colors(t.data(), s.data(), static_cast<int>(t.size()), run.data());
        int mismatches = 0;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (!(run[i] == waves.color(t[i], s[i])) && ++mismatches < 5) {
                ADD_FAILURE() << "list " << list << " t " << t[i];
            }
        }
        EXPECT_EQ(mismatches, 0) << "list " << list;
    }
}

}  // namespace
}  // namespace zr
