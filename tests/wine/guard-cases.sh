# Sourced by the end-to-end run: the exception guard's cases under Wine, each run by the probe of
# every optimisation level (guard_probe_O0.exe, _Os, _O2 in FOLDER), one result line per case.
#   run_guard_cases FOLDER [emulated]
# Needs WINE_LOADER (the loader of the build's architecture), a prepared prefix and `result`.
# Whatever the probes write (Wine's note on the unhandled exception, a code a filter saw where it
# expected another) goes to FOLDER/guard-cases.log.

# Case, expected outcome (the codes guard_probe.cpp names), the kind of exception (fault: the
# processor's, raise: RaiseException), what it shows.
GUARD_CASES=(
    "null-write       10 fault a null-pointer write in the body is handled and the program goes on"
    "own-code         10 raise an own RaiseException code is handled and the filter sees that code"
    "dispatched       10 fault a fault in a window procedure under DispatchMessageA is handled"
    "nested-send      10 fault a fault in a nested SendMessageA is handled; messages work afterwards"
    "timer-tick       10 fault a fault in a WM_TIMER of the window's own timer is handled"
    "outer-frame      10 raise an inner frame's continue-search reaches the outer frame, which handles"
    "unhandled        13 raise continue-search with no outer frame ends the process with the code"
    "continue         11 raise continue-execution resumes the body, which returns its result"
    "registers-fault  10 fault every callee-saved register is intact after a handled fault"
    "registers-return 12 raise every callee-saved register is intact after a normal return"
    "system-filter    10 fault UnhandledExceptionFilter as the filter answers execute-the-handler"
)
GUARD_LEVELS=(O0 Os O2)
# The probe's outcome for a case handled in every respect but the code its filter saw.
GUARD_WRONG_CODE=29

# Under an emulator a processor fault reaches Wine with the emulator's idea of the trap (qemu's
# user mode: an illegal instruction, c000001d, for a null write), so a fault case whose only
# difference is that code is not a failure of the guard: it is reported skipped, with the codes.
# Any other difference fails there as it does natively.
run_guard_cases() {
    local folder="$1" emulated="${2:-}" log="$1/guard-cases.log" entry name expected kind what
    local level probe code got case_failed wrong_code_only seen lines_before
    : >"$log"
    for entry in "${GUARD_CASES[@]}"; do
        read -r name expected kind what <<<"$entry"
        got= case_failed= wrong_code_only=yes lines_before=$(wc -l <"$log")
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
            if [ "$code" != "$expected" ]; then
                case_failed=yes
                [ "$code" = "$GUARD_WRONG_CODE" ] || wrong_code_only=
            fi
        done
        if [ -z "$case_failed" ]; then
            result PASS "guard ($(IFS=/; echo "${GUARD_LEVELS[*]}")): $what"
        elif [ -n "$emulated" ] && [ "$kind" = fault ] && [ -n "$wrong_code_only" ]; then
            seen=$(tail -n "+$((lines_before + 1))" "$log" |
                grep -o 'saw code [0-9a-f]*, expected [0-9a-f]*' | sort -u | paste -sd ';')
            result SKIP "guard $name: $what: handled, but emulated the fault reaches the filter with the emulator's code (${seen:-no code written}), so the case cannot be proven here; got $got"
        else
            result FAIL "guard $name: $what: expected $expected, got $got"
        fi
    done
}
