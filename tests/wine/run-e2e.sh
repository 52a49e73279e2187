#!/usr/bin/env bash
# The end-to-end run: the built saver under Wine on a virtual display, driven by e2e_driver (built
# for the same architecture and run by the same loader), plus the exception guard's probes and a
# look at what Wine's loader needs for the image. The 32-bit build also runs the version matrix.
# Prints one line per scenario and, last, "N passed, N failed". Exits 77 (skipped) when this
# architecture's loader is not installed.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
while [ $# -gt 0 ]; do
    case "$1" in
        --arch) arch="$2" ;;
        --loader) loader="$2" ;;
        --saver) saver="$2" ;;
        --driver) driver="$2" ;;
        --password-stub) password_stub="$2" ;;
        --fault-stub) fault_stub="$2" ;;
        --mpr-stub) mpr_stub="$2" ;;
        --build-dir) build="$2" ;;
        *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
    shift 2
done
source "$here/wine-prefix.sh"
source "$here/guard-cases.sh"

# Nothing of this architecture's run counts as passed when it cannot run here.
if [ ! -x "$loader" ]; then
    echo "SKIP $arch end-to-end run: no Wine loader $loader on this machine (scripts/setup.sh says why)"
    exit 77
fi
if ! "$loader" --version >/dev/null 2>&1; then
    echo "SKIP $arch end-to-end run: $loader does not run here (a kernel without support for its programs?)"
    exit 77
fi

passed=0
failed=0
result() { # result PASS|FAIL text
    echo "$1 $2"
    case "$1" in PASS) passed=$((passed + 1)) ;; FAIL) failed=$((failed + 1)) ;; esac
}

started=$SECONDS
wine_prefix_prepare "$build" || { echo "0 passed, 1 failed"; exit 1; }
WINE_LOADER=$loader
work="$build/tests/wine/e2e-work"
rm -rf "$work"
mkdir -p "$work/w95" "$work/w95fault" "$work/ntpw" "$work/nocrt" "$work/log"
cp "$saver" "$work/w95/saver95.scr"
cp "$password_stub" "$work/w95/PASSWORD.CPL"
cp "$mpr_stub" "$work/w95/MPR.DLL"
cp "$saver" "$work/w95fault/saver95.scr"
cp "$fault_stub" "$work/w95fault/PASSWORD.CPL"
cp "$saver" "$work/ntpw/saver.scr"
cp "$password_stub" "$work/ntpw/PASSWORD.CPL"
if [ "$arch" = i686 ]; then
    mkdir -p "$work/matrix"
    for entry in "${WINE_VERSION_NAMES[@]}"; do
        [[ "${entry%%=*}" == saver-* ]] && cp "$saver" "$work/matrix/${entry%%=*}"
    done
    cp "$password_stub" "$work/matrix/PASSWORD.CPL"
    cp "$mpr_stub" "$work/matrix/MPR.DLL"
fi

# The display comes first: the first program of a prefix's session that has windows brings up
# Wine's desktop process, and every later one shares its display, or its lack of one.
trap stop_wine_and_display EXIT
start_virtual_display || { echo "0 passed, 1 failed"; exit 1; }

# --- What the loader needs -----------------------------------------------------------------
# Wine's own system DLLs need msvcrt.dll, so refusing it to a process stops every program there,
# the saver too. What the loader says about the image itself still tells: it names the DLLs that
# the image needs and cannot have. The driver, which has the C runtime, shows that the refusal
# works.
loader_needs_from_image() { # loader_needs_from_image PROGRAM: the DLLs the loader missed for it
    WINEDEBUG=-all,err+module timeout 30 "$WINE_LOADER" "$1" /x 2>&1 </dev/null |
        sed -n "s/.*Library \([^ ]*\) (which is needed by L\".*\\\\$(basename "$1")\") not found.*/\1/p" |
        tr 'A-Z' 'a-z' | sort -u | paste -sd ' '
}
check_runtime_needs() {
    cp "$driver" "$work/nocrt/crt-canary.exe"
    cp "$saver" "$work/nocrt/nocrt-saver.scr"
    local canary saver_needs
    canary=$(loader_needs_from_image "$work/nocrt/crt-canary.exe")
    saver_needs=$(loader_needs_from_image "$work/nocrt/nocrt-saver.scr")
    if [[ " $canary " != *" msvcrt.dll "* ]]; then
        result FAIL "msvcrt refused: the refusal did not stop a program with the C runtime (loader missed: ${canary:-nothing})"
    elif [[ " $saver_needs " == *" msvcrt.dll "* ]]; then
        result FAIL "msvcrt refused: the loader says the saver itself needs msvcrt.dll"
    else
        result PASS "msvcrt refused: the C runtime's program cannot start, the saver needs no msvcrt.dll of its own (loader missed for it only: ${saver_needs:-nothing})"
    fi
}
check_runtime_needs

# --- The exception guard -------------------------------------------------------------------
run_guard_cases "$(dirname "$driver")"

# --- The saver, driven -----------------------------------------------------------------------
out="$work/driver.out"
timeout 780 "$WINE_LOADER" "$driver" "$saver" "$work" </dev/null 2>"$work/driver.err" | tr -d "\r" | tee "$out"
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
echo "  note: $arch run under $WINE_LOADER took $((SECONDS - started)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
