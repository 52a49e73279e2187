#!/usr/bin/env bash
# The reliability run: each fuzz target for about a minute from its seed corpus (fixed seed,
# counted runs, so a run repeats), then valgrind's memcheck over the host unit tests.
#
#   scripts/reliability.sh           the counted runs, as the test command does
#   scripts/reliability.sh SECONDS   each target for SECONDS instead, growing a kept corpus in
#                                    build/fuzz/corpus/ from one run to the next
#
# Expects the host preset to be built (build/host/tests/unit/saver_tests); builds it if not.
set -euo pipefail
cd "$(dirname "$0")/.."

duration="${1:-}"
# Counted runs that take about a minute each on this project's machines (2 cores).
declare -A runs=([command_line_fuzz]=1500000 [session_fuzz]=20000)
targets=(command_line_fuzz session_fuzz)
failed=0

echo "== reliability: building the fuzz targets"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null

for target in "${targets[@]}"; do
    name="${target%_fuzz}"
    seeds="tests/fuzz/corpus/$name"
    if [ -n "$duration" ]; then
        corpus="build/fuzz/corpus/$name"
        limit=(-max_total_time="$duration")
    else
        corpus="build/fuzz/run/$name"
        rm -rf "$corpus"
        limit=(-seed=1 -runs="${runs[$target]}")
    fi
    artifacts="build/fuzz/artifacts/$name"
    mkdir -p "$corpus" "$artifacts"
    rm -f "$artifacts"/crash-* "$artifacts"/leak-* "$artifacts"/timeout-* "$artifacts"/oom-*
    log="build/fuzz/$name.log"
    echo "== fuzz: $target (${duration:+$duration s}${duration:-${runs[$target]} runs, seed 1})"
    start=$SECONDS
    status=0
    "build/fuzz/tests/fuzz/$target" "${limit[@]}" -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$corpus" "$seeds" >"$log" 2>&1 || status=$?
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    if [ -z "$executions" ]; then
        executions=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#')
    fi
    crashes=$(find "$artifacts" -type f | wc -l)
    echo "fuzz: $target: ${executions:-0} executions in $((SECONDS - start)) s, $crashes crashes, corpus $(find "$corpus" -type f | wc -l) inputs"
    if [ "$status" -ne 0 ] || [ "$crashes" -ne 0 ]; then
        failed=1
        grep -E -A1 'check failed|ERROR:' "$log" | head -6 || true
        echo "fuzz: $target: reproduce with build/fuzz/tests/fuzz/$target $(find "$artifacts" -type f | head -1)"
    fi
done

tests=build/host/tests/unit/saver_tests
if [ ! -x "$tests" ]; then
    cmake --preset host >/dev/null
    cmake --build --preset host -j "$(nproc)" >/dev/null
fi
echo "== valgrind memcheck: $tests"
start=$SECONDS
status=0
# The soak test's full length would take valgrind an hour; a short session still covers its code.
SAVER_SOAK_TICKS=2000 valgrind --error-exitcode=1 --leak-check=full --quiet \
    "$tests" --gtest_brief=1 >build/fuzz/valgrind.log 2>&1 || status=$?
tail -3 build/fuzz/valgrind.log
if [ "$status" -ne 0 ]; then
    failed=1
    if grep -qE '^==[0-9]+==' build/fuzz/valgrind.log; then
        grep -E '^==[0-9]+==' build/fuzz/valgrind.log | head -30
        echo "valgrind: memcheck errors in $((SECONDS - start)) s; see build/fuzz/valgrind.log"
    else
        grep -F '[  FAILED  ]' build/fuzz/valgrind.log | head -10 || true
        echo "valgrind: no memcheck error, but tests failed (exit $status); see build/fuzz/valgrind.log"
    fi
else
    echo "valgrind: no error in $((SECONDS - start)) s"
fi

if [ "$failed" -ne 0 ]; then
    echo "reliability: FAILED"
    exit 1
fi
echo "reliability: passed"
