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
trap say_what_did_not_run EXIT

for preset in "${presets[@]}"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
done
scripts/reliability.sh
for preset in "${presets[@]}"; do
    echo "== tests: $preset"
    ctest --preset "$preset"
done
