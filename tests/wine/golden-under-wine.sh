#!/usr/bin/env bash
# Each shipped saver's image run full screen under wine64, its effect's calls in its first ticks
# compared with its golden trace and the simulated Win32's (scripts/check-effect.sh --wine).
#   golden-under-wine.sh --build-dir DIR 'NAME|SOURCE,SOURCE...[|KNOWN]'...
# KNOWN: a difference the simulated Win32 is known to have from Wine for that saver, a line the
# comparison must show: the saver passes while its calls differ just so, and fails when they
# differ otherwise, or agree (then the row no longer needs it).
# Exits 0 when every saver's calls are as their rows say, 1 when one's are not, 77 when there is
# no Wine here.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
[ "${1:-}" = --build-dir ] && [ $# -ge 3 ] || { echo "usage: $0 --build-dir DIR 'NAME|SOURCES[|KNOWN]'..." >&2; exit 2; }
build=$2
shift 2
export CHECK_EFFECT_BUILD="$build/golden-under-wine"
status=0
for row in "$@"; do
    IFS='|' read -r name list known <<<"$row"
    IFS=, read -ra sources <<<"$list"
    image=$(cat "$build/savers/$name.path")
    output=$("$root/scripts/check-effect.sh" --wine --image "$image" --map "${image%.scr}.map" "${sources[@]}" 2>&1)
    result=$?
    echo "$output"
    [ $result -eq 77 ] && exit 77
    if [ -z "$known" ] && [ $result -ne 0 ]; then
        echo "golden-under-wine: $name: its calls under Wine are not those of its golden trace (above)"
        status=1
    elif [ -n "$known" ] && { [ $result -eq 0 ] || ! grep -qF -- "$known" <<<"$output"; }; then
        echo "golden-under-wine: $name: its row expects this known difference, which the run above does not show:"
        echo "  $known"
        status=1
    elif [ -n "$known" ]; then
        echo "golden-under-wine: $name: differs from Wine as its row says it does (a known gap of the simulated Win32)"
    fi
done
exit $status
