#!/usr/bin/env bash
# The benchmark: builds the x86-64 saver, its fixtures and the benchmark in build/bench64, the
# 32-bit fixtures in build/bench32 (configured like the win32 preset) and the 32-bit saver, the
# product, in build/win32; then runs the benchmark under wine64 on a virtual display of its own,
# in a Wine prefix of its own, and prints one table per image. The 32-bit images run under Wine's
# 32-bit loader, started by the benchmark, and only where the kernel runs them natively: an
# emulated processor's CPU figures say nothing about Windows. Elsewhere it measures the x86-64
# image alone and says why.
#   bench/run.sh [rounds [seconds]]      (defaults: 3 rounds of 10 s)
#
# Any saver built with add_screen_saver, by its name, beside the framework alone (a saver of the
# real framework whose effect only keeps the same timers), full screen at 1024 x 768 and at
# 1920 x 1080, the x86-64 image; one table per size:
#   bench/run.sh NAME [rounds [seconds]]
# The product's name gives the product's table, as without a name; --framework-alone measures the
# product's effect like any other's:
#   bench/run.sh --framework-alone saver [rounds [seconds]]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build64="$root/build/bench64"
build32="$root/build/bench32"
win32="$root/build/win32"
cd "$root"
source "$root/tests/wine/wine-prefix.sh"
EFFECT_SIZES=(1024x768 1920x1080)

configure() {
    if [ ! -f "$1/CMakeCache.txt" ]; then
        cmake -S "$root" -B "$1" --toolchain "cmake/mingw-$2.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
    fi
}

beside_framework=no
if [ "${1:-}" = --framework-alone ]; then
    beside_framework=yes
    shift
fi
name=
if [ $# -gt 0 ] && [[ ! "$1" =~ ^[0-9]+$ ]]; then
    name=$1
    shift
fi
[ "$beside_framework" = no ] || [ -n "$name" ] || { echo "benchmark: --framework-alone needs a NAME" >&2; exit 2; }

# A saver beside the framework alone, at each size on a display of its own. The savers write
# Wine's message trace, by which their ticks are counted, to the benchmark's standard error: a
# file per size.
measure_beside_framework() {
    configure "$build64" x86_64
    if [ ! -f "$build64/savers/$name.path" ]; then
        echo "benchmark: no saver named $name (the savers: $(ls "$build64/savers" | sed 's/[.]path$//' | paste -sd ' '))" >&2
        exit 2
    fi
    cmake --build "$build64" -j2 --target "$name" bench_framework_alone benchmark >/dev/null
    local image size trace
    image=$(cat "$build64/savers/$name.path")
    echo "benchmark: $name beside the framework alone, the x86-64 image under wine64, at ${EFFECT_SIZES[*]}"
    wine_prefix_prepare "$build64/bench"
    trap stop_wine_and_display EXIT
    for size in "${EFFECT_SIZES[@]}"; do
        start_virtual_display "$size"
        trace="$build64/bench/$name-$size.trace"
        : >"$trace"
        timeout 900 "$WINE_LOADER" "$build64/bench/benchmark.exe" --effect "$image" \
            "$build64/bench/framework_alone.scr" "$trace" "$name" "$@" </dev/null 2>>"$trace" | tr -d '\r'
        stop_wine_and_display
        "$WINE_SERVER" -w 2>/dev/null || true
    done
}
if [ -n "$name" ] && { [ "$name" != saver ] || [ "$beside_framework" = yes ]; }; then
    measure_beside_framework "$@"
    exit 0
fi

case "$(i386_mode)" in
    native) why_not_32= ;;
    emulated) why_not_32="32-bit programs run here only through an emulator (qemu $(i386_emulator_version)), whose CPU figures say nothing about Windows" ;;
    *) why_not_32="the kernel runs no 32-bit programs here" ;;
esac
[ -n "$why_not_32" ] || [ -x "$WINE32_LOADER" ] || why_not_32="there is no 32-bit Wine ($WINE32_LOADER)"

configure "$build64" x86_64
cmake --build "$build64" -j2 --target saver bench_baseline bench_floor benchmark >/dev/null
images=("$build64/saver.scr" "$build64/bench/floor.exe" "$build64/bench/baseline.exe")
if [ -z "$why_not_32" ]; then
    configure "$build32" i686
    cmake --build "$build32" -j2 --target bench_baseline bench_floor >/dev/null
    if [ ! -f "$win32/CMakeCache.txt" ]; then
        cmake --preset win32 >/dev/null
    fi
    cmake --build "$win32" -j2 --target saver >/dev/null
    images+=("$win32/saver.scr" "$build32/bench/floor.exe" "$build32/bench/baseline.exe")
else
    echo "benchmark: the 32-bit image is not measured: $why_not_32; the x86-64 one is"
fi

wine_prefix_prepare "$build64/bench"

trap stop_wine_and_display EXIT
start_virtual_display

timeout 900 "$WINE_LOADER" "$build64/bench/benchmark.exe" "${images[@]}" "$@" </dev/null | tr -d '\r'
