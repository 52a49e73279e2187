#!/usr/bin/env bash
# Checks an effect against the effect contract in seconds, on the simulated Win32 (no Wine, no
# Windows): builds the given sources with the framework and the checker, runs them through the
# checker's sessions and prints one line per broken rule. Exits 0 when every rule holds.
#
# Usage: scripts/check-effect.sh [--golden FILE | --write-golden FILE [--golden-ticks N]]
#                                [--ticks N] [--all] FILE.cpp...
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
usage() {
    sed -n '/^# Usage:/,/^[^#]/{/^#/s/^# \{0,1\}//p}' "$0" >&2
    exit 2
}

options=()
sources=()
while [ $# -gt 0 ]; do
    case "$1" in
        --golden|--write-golden|--golden-ticks|--ticks)
            [ $# -ge 2 ] || usage
            options+=("$1" "$2")
            shift 2 ;;
        --all) options+=("$1"); shift ;;
        -*) usage ;;
        *) sources+=("$(realpath "$1")"); shift ;;
    esac
done
[ ${#sources[@]} -gt 0 ] || usage

if [ ! -f /usr/include/wine/wine/windows/windows.h ]; then
    echo "check-effect.sh: the Win32 headers are missing; scripts/setup.sh installs them (libwine-dev)" >&2
    exit 2
fi

# The effect's name: its first file's, as a target name.
name=$(basename "${sources[0]}")
name=${name%.*}
name=${name//[^A-Za-z0-9_]/_}
build="$top/build/check-effect"
log="$build/build.log"
mkdir -p "$build"
list=$(IFS=';'; echo "${sources[*]}")
if ! { cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
        -DSAVER_CHECK_NAME="$name" -DSAVER_CHECK_SOURCES="$list" &&
       cmake --build "$build" --target "${name}_check" -j "$(nproc)"; } >"$log" 2>&1; then
    grep -E 'error|undefined reference' "$log" >&2 || cat "$log" >&2
    missing=$(sed -n "s/.*undefined reference to \`\([A-Za-z0-9_]*\)'.*/\1/p" "$log" | sort -u | paste -sd ' ')
    if [ -n "$missing" ]; then
        echo "check-effect.sh: the effect calls what the simulated Win32 does not provide: $missing" >&2
        echo "check-effect.sh: (an effect draws with GDI and USER; a C runtime call has no place in a saver)" >&2
    fi
    echo "check-effect.sh: the effect did not build; the whole log is $log" >&2
    exit 2
fi
exec "$build/${name}_check" --name "$name" "${options[@]}"
