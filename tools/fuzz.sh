#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, then runs each for a set time, starting from its seed corpus in
# fuzz/corpus/<target>/. Prints each target's executions and executions per second. Fails when
# any target finds a crash, a sanitizer report, a leak, an input that takes over 10 seconds or
# one that needs over 2 GB; the input is kept in BUILD_DIR/fuzz-findings/.
#
#   tools/fuzz.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-30}
root=$(cd "$(dirname "$0")/.." && pwd)

CXX=${FUZZ_CXX:-clang++} cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZR_FUZZ=ON -DZR_GUI=OFF -DZR_BENCH=OFF > /dev/null
cmake --build "$build" --target fuzz_targets -j "$(nproc)"

findings="$build/fuzz-findings"
mkdir -p "$findings"
failed=()
for source in "$root"/fuzz/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    corpus="$build/fuzz-corpus/$name"  # what the runs found, kept between runs
    log="$build/fuzz-$name.log"
    mkdir -p "$corpus"
    status=0
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "$build/fuzz/$name" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
        -rss_limit_mb=2048 -artifact_prefix="$findings/$name-" \
        "$corpus" "$root/fuzz/corpus/$name" > "$log" 2>&1 || status=$?
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    perSecond=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    printf '%-24s %12s executions in %ss, %8s per second\n' "$name" "${executions:-?}" \
        "$seconds" "${perSecond:-?}"
    if [ "$status" -ne 0 ]; then
        echo "$name: finding (exit status $status); the end of $log:"
        tail -n 40 "$log"
        failed+=("$name")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: findings in ${failed[*]}; the inputs are in $findings/"
    exit 1
fi
