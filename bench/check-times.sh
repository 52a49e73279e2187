#!/usr/bin/env bash
# The effect checker's benchmark: scripts/check-effect.sh on every effect of the tree and on the
# benchmark's own inputs (bench/check/: a starfield of 1 500 stars drawn with SetPixel, and the
# same stars in a DIB section), each after its first build. Prints, per effect: the check's time,
# the effect's calls a tick (those of its first full-screen ticks, as its golden trace counts
# them), the check's time over the calls of its longest session (a cost per recorded call), and
# the peak memory of its largest process. Not a test: the figures are the machine's.
#   bench/check-times.sh ["FILE.cpp..."...]     (each argument one effect's sources)
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${CHECK_EFFECT_BUILD:-$top/build/check-bench}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
TRACE_TICKS=30

# The effect a newcomer starts from (scripts/new-effect.sh).
"$top/scripts/new-effect.sh" --print myeffect >"$work/myeffect.cpp"
effects=("$@")
if [ ${#effects[@]} -eq 0 ]; then
    effects=("$work/myeffect.cpp" "$top/effect/line_effect.cpp $top/effect/config_hooks.cpp" "$top"/examples/*.cpp "$top"/bench/check/*.cpp)
fi

check() { CHECK_EFFECT_BUILD="$build" "$top/scripts/check-effect.sh" --no-golden "$@"; }

printf '%-16s %10s %14s %12s %12s  %s\n' effect "check (s)" "calls a tick" "µs a call" "peak (MB)" verdict
for sources in "${effects[@]}"; do
    read -ra effect <<<"$sources"
    name=$(basename "${effect[0]}" .cpp)
    # The first build, and the calls of the first ticks.
    check --ticks "$TRACE_TICKS" --write-golden "$work/$name.trace" --golden-ticks "$TRACE_TICKS" "${effect[@]}" \
        >/dev/null 2>&1 || true
    calls=$(awk '/^== /{n++} n==1 && !/^== /{c++} END{print c+0}' "$work/$name.trace")
    per_tick=$((calls / TRACE_TICKS))
    start=$(date +%s.%N)
    verdict=$(/usr/bin/time -f '%M' -o "$work/peak" env CHECK_EFFECT_BUILD="$build" \
                  "$top/scripts/check-effect.sh" --no-golden "${effect[@]}" 2>&1 | tail -1 || true)
    seconds=$(echo "$(date +%s.%N) - $start" | bc)
    peak=$(( $(tail -1 "$work/peak") / 1024 ))
    ticks=$(echo "$verdict" | sed -n 's/.*(\([0-9]*\) ticks in the longest).*/\1/p')
    cost=-
    if [ -n "$ticks" ] && [ "$per_tick" -gt 0 ]; then
        cost=$(echo "scale=2; $seconds * 1000000 / ($per_tick * $ticks)" | bc)
    fi
    printf '%-16s %10.1f %14d %12s %12d  %s\n' "$name" "$seconds" "$per_tick" "$cost" "$peak" \
        "$(echo "$verdict" | sed 's/^[^:]*: //' | cut -c1-60)"
done
