#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

presets=(host host-asan win32 win64)
for preset in "${presets[@]}"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
done
scripts/reliability.sh
for preset in "${presets[@]}"; do
    echo "== tests: $preset"
    ctest --preset "$preset"
done
