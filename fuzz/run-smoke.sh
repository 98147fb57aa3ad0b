#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short, fixed time on its seed
# corpus (new inputs go to a scratch folder, never into fuzz/corpus). Skips with a message,
# and status 0, where clang or its fuzzer runtime is missing.
#   fuzz/run-smoke.sh [SECONDS]     default 20 per target; build tree: build-fuzz/
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
build=${TIDEWATCH_FUZZ_BUILD:-$top/build-fuzz}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
probe='extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }'
if ! command -v clang >/dev/null || ! echo "$probe" |
    clang++ -x c++ -fsanitize=fuzzer,address,undefined - -o "$scratch/probe" 2>/dev/null; then
    echo "fuzz smoke: skipped, clang or its libFuzzer runtime is not installed"
    exit 0
fi

CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DTIDEWATCH_FUZZ=ON \
    -DTIDEWATCH_BUILD_TESTS=OFF -DTIDEWATCH_BUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target tidewatch_fuzzers

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
failed=()
for fuzzer in "$build"/fuzz/fuzz_*; do
    [ -f "$fuzzer" ] && [ -x "$fuzzer" ] || continue
    target=${fuzzer##*/fuzz_}
    options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/fuzz/$target-")
    [ -f "$top/fuzz/$target.dict" ] && options+=(-dict="$top/fuzz/$target.dict")
    mkdir -p "$scratch/$target"
    echo "fuzz smoke: fuzz_$target for $seconds s"
    if "$fuzzer" "${options[@]}" "$scratch/$target" "$top/fuzz/corpus/$target" >"$scratch/log" 2>&1; then
        grep -E '^(stat::number_of_executed_units|Done )' "$scratch/log" || true
    else
        cat "$scratch/log"
        failed+=("fuzz_$target")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz smoke: FAILED: ${failed[*]} (the input that failed is in $build/fuzz/)"
    exit 1
fi
echo "fuzz smoke: all targets ran clean"
