# Runs the checker CHECK with ARGS (options separated by spaces) and passes when it says what is
# expected:
#   RULE   the rule it rejects the effect by (exit code 1): its number, or the word its line
#          starts with (crash, hang, golden trace); empty: it accepts the effect (exit code 0)
#   SAYS   a regular expression that the line of that rule matches after its head: what was seen
#          and where (the line's semicolons read as commas); for an effect accepted, its output
#   ALONE  no line of any other rule
separate_arguments(args UNIX_COMMAND "${ARGS}")
execute_process(COMMAND ${CHECK} ${args} OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE code)
message("${output}${errors}")

if(RULE STREQUAL "")
    if(NOT code EQUAL 0)
        message(FATAL_ERROR "expected the check to accept the effect (exit code 0), got ${code}")
    endif()
    if(NOT output MATCHES "${SAYS}")
        message(FATAL_ERROR "expected it to say: ${SAYS}")
    endif()
    return()
endif()
if(NOT code EQUAL 1)
    message(FATAL_ERROR "expected the check to reject the effect (exit code 1), got ${code}")
endif()

if(RULE MATCHES "^[0-9]+$")
    set(head "rule ${RULE} \\([^)]*\\): ")
else()
    set(head "${RULE}")
endif()
# One line at a time: a list of the lines, whose own semicolons would split them.
string(REPLACE ";" "," output "${output}")
string(REGEX MATCHALL "[^\n]+" lines "${output}")
set(found FALSE)
set(others)
foreach(line IN LISTS lines)
    if(line MATCHES "^${head}")
        if(line MATCHES "^${head}.*${SAYS}")
            set(found TRUE)
        endif()
    elseif(line MATCHES "^(rule [0-9]+ \\(|crash: |hang: )")
        list(APPEND others "${line}")
    endif()
endforeach()
if(NOT found)
    message(FATAL_ERROR "expected a line of ${RULE} saying: ${SAYS}")
endif()
if(ALONE AND others)
    message(FATAL_ERROR "expected no line of another rule, got: ${others}")
endif()
