# Runs the checker CHECK and passes when it rejects the effect (exit code 1) naming rule RULE,
# and, with SEEN, on a line that holds that text too.
execute_process(COMMAND ${CHECK} --ticks 400 OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE code)
message("${output}${errors}")
if(NOT code EQUAL 1)
    message(FATAL_ERROR "expected the check to reject the effect (exit code 1), got ${code}")
endif()
if(NOT output MATCHES "(^|\n)rule ${RULE} \\(")
    message(FATAL_ERROR "expected a line naming rule ${RULE}")
endif()
if(SEEN AND NOT output MATCHES "(^|\n)rule ${RULE} \\([^\n]*${SEEN}")
    message(FATAL_ERROR "expected the line naming rule ${RULE} to say \"${SEEN}\"")
endif()
