#!/usr/bin/env bash
# The end-to-end run: the built saver under Wine on a virtual display, driven by e2e_driver (built
# for the same architecture and run by the same loader), plus the exception guard's probes and a
# look at what Wine's loader needs for the image. The 32-bit build also runs the version matrix.
# Prints one line per scenario (PASS, FAIL or SKIP) and, last, "HOW: N passed, N failed, N
# skipped", where HOW says whether the loader ran natively or emulated. The counts are those of
# the lines printed, whoever printed them. Exits 77 (skipped) when this architecture's loader is
# not installed or cannot run here. E2E_GROUPS, when set, names the driver's groups to run (for
# example "example,settings"), and the others are left out.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
while [ $# -gt 0 ]; do
    case "$1" in
        --arch) arch="$2" ;;
        --loader) loader="$2" ;;
        --saver) saver="$2" ;;
        --example) example="$2" ;;
        --pixel-example) pixel_example="$2" ;;
        --clock-example) clock_example="$2" ;;
        --desktop-example) desktop_example="$2" ;;
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

# A line for scripts/test.sh's closing summary, left only by a run that did not run everything
# natively.
summary="$build/tests/wine/e2e-summary.txt"
mkdir -p "$(dirname "$summary")"
rm -f "$summary"
skip_run() {
    echo "SKIP $arch end-to-end run: $1"
    echo "did not run: $1" >"$summary"
    exit 77
}

# Nothing of this architecture's run counts as passed when it cannot run here.
[ -x "$loader" ] || skip_run "no Wine loader $loader on this machine (scripts/setup.sh says why)"
if ! "$loader" --version >/dev/null 2>&1; then
    skip_run "$loader does not run here: the kernel runs no programs of its architecture and no emulator is registered for them (scripts/setup.sh says why)"
fi

# How this architecture's programs run: an x86-64 loader natively; the 32-bit one natively or
# under an emulator registered with the kernel, whoever registered it.
how=native
[ "$arch" = i686 ] && how=$(i386_how)

result() { # result PASS|FAIL|SKIP text
    echo "$1 $2"
}

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

started=$SECONDS
log="$build/tests/wine/e2e-run.log"
mkdir -p "$(dirname "$log")"
# Everything the run prints goes to the log, and its lines are what is counted.
run() {
    wine_prefix_prepare "$build" || { result FAIL "the Wine prefix could not be prepared"; return; }
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
    mkdir -p "$work/example" "$work/example95"
    cp "$example" "$work/example/example.scr"
    cp "$example" "$work/example95/saver95.scr"
    mkdir -p "$work/pixel" "$work/desktop"
    cp "$pixel_example" "$work/pixel/pixel.scr"
    mkdir -p "$work/clock"
    cp "$clock_example" "$work/clock/clock.scr"
    rm -f "$work/desktop/desktop.scr"
    [ -z "${desktop_example:-}" ] || cp "$desktop_example" "$work/desktop/desktop.scr"
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
    start_virtual_display || { result FAIL "no virtual display"; return; }

    # --- What the loader needs -----------------------------------------------------------------
    check_runtime_needs

    # --- The exception guard -------------------------------------------------------------------
    run_guard_cases "$(dirname "$driver")" "$([[ "$how" == emulated* ]] && echo emulated)"

    # --- The saver, driven -----------------------------------------------------------------------
    out="$work/driver.out"
    # E2E_GROUPS=example,exit: only those groups' scenarios (the driver's third argument).
    timeout 780 "$WINE_LOADER" "$driver" "$saver" "$work" ${E2E_GROUPS:+"$E2E_GROUPS"} </dev/null 2>"$work/driver.err" | tr -d "\r" | tee "$out"
    # The driver's own closing line must agree with the lines it printed: one missing means it ended
    # early (timed out or crashed) and scenarios never ran.
    closing="$(grep -E "^[0-9]+ passed, [0-9]+ failed$" "$out" | tail -n 1)"
    if [ "$closing" != "$(grep -c '^PASS ' "$out") passed, $(grep -c '^FAIL ' "$out") failed" ]; then
        result FAIL "driver: no closing line, or one that does not count its own lines (timed out or crashed?); see $work/driver.err"
    fi
    [ -f "$work/e2e-screenshot.png" ] && cp "$work/e2e-screenshot.png" "$build/e2e-screenshot.png" &&
        echo "  note: screenshot of the full-screen saver: $build/e2e-screenshot.png"

    run_on_two_monitors
}

# The rows of two monitors, on a display of their own, in a prefix of their own whose X11 driver
# takes the monitors from Xinerama.
run_on_two_monitors() {
    stop_wine_and_display
    "$WINE_SERVER" -w 2>/dev/null || true
    wine_prefix_prepare "$build/two-monitors" || { result FAIL "two monitors: the Wine prefix could not be prepared"; return; }
    WINE_LOADER=$loader
    wine_prefix_use_xinerama
    start_two_monitor_display || { result FAIL "two monitors: no display of two monitors (Xephyr inside Xvfb)"; return; }
    local out="$work/monitors.out" closing
    timeout 300 "$WINE_LOADER" "$driver" "$saver" "$work" monitors </dev/null 2>"$work/monitors.err" |
        tr -d "\r" | tee "$out" | grep -vE "^[0-9]+ passed, [0-9]+ failed$"
    closing="$(grep -E "^[0-9]+ passed, [0-9]+ failed$" "$out" | tail -n 1)"
    if [ "$closing" != "$(grep -c '^PASS ' "$out") passed, $(grep -c '^FAIL ' "$out") failed" ]; then
        result FAIL "two monitors: the driver's closing line is missing or does not count its lines (timed out or crashed?); see $work/monitors.err"
    fi
}
run 2>&1 | tee "$log"
passed=$(grep -c '^PASS ' "$log")
failed=$(grep -c '^FAIL ' "$log")
skipped=$(grep -c '^SKIP ' "$log")
echo "  note: $arch run under $loader, $how, took $((SECONDS - started)) s"
echo "${how%% *}: $passed passed, $failed failed, $skipped skipped"
if [ "$how" != native ] || [ "$skipped" -gt 0 ]; then
    skipped_names=$(sed -n 's/^SKIP \([^:]*\):.*/\1/p' "$log" | paste -sd ',' | sed 's/,/, /g')
    echo "ran ${how}: $passed passed, $failed failed, $skipped skipped${skipped_names:+ ($skipped_names: the SKIP lines of the run say why)}" >"$summary"
fi
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
