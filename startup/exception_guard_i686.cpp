// The i686 exception frame: a registration record on the thread's handler chain (FS:[0]) whose
// handler asks the caller's filter and, to handle, unwinds the chain and resumes in the frame.
//
// The frame and the resumption are written in assembly: only there is it certain which registers
// hold what when control arrives from the handler, and the compiler cannot move code across a
// frame it does not see. <excpt.h>'s __try1 would only push the record; it gives no way back
// into the frame.
#include "startup/exception_guard.h"

#include <excpt.h>

#if !defined(__i386__)
#error "this frame is for i686 Windows only"
#endif

namespace {

// The system's view of a record ends at handler; the filter after it is the guard's own. The
// record lies at a fixed place below the frame's EBP, which is how the resumption finds the frame.
struct GuardRecord {
    GuardRecord *next;
    void *handler;
    GUARD_FILTER filter;
};

}  // namespace

static_assert(sizeof(GuardRecord) == 12, "the frame's assembly builds the record as three words");

// BOOL exception_guard_frame_x86(body, context, filter, result), cdecl.
//
// EBX, ESI and EDI are saved because the landing path arrives with whatever the unwind left in
// them; EBP is rebuilt from the record's address. The record is unlinked on both ways out. Body is
// entered with the 16-byte stack alignment that compiled code assumes. The
// compiler does not track sections across top-level assembly; standing before anything else the
// compiler emits, the block ends in .text, which is where the compiler believes it still is.
//
// exception_guard_resume_x86(record, exceptionRecord), cdecl, does not return: removes every
// record above the guard's (running their unwind handlers) and lands in the frame. RtlUnwind is
// known to leave EBX, ESI and EDI changed, which is why it is called from here, where nothing
// lives in them, and not from compiled code. Its target address is the instruction after the
// call, which suits both the systems that return from it and those that jump to it.
asm(R"(
    .text
    .p2align 4
    .globl _exception_guard_frame_x86
    .def _exception_guard_frame_x86; .scl 2; .type 32; .endef
_exception_guard_frame_x86:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    pushl 16(%ebp)
    pushl $_exception_guard_handler_x86
    pushl %fs:0
    movl %esp, %fs:0
    andl $-16, %esp
    subl $12, %esp
    pushl 12(%ebp)
    call *8(%ebp)
    movl 20(%ebp), %ecx
    movl %eax, (%ecx)
    movl $1, %eax
    jmp .Lexception_guard_leave_x86
.Lexception_guard_landing_x86:
    xorl %eax, %eax
.Lexception_guard_leave_x86:
    movl -24(%ebp), %ecx
    movl %ecx, %fs:0
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

    .p2align 4
    .globl _exception_guard_resume_x86
    .def _exception_guard_resume_x86; .scl 2; .type 32; .endef
_exception_guard_resume_x86:
    movl 4(%esp), %eax
    movl 8(%esp), %ecx
    pushl $0
    pushl %ecx
    pushl $.Lexception_guard_unwound_x86
    pushl %eax
    call _RtlUnwind@16
.Lexception_guard_unwound_x86:
    movl 4(%esp), %eax
    leal 24(%eax), %ebp
    leal -24(%ebp), %esp
    jmp .Lexception_guard_landing_x86
    .text
)");

extern "C" BOOL exception_guard_frame_x86(GUARDED_BODY body, void *context, GUARD_FILTER filter,
                                          LONG *result);
extern "C" __attribute__((noreturn)) void exception_guard_resume_x86(GuardRecord *record,
                                                                     EXCEPTION_RECORD *exception);

extern "C" {

// The system calls a chain handler as __cdecl (excpt.h's _except_handler), both while searching
// for a handler and, with an unwinding flag, while unwinding past the record. The system keeps
// the stack only 4-byte aligned, less than compiled code assumes.
__attribute__((used, force_align_arg_pointer)) static EXCEPTION_DISPOSITION __cdecl
exception_guard_handler_x86(
    EXCEPTION_RECORD *exception, void *establisherFrame, CONTEXT *context, void *)
{
    if (IS_UNWINDING(exception->ExceptionFlags)) return ExceptionContinueSearch;

    GuardRecord *record = static_cast<GuardRecord *>(establisherFrame);
    EXCEPTION_POINTERS info = {exception, context};
    const LONG verdict = record->filter(&info);
    // The same reading of the filter's answer as the compiler's own __except: any negative value
    // resumes, any positive value handles.
    if (verdict == EXCEPTION_CONTINUE_SEARCH) return ExceptionContinueSearch;
    if (verdict < 0) return ExceptionContinueExecution;
    exception_guard_resume_x86(record, exception);
}

}  // extern "C"

BOOL RunGuarded(GUARDED_BODY body, void *context, GUARD_FILTER filter, LONG *result)
{
    return exception_guard_frame_x86(body, context, filter, result);
}
