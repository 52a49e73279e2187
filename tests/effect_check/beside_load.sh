#!/usr/bin/env bash
# Runs a check (the command line given) beside twice as many busy loops as the machine has cores,
# and one more, as on a machine doing other work; exits with the check's exit code.
set -u
spinners=()
for _ in $(seq 0 $((2 * $(nproc)))); do
    ( while :; do :; done ) &
    spinners+=($!)
done
"$@"
code=$?
kill "${spinners[@]}" 2>/dev/null
wait "${spinners[@]}" 2>/dev/null
exit $code
