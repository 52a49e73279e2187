#!/usr/bin/env bash
# The benchmark: builds the x86-64 saver, the baseline and the benchmark in build/bench64 and the
# 32-bit saver in build/win32 (for its size), then runs the benchmark under wine64 on a virtual
# display of its own, in a Wine prefix of its own, and prints the table.
#   bench/run.sh [rounds [seconds]]      (defaults: 3 rounds of 10 s)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/bench64"
win32="$root/build/win32"
cd "$root"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" --toolchain cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
fi
cmake --build "$build" -j2 --target saver bench_baseline benchmark >/dev/null
if [ ! -f "$win32/CMakeCache.txt" ]; then
    cmake --preset win32 >/dev/null
fi
cmake --build "$win32" -j2 --target saver >/dev/null

source "$root/tests/wine/wine-prefix.sh"
wine_prefix_prepare "$build/bench"

trap stop_wine_and_display EXIT
start_virtual_display

timeout 900 "$WINE_LOADER" "$build/bench/benchmark.exe" "$build/saver.scr" "$build/bench/baseline.exe" \
    "$win32/saver.scr" "$@" </dev/null | tr -d '\r'
