#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test. Ends with one line for each
# part that did not run, or ran emulated, and why.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

presets=(host host-asan win32 win64)
# Each Windows build's end-to-end run leaves a line when it did not run everything natively.
windows_presets=(win32 win64)
e2e_summary() { echo "build/$1/tests/wine/e2e-summary.txt"; }
for preset in "${windows_presets[@]}"; do
    rm -f "$(e2e_summary "$preset")"
done
say_what_did_not_run() {
    local preset
    for preset in "${windows_presets[@]}"; do
        [ -f "$(e2e_summary "$preset")" ] &&
            echo "test.sh: $preset end-to-end run $(cat "$(e2e_summary "$preset")")"
    done
    return 0
}
# Tests still running beside are stopped with the script.
stop_tests_beside() {
    local pid
    for pid in "${beside[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
}
declare -A beside=()
trap 'stop_tests_beside; say_what_did_not_run' EXIT

build() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j "$(nproc)"
}
for preset in "${windows_presets[@]}"; do
    build "$preset"
done

# The Windows builds' tests spend their time waiting on Wine, its timers and its displays, so they
# run beside the host's, which keep the processors busy. They share nothing: each build has its
# own prefixes, each display its own number, and within a preset a Wine test locks its prefix.
# Their output comes whole when they end; the host builds are made while they run.
tests_log() { echo "build/$1/tests/ctest.log"; }
for preset in "${windows_presets[@]}"; do
    mkdir -p "$(dirname "$(tests_log "$preset")")"
    ctest --preset "$preset" -j "$(nproc)" >"$(tests_log "$preset")" 2>&1 &
    beside[$preset]=$!
    echo "== tests: $preset, beside the others: $(tests_log "$preset")"
done
for preset in "${presets[@]}"; do
    [ -n "${beside[$preset]:-}" ] || build "$preset"
done
status=0
scripts/reliability.sh || status=1
for preset in "${presets[@]}"; do
    [ -z "${beside[$preset]:-}" ] || continue
    echo "== tests: $preset"
    ctest --preset "$preset" -j "$(nproc)" || status=1
done
for preset in "${windows_presets[@]}"; do
    code=0
    wait "${beside[$preset]}" || code=$?
    unset "beside[$preset]"
    echo "== tests: $preset (ran beside the others)"
    cat "$(tests_log "$preset")"
    [ "$code" -eq 0 ] || status=1
done
exit $status
