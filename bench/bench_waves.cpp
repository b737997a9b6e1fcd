// Wave colours per pixel: the scalar colour of one pixel at a time against the colours of a run
// of pixels (vector code where the processor has it), for the benchmark movies' waves.
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "coloring/waves.h"

namespace {

std::array<zr::HsbWave, zr::kWaveSlots> benchmarkWaves() {
    std::array<zr::HsbWave, zr::kWaveSlots> waves{};
    waves[0] = zr::HsbWave{0, 300, 0, 0, 0, 0};
    waves[1] = zr::HsbWave{1, -80, 0, 0, 0, 0};
    waves[2] = zr::HsbWave{2, 150, 0, 0, 0, 0};
    waves[3].endFlag = 1;
    return waves;
}

constexpr int kPixels = 1920;

std::vector<double> indices() {
    std::vector<double> t(kPixels);
    for (int i = 0; i < kPixels; ++i) {
        t[i] = 37.25 + i * 0.173;
    }
    return t;
}

void scalarWaveColors(benchmark::State& state) {
    const zr::HsbWaveList list(benchmarkWaves());
    const std::vector<double> t = indices();
    std::vector<zr::Bgr> out(kPixels);
    for (auto _ : state) {
        for (int i = 0; i < kPixels; ++i) {
            out[i] = list.color(t[i], t[i]);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}
BENCHMARK(scalarWaveColors);

void vectorWaveColors(benchmark::State& state) {
    const zr::HsbWaveList list(benchmarkWaves());
    const std::vector<double> t = indices();
    std::vector<zr::Bgr> out(kPixels);
    for (auto _ : state) {
        list.colors(t.data(), t.data(), kPixels, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}
BENCHMARK(vectorWaveColors);

}  // namespace

BENCHMARK_MAIN();
