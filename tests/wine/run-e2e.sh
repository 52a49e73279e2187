#!/usr/bin/env bash
# The end-to-end run: the built saver under wine64 on a virtual display, driven by e2e_driver, plus
# a static look at the 32-bit product. Prints one line per scenario and, last, "N passed, N failed".
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
while [ $# -gt 0 ]; do
    case "$1" in
        --saver) saver="$2" ;;
        --driver) driver="$2" ;;
        --password-stub) password_stub="$2" ;;
        --fault-stub) fault_stub="$2" ;;
        --mpr-stub) mpr_stub="$2" ;;
        --build-dir) build="$2" ;;
        --source-dir) source="$2" ;;
        *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
    shift 2
done
source "$here/wine-prefix.sh"

passed=0
failed=0
result() { # result PASS|FAIL|SKIP text
    echo "$1 $2"
    case "$1" in PASS) passed=$((passed + 1)) ;; FAIL) failed=$((failed + 1)) ;; esac
}

# --- The 32-bit product, statically ---------------------------------------------------------
check_win32_image() {
    local image="$source/build/win32/saver.scr"
    if [ ! -f "$image" ]; then
        echo "SKIP 32-bit image: $image not built (cmake --preset win32 && cmake --build --preset win32)"
        return
    fi
    local report
    if report="$("$source/scripts/check-image.sh" "$image" i686 2>&1)"; then
        result PASS "32-bit image: PE32, GUI 4.0, no resources; $(grep -E '^(imports|size):' <<<"$report" | tr '\n' ' ')"
    else
        result FAIL "32-bit image: $(grep -Ev '^ok:' <<<"$report" | tr '\n' ' ')"
    fi
}
check_win32_image

# --- Wine ------------------------------------------------------------------------------------
started=$SECONDS
wine_prefix_prepare "$build" || { echo "0 passed, 1 failed"; exit 1; }
work="$build/tests/wine/e2e-work"
rm -rf "$work"
mkdir -p "$work/w95" "$work/w95fault" "$work/ntpw" "$work/log"
cp "$saver" "$work/w95/saver95.scr"
cp "$password_stub" "$work/w95/PASSWORD.CPL"
cp "$mpr_stub" "$work/w95/MPR.DLL"
cp "$saver" "$work/w95fault/saver95.scr"
cp "$fault_stub" "$work/w95fault/PASSWORD.CPL"
cp "$saver" "$work/ntpw/saver.scr"
cp "$password_stub" "$work/ntpw/PASSWORD.CPL"

trap stop_wine_and_display EXIT
start_virtual_display || { echo "$passed passed, $((failed + 1)) failed"; exit 1; }

out="$work/driver.out"
timeout 480 "$WINE_LOADER" "$driver" "$saver" "$work" </dev/null 2>"$work/driver.err" | tr -d "\r" | tee "$out"
closing="$(grep -E "^[0-9]+ passed, [0-9]+ failed$" "$out" | tail -n 1)"
if [[ "$closing" =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
    passed=$((passed + BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[2]))
else
    echo "FAIL driver: no closing line (timed out or crashed); see $work/driver.err"
    failed=$((failed + 1))
fi
[ -f "$work/e2e-screenshot.png" ] && cp "$work/e2e-screenshot.png" "$build/e2e-screenshot.png" &&
    echo "  note: screenshot of the full-screen saver: $build/e2e-screenshot.png"
echo "  note: wine part took $((SECONDS - started)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
