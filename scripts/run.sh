#!/usr/bin/env bash
# Builds the saver and runs it full screen under Wine: the 32-bit saver.scr, which is what users
# get, under Wine's 32-bit loader, natively or through the emulator that setup registered where the
# kernel runs no 32-bit programs; only where it cannot run at all, the x86-64 one. Says which, and
# why. On $DISPLAY it runs until you end it (a key, a click or a mouse move). Without a display it
# runs on a virtual one, driven by the end-to-end driver's drawing scenario: the screen must show
# the expected lines pixel for pixel, before and after a clear, and a key must end the saver with
# exit code 0; a screenshot is left in the build folder. It exits 0 only then.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/setup.sh
source "$root/tests/wine/wine-prefix.sh"

# Why the 32-bit image cannot run here; nothing when it can.
why_not_32_bit() {
    if [ ! -x "$WINE32_LOADER" ]; then
        echo "there is no 32-bit Wine ($WINE32_LOADER; scripts/setup.sh says why)"
    elif [ "$(i386_mode)" = none ]; then
        echo "the kernel runs no 32-bit programs and no emulator is registered for them (scripts/setup.sh says why)"
    elif ! "$WINE32_LOADER" --version >/dev/null 2>&1; then
        echo "$WINE32_LOADER does not start"
    fi
}
why=$(why_not_32_bit)
if [ -z "$why" ]; then
    preset=win32
    loader=$WINE32_LOADER
    how=$(i386_how)
else
    preset=win64
    loader=$WINE64_LOADER
    how=native
    echo "run.sh: the 32-bit saver.scr cannot run here: $why; running the x86-64 one instead"
fi
build="$root/build/$preset"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset "$preset" >/dev/null
fi
targets=(saver)
[ -n "${DISPLAY:-}" ] || targets+=(e2e_driver)
cmake --build --preset "$preset" --target "${targets[@]}" >/dev/null
echo "run.sh: running the $preset saver.scr under $loader, $how"

wine_prefix_prepare "$build"
saver="$build/saver.scr"

if [ -n "${DISPLAY:-}" ]; then
    exec "$loader" "$saver" /s
fi

trap stop_wine_and_display EXIT
start_virtual_display
echo "run.sh: no DISPLAY: running on the virtual display $DISPLAY, checking what it draws"
work="$build/run-work"
rm -rf "$work"
mkdir -p "$work"
out="$work/driver.out"
timeout 300 "$loader" "$build/tests/wine/e2e_driver.exe" "$saver" "$work" drawing \
    </dev/null 2>"$work/driver.err" | tr -d '\r' | tee "$out" | sed 's/^/  /'
shot="$build/saver-screenshot.png"
rm -f "$shot"
[ -f "$work/e2e-screenshot.png" ] && cp "$work/e2e-screenshot.png" "$shot"
if grep -qx "1 passed, 0 failed" "$out" && [ -f "$shot" ]; then
    echo "run.sh: the saver drew the expected lines and ended on a key with exit code 0 ($how)"
    echo "run.sh: screenshot: $shot"
else
    echo "run.sh: the saver did not run as expected: $(grep -m1 '^FAIL' "$out" || echo "the driver ended without a verdict; see $work/driver.err")" >&2
    [ -f "$shot" ] && echo "run.sh: screenshot: $shot" >&2
    exit 1
fi
