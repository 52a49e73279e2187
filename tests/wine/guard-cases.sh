# Sourced by the end-to-end run: the exception guard's cases under Wine, each run by the probe of
# every optimisation level (guard_probe_O0.exe, _Os, _O2 in FOLDER), one result line per case.
#   run_guard_cases FOLDER
# Needs WINE_LOADER (the loader of the build's architecture), a prepared prefix and `result`.
# Whatever the probes write (Wine's note on the unhandled exception) goes to FOLDER/guard-cases.log.

# Case, expected outcome (the codes guard_probe.cpp names), what it shows.
GUARD_CASES=(
    "null-write       10 a null-pointer write in the body is handled and the program goes on"
    "own-code         10 an own RaiseException code is handled and the filter sees that code"
    "dispatched       10 a fault in a window procedure under DispatchMessageA is handled"
    "nested-send      10 a fault in a nested SendMessageA is handled; messages work afterwards"
    "timer-tick       10 a fault in a WM_TIMER of the window's own timer is handled"
    "outer-frame      10 an inner frame's continue-search reaches the outer frame, which handles"
    "unhandled        13 continue-search with no outer frame ends the process with the code"
    "continue         11 continue-execution resumes the body, which returns its result"
    "registers-fault  10 every callee-saved register is intact after a handled fault"
    "registers-return 12 every callee-saved register is intact after a normal return"
    "system-filter    10 UnhandledExceptionFilter as the filter answers execute-the-handler"
)
GUARD_LEVELS=(O0 Os O2)

run_guard_cases() {
    local folder="$1" log="$1/guard-cases.log" entry name expected what level probe code
    local got failed
    : >"$log"
    for entry in "${GUARD_CASES[@]}"; do
        read -r name expected what <<<"$entry"
        got= failed=
        for level in "${GUARD_LEVELS[@]}"; do
            probe="$folder/guard_probe_$level.exe"
            if [ -f "$probe" ]; then
                # The probe waits 10 s for its child; 124 means the probe itself hung.
                timeout 20 "$WINE_LOADER" "$probe" "$name" </dev/null >>"$log" 2>&1
                code=$?
            else
                code="not built"
            fi
            got+="${got:+, }$level $code"
            [ "$code" = "$expected" ] || failed=1
        done
        if [ -z "$failed" ]; then
            result PASS "guard ($(IFS=/; echo "${GUARD_LEVELS[*]}")): $what"
        else
            result FAIL "guard $name: $what: expected $expected, got $got"
        fi
    done
}
