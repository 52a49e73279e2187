#!/usr/bin/env bash
# Builds the saver and runs it full screen under Wine: the 32-bit saver.scr, which is what users
# get, under the 32-bit loader where the machine has it, else the x86-64 one. On $DISPLAY it runs
# until you end it (a key, a click or a mouse move); without a display it runs for a few seconds
# on a virtual one and leaves a screenshot in the build folder.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/setup.sh
source "$root/tests/wine/wine-prefix.sh"
if [ -x "$WINE32_LOADER" ]; then
    preset=win32
    loader=$WINE32_LOADER
else
    preset=win64
    loader=$WINE64_LOADER
fi
build="$root/build/$preset"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset "$preset" >/dev/null
fi
cmake --build --preset "$preset" --target saver >/dev/null
echo "running the $preset saver.scr under $loader"

wine_prefix_prepare "$build"
saver="$build/saver.scr"

if [ -n "${DISPLAY:-}" ]; then
    exec "$loader" "$saver" /s
fi

saver_pid=
cleanup() {
    [ -n "$saver_pid" ] && kill "$saver_pid" 2>/dev/null || true
    stop_wine_and_display
}
trap cleanup EXIT
start_virtual_display
echo "no DISPLAY: running on the virtual display $DISPLAY for a few seconds"
xdotool mousemove 300 300
"$loader" "$saver" /s &
saver_pid=$!
sleep 5
shot="$build/saver-screenshot.png"
import -window root "$shot"
echo "screenshot: $shot"
# A person ends it with a key.
xdotool key x
for _ in $(seq 1 50); do
    kill -0 "$saver_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$saver_pid" 2>/dev/null; then
    echo "the saver did not end on a key press" >&2
    exit 1
fi
wait "$saver_pid" && code=0 || code=$?
saver_pid=
echo "the saver ended with exit code $code"
