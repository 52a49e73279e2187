#!/usr/bin/env bash
# Every function that the image check lets a saver import is defined by the simulated Win32, so
# that an effect that passes the image check also links on the host. The lines for one
# architecture only (the exception guard's unwind) are the guard's: the host has its own.
# Usage: simulated_imports.sh ALLOWED-IMPORTS SIMULATOR-LIBRARY
set -euo pipefail
allowed=$(awk '{ sub(/#.*/, "") } NF == 1 { sub(/^[^:]*:/, "", $1); print $1 }' "$1" | sort -u)
defined=$(nm --defined-only "$2" | awk '$2 == "T" { print $3 }' | sort -u)
missing=$(comm -23 <(echo "$allowed") <(echo "$defined"))
if [ -n "$missing" ]; then
    echo "allowed by $1 but not defined by the simulator: $(tr '\n' ' ' <<<"$missing")"
    exit 1
fi
echo "the simulator defines all $(wc -l <<<"$allowed") functions that $1 allows"
