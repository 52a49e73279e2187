// The x86-64 exception frame: a table-based frame whose language handler asks the caller's filter.
//
// The frame function is written in assembly rather than built from <excpt.h>'s __try1: __try1
// takes the filter as a link-time symbol (ours is a run-time argument), fixes its labels' names
// (so the frame may exist once per object and never in an inlined or cloned copy), and leaves
// the compiler unaware that control can arrive at the landing point, so the optimiser is free
// to move code across it. A frame in top-level assembly is out of the optimiser's reach, and its
// layout is known to the handler.
#include "startup/exception_guard.h"

#include <excpt.h>

#if !defined(__x86_64__)
#error "this frame is for x86-64 Windows only"
#endif

namespace {

// What the frame keeps for its handler, at a fixed offset above the frame's stack pointer. The
// stack pointer does not move between the prologue and the call, so the establisher frame that
// the system hands to the handler is that stack pointer.
struct FrameSlots {
    GUARD_FILTER filter;
    LONG *result;
    void *landing;
};

}  // namespace

// 32 bytes of the callee's home area lie below the slots.
#define GUARD_SLOTS_OFFSET 32
#define GUARD_STRINGIFY_(x) #x
#define GUARD_STRINGIFY(x) GUARD_STRINGIFY_(x)
#define GUARD_SLOT(n) GUARD_STRINGIFY(GUARD_SLOTS_OFFSET + 8 * n) "(%rsp)"
static_assert(sizeof(FrameSlots) == 3 * 8, "the frame's assembly addresses the slots as 8-byte words");

// BOOL exception_guard_frame_x64(body, context, filter, result): rcx, rdx, r8, r9.
// The frame saves no non-volatile register, so both exits leave them as the caller had them: on
// the normal path body preserved them, on the landing path the unwind restored them to their
// values at the call. 56 bytes keep the stack 16-byte aligned at the call.
// The compiler does not track sections across top-level assembly; standing before anything else
// the compiler emits, the block ends in .text, which is where the compiler believes it still is.
asm(R"(
    .text
    .p2align 4
    .globl exception_guard_frame_x64
    .def exception_guard_frame_x64; .scl 2; .type 32; .endef
exception_guard_frame_x64:
    .seh_proc exception_guard_frame_x64
    subq $56, %rsp
    .seh_stackalloc 56
    .seh_endprologue
    .seh_handler exception_guard_handler_x64, @except
    movq %r8, )" GUARD_SLOT(0) R"(
    movq %r9, )" GUARD_SLOT(1) R"(
    leaq .Lexception_guard_landing_x64(%rip), %rax
    movq %rax, )" GUARD_SLOT(2) R"(
    movq %rcx, %rax
    movq %rdx, %rcx
    callq *%rax
    movq )" GUARD_SLOT(1) R"(, %rcx
    movl %eax, (%rcx)
    movl $1, %eax
    addq $56, %rsp
    ret
.Lexception_guard_landing_x64:
    xorl %eax, %eax
    addq $56, %rsp
    ret
    .seh_endproc
    .text
)");

extern "C" BOOL exception_guard_frame_x64(GUARDED_BODY body, void *context, GUARD_FILTER filter,
                                          LONG *result);

extern "C" {

// Called by the system's dispatcher for every exception whose search reaches the frame (the
// frame is registered with @except only, so unwinds never call it; the test below keeps it
// correct should that ever change).
__attribute__((used)) static EXCEPTION_DISPOSITION exception_guard_handler_x64(
    EXCEPTION_RECORD *record, void *establisherFrame, CONTEXT *context,
    DISPATCHER_CONTEXT *dispatch)
{
    if (IS_UNWINDING(record->ExceptionFlags)) return ExceptionContinueSearch;

    const FrameSlots *slots =
        reinterpret_cast<const FrameSlots *>(static_cast<char *>(establisherFrame) +
                                             GUARD_SLOTS_OFFSET);
    EXCEPTION_POINTERS info = {record, context};
    const LONG verdict = slots->filter(&info);
    // The same reading of the filter's answer as the compiler's own __except: any negative value
    // resumes, any positive value handles.
    if (verdict == EXCEPTION_CONTINUE_SEARCH) return ExceptionContinueSearch;
    if (verdict < 0) return ExceptionContinueExecution;

    // Undoes every frame below the guard's and resumes at its landing point with the registers
    // the guard had when it called body. Does not return.
    RtlUnwindEx(establisherFrame, slots->landing, record,
                reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(record->ExceptionCode)),
                dispatch->ContextRecord, dispatch->HistoryTable);
    return ExceptionContinueSearch;
}

}  // extern "C"

BOOL RunGuarded(GUARDED_BODY body, void *context, GUARD_FILTER filter, LONG *result)
{
    return exception_guard_frame_x64(body, context, filter, result);
}
