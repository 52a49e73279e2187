// A structured-exception frame around a call. This is the one piece that differs per target:
// MinGW-w64's GCC has no __try/__except, so each Windows target has its own frame mechanism, and
// the host build gets a simulated one.
#pragma once
#include <windows.h>

typedef LONG (*GUARDED_BODY)(void *context);
typedef LONG (*GUARD_FILTER)(EXCEPTION_POINTERS *info);

// Calls body(context). Returns TRUE with *result = body's result when it returns normally. When a
// structured exception escapes body, filter decides as an SEH filter does:
// EXCEPTION_EXECUTE_HANDLER unwinds the frames inside body and returns FALSE (*result untouched);
// EXCEPTION_CONTINUE_SEARCH lets the exception travel on to outer frames;
// EXCEPTION_CONTINUE_EXECUTION resumes the faulting code.
// An exception passed on that no outer frame handles reaches the system's last handler, which ends
// the process with the exception's code as its exit code: the program links no C runtime, so no
// runtime handler stands in between.
BOOL RunGuarded(GUARDED_BODY body, void *context, GUARD_FILTER filter, LONG *result);
