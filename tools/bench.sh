#!/usr/bin/env bash
# Runs every benchmark program of a build and the comparisons with the ffmpeg program.
# Figures are medians over repetitions: the machines are shared and noisy.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)

for program in "$build"/bench/bench_*; do
    [ -x "$program" ] || continue
    echo "== $(basename "$program")"
    "$program" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
done

if [ -x "$here/bench_render_vs_ffmpeg.sh" ]; then
    echo "== whole zoom against ffmpeg's zoompan"
    "$here/bench_render_vs_ffmpeg.sh" "$build/src/app/zoomreel-cli"
fi
