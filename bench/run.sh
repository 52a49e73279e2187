#!/usr/bin/env bash
# The benchmark: builds the x86-64 saver, its fixtures and the benchmark in build/bench64, the
# 32-bit fixtures in build/bench32 (configured like the win32 preset) and the 32-bit saver, the
# product, in build/win32; then runs the benchmark under wine64 on a virtual display of its own,
# in a Wine prefix of its own, and prints one table per image. The 32-bit images run under Wine's
# 32-bit loader, started by the benchmark.
#   bench/run.sh [rounds [seconds]]      (defaults: 3 rounds of 10 s)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build64="$root/build/bench64"
build32="$root/build/bench32"
win32="$root/build/win32"
cd "$root"
configure() {
    if [ ! -f "$1/CMakeCache.txt" ]; then
        cmake -S "$root" -B "$1" --toolchain "cmake/mingw-$2.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
    fi
}
configure "$build64" x86_64
configure "$build32" i686
cmake --build "$build64" -j2 --target saver bench_baseline bench_floor benchmark >/dev/null
cmake --build "$build32" -j2 --target bench_baseline bench_floor >/dev/null
if [ ! -f "$win32/CMakeCache.txt" ]; then
    cmake --preset win32 >/dev/null
fi
cmake --build "$win32" -j2 --target saver >/dev/null

source "$root/tests/wine/wine-prefix.sh"
wine_prefix_prepare "$build64/bench"

trap stop_wine_and_display EXIT
start_virtual_display

timeout 900 "$WINE_LOADER" "$build64/bench/benchmark.exe" \
    "$build64/saver.scr" "$build64/bench/floor.exe" "$build64/bench/baseline.exe" \
    "$win32/saver.scr" "$build32/bench/floor.exe" "$build32/bench/baseline.exe" \
    "$@" </dev/null | tr -d '\r'
