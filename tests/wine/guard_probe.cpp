// The exception guard (startup/exception_guard_*.cpp) on the real platform. Built like the saver,
// with no C runtime, at one optimisation level per image, together with the guard compiled at the
// same level. Runs the one case named on its command line and ends with an outcome code that
// says what happened; guard-cases.sh knows which outcome each case must have.
//
// Bodies that fault write through a pointer the compiler cannot see to be null: a visible null
// store may be compiled into a trap instruction, which raises another exception.
#include <windows.h>

#include "startup/exception_guard.h"

enum Outcome : UINT {
    HANDLED = 10,          // RunGuarded returned FALSE, the filters were asked as expected, the
                           // code after it ran, and the guard works as before afterwards
    RESUMED = 11,          // the body went on after the exception; TRUE with the body's result
    RETURNED = 12,         // TRUE with the body's result, no filter asked
    ENDED_BY_SYSTEM = 13,  // the child process ended with the exception's code
    USAGE = 19,            // no such case
    NOT_HANDLED = 20,      // RunGuarded returned TRUE though the exception was to be handled
    WRONG_FILTER = 21,     // the filters were not asked in the expected order (or, resuming,
                           // not with the code)
    WRONG_RESULT = 22,     // wrong return value or result
    REGISTERS_CHANGED = 23,
    CHAIN_CHANGED = 24,    // i686: the FS:[0] chain's head is not what it was before the call
    NOT_AFTERWARDS = 25,   // the guard or the message loop no longer works after a handled fault
    CHILD_OTHER_CODE = 26,
    CHILD_HUNG = 27,
    SETUP_FAILED = 28,     // the probe could not create its window or start its child
    WRONG_CODE = 29,       // handled as expected in every other respect, but the filter saw
                           // another code than the exception's; the probe writes the code seen
};

static const DWORD OWN_CODE = 0xE0C0FFEE;
static int *volatile nowhere = nullptr;
static void Fault(void) { *nowhere = 1; }
static void RaiseOwn(DWORD flags) { RaiseException(OWN_CODE, flags, 0, nullptr); }

// What happened, in order: a letter per filter asked (H handles, S searches on, R resumes, U asks
// the platform) and per step of a window procedure (w and t fault, n sends the faulting
// message); 'a' marks code after a call that raised or sent.
static char trail[16];
static int trailLength;
static DWORD seenCode;
static void Mark(char step) {
    if (trailLength < (int)sizeof trail - 1) trail[trailLength++] = step;
}
static LONG Ask(EXCEPTION_POINTERS *info, char step, LONG verdict) {
    Mark(step);
    seenCode = info->ExceptionRecord->ExceptionCode;
    return verdict;
}
static LONG HandleFilter(EXCEPTION_POINTERS *i) { return Ask(i, 'H', EXCEPTION_EXECUTE_HANDLER); }
static LONG SearchFilter(EXCEPTION_POINTERS *i) { return Ask(i, 'S', EXCEPTION_CONTINUE_SEARCH); }
static LONG ResumeFilter(EXCEPTION_POINTERS *i) {
    return Ask(i, 'R', EXCEPTION_CONTINUE_EXECUTION);
}
// As the saver's own filter: the platform's verdict.
static LONG SystemFilter(EXCEPTION_POINTERS *i) { return Ask(i, 'U', UnhandledExceptionFilter(i)); }

static bool TrailIs(const char *expected) {
    trail[trailLength] = 0;
    return lstrcmpA(trail, expected) == 0;
}

static void *ChainHead(void) {
#if defined(__i386__)
    void *head;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
#else
    return nullptr;
#endif
}

static LONG FaultingBody(void *) { Fault(); return 1; }
static LONG RaisingBody(void *) { RaiseOwn(EXCEPTION_NONCONTINUABLE); return 1; }
static LONG ReturningBody(void *) { return 5; }
static LONG ResumingBody(void *) {
    RaiseOwn(0);
    Mark('a');
    return 6;
}
static LONG InnerSearchBody(void *) {
    LONG result;
    RunGuarded(RaisingBody, nullptr, SearchFilter, &result);
    Mark('a');  // the outer frame handles: never comes back here
    return 1;
}

// One line on standard error for the log: the code a filter saw where another was expected.
static void WriteSeenCode(DWORD seen, DWORD expected) {
    char line[96];
    const int length = wsprintfA(line, "guard probe: the filter saw code %08lx, expected %08lx\n",
                                 (unsigned long)seen, (unsigned long)expected);
    DWORD written;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, (DWORD)length, &written, nullptr);
}

// The outcome of a guarded call that was to be handled, once the process has shown it goes on.
// The code comes last: an emulated processor may report a fault with another code (qemu's
// user-mode emulator gives Wine an illegal instruction for a null write), and everything the guard
// itself does is still shown then.
static UINT Handled(BOOL returned, const char *expectedTrail, DWORD expectedCode, void *head,
                    bool (*afterwards)(void)) {
    if (returned) return NOT_HANDLED;
    if (!TrailIs(expectedTrail)) return WRONG_FILTER;
    const DWORD code = seenCode;
    if (ChainHead() != head) return CHAIN_CHANGED;
    if (!afterwards()) return NOT_AFTERWARDS;
    if (code != expectedCode) {
        WriteSeenCode(code, expectedCode);
        return WRONG_CODE;
    }
    return HANDLED;
}
static bool GuardStillWorks(void) {
    LONG result = 0;
    trailLength = 0;
    if (!RunGuarded(ReturningBody, nullptr, HandleFilter, &result) || result != 5) return false;
    return !RunGuarded(FaultingBody, nullptr, HandleFilter, &result) && TrailIs("H");
}

static UINT GuardedCall(GUARDED_BODY body, GUARD_FILTER filter, const char *expectedTrail,
                        DWORD expectedCode) {
    void *head = ChainHead();
    LONG result = 0;
    const BOOL returned = RunGuarded(body, nullptr, filter, &result);
    return Handled(returned, expectedTrail, expectedCode, head, GuardStillWorks);
}

static UINT NullWrite(void) {
    return GuardedCall(FaultingBody, HandleFilter, "H", EXCEPTION_ACCESS_VIOLATION);
}
static UINT OwnCode(void) { return GuardedCall(RaisingBody, HandleFilter, "H", OWN_CODE); }
static UINT OuterFrame(void) { return GuardedCall(InnerSearchBody, HandleFilter, "SH", OWN_CODE); }
static UINT SystemVerdict(void) {
    return GuardedCall(FaultingBody, SystemFilter, "U", EXCEPTION_ACCESS_VIOLATION);
}

static UINT Resumed(void) {
    LONG result = 0;
    if (!RunGuarded(ResumingBody, nullptr, ResumeFilter, &result)) return WRONG_RESULT;
    if (!TrailIs("Ra") || seenCode != OWN_CODE) return WRONG_FILTER;
    return result == 6 ? RESUMED : WRONG_RESULT;
}

// --- Faults inside a window procedure --------------------------------------------------------
enum : UINT { WM_FAULT = WM_APP, WM_NEST, WM_FINE };
static HWND window;

static LRESULT CALLBACK ProbeWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_FAULT:
        Mark('w');
        Fault();
        return 0;
    case WM_NEST:
        Mark('n');
        SendMessageA(hwnd, WM_FAULT, 0, 0);
        Mark('a');
        return 0;
    case WM_FINE:
        PostQuitMessage(7);
        return 0;
    case WM_TIMER:
        KillTimer(hwnd, wParam);
        Mark('t');
        Fault();
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

static LONG MessageLoop(void *) {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return (LONG)msg.wParam;
}

// Messages still arrive and the loop still ends after the unwind through the platform's dispatch.
static bool MessagesStillWork(void) {
    LONG result = 0;
    PostMessageA(window, WM_FINE, 0, 0);
    return RunGuarded(MessageLoop, nullptr, HandleFilter, &result) && result == 7 &&
           GuardStillWorks();
}

static UINT FaultInWindow(UINT message, const char *expectedTrail) {
    static WNDCLASSA windowClass;  // static: zeroed without a call to memset
    windowClass.lpfnWndProc = ProbeWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "GuardProbe";
    if (!RegisterClassA(&windowClass)) return SETUP_FAILED;
    window = CreateWindowExA(0, "GuardProbe", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             windowClass.hInstance, nullptr);
    if (!window) return SETUP_FAILED;
    if (message == WM_TIMER) {
        // As the saver ticks: a zero-interval timer of the window. A timer message comes only
        // when nothing else is queued, a quit included, so a swallowed fault here is a hang.
        if (!SetTimer(window, 1, 0, nullptr)) return SETUP_FAILED;
    } else {
        if (!PostMessageA(window, message, 0, 0)) return SETUP_FAILED;
        // Should the platform swallow the fault, the loop ends here rather than waiting.
        PostQuitMessage(99);
    }
    void *head = ChainHead();
    LONG result = 0;
    const BOOL returned = RunGuarded(MessageLoop, nullptr, HandleFilter, &result);
    return Handled(returned, expectedTrail, EXCEPTION_ACCESS_VIOLATION, head, MessagesStillWork);
}
static UINT Dispatched(void) { return FaultInWindow(WM_FAULT, "wH"); }
static UINT NestedSend(void) { return FaultInWindow(WM_NEST, "nwH"); }
static UINT TimerTick(void) { return FaultInWindow(WM_TIMER, "tH"); }

// --- Passed on to the system ------------------------------------------------------------------
// With no outer frame the exception reaches the system's last handler. That ends the process, so
// a child process runs it and this one reports the child's exit code.
static UINT Unhandled(void) {
    LONG result;
    RunGuarded(RaisingBody, nullptr, SearchFilter, &result);
    return NOT_HANDLED;
}
static UINT ChildEndsWithCode(void) {
    char path[MAX_PATH], commandLine[MAX_PATH + 32];
    if (!GetModuleFileNameA(nullptr, path, MAX_PATH)) return SETUP_FAILED;
    wsprintfA(commandLine, "\"%s\" unhandled-child", path);
    static STARTUPINFOA startup;
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    if (!CreateProcessA(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &child))
        return SETUP_FAILED;
    DWORD code = 0;
    const bool ended = WaitForSingleObject(child.hProcess, 10000) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(child.hProcess, &code);
    if (!ended) {
        TerminateProcess(child.hProcess, 1);
        return CHILD_HUNG;
    }
    return code == OWN_CODE ? ENDED_BY_SYSTEM : CHILD_OTHER_CODE;
}

// --- Callee-saved registers -------------------------------------------------------------------
// probe_registers(body, context, filter, result) loads a known pattern into every callee-saved
// register, calls RunGuarded with its own arguments and returns a bit per register (and one for
// the stack pointer) that is not the same afterwards; RunGuarded's return value is left in
// probe_guard_returned. probe_clobbering_body(context) saves those registers as the calling
// convention wants (on x86-64 with unwind data), puts other values into all of them and then
// faults if context is not null; otherwise it restores them and returns 7. So on the fault path
// it is the guard and the unwind that must bring the caller's values back.
extern "C" {
BOOL probe_guard_returned;
void *probe_stack_before;
BOOL (*probe_run_guarded)(GUARDED_BODY, void *, GUARD_FILTER, LONG *) = RunGuarded;
DWORD probe_registers(GUARDED_BODY body, void *context, GUARD_FILTER filter, LONG *result);
LONG probe_clobbering_body(void *context);
}

#if defined(__i386__)
asm(R"(
    .text
    .globl _probe_registers
_probe_registers:
    pushl %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl %esp, %eax
    andl $-16, %esp
    pushl %eax
    subl $12, %esp
    pushl 32(%eax)
    pushl 28(%eax)
    pushl 24(%eax)
    pushl 20(%eax)
    movl %esp, _probe_stack_before
    movl $0xB1B1B1B1, %ebx
    movl $0xB2B2B2B2, %esi
    movl $0xB3B3B3B3, %edi
    movl $0xB4B4B4B4, %ebp
    call *_probe_run_guarded
    movl %eax, _probe_guard_returned
    xorl %eax, %eax
    cmpl $0xB1B1B1B1, %ebx
    je 1f
    orl $1, %eax
1:  cmpl $0xB2B2B2B2, %esi
    je 1f
    orl $2, %eax
1:  cmpl $0xB3B3B3B3, %edi
    je 1f
    orl $4, %eax
1:  cmpl $0xB4B4B4B4, %ebp
    je 1f
    orl $8, %eax
1:  cmpl _probe_stack_before, %esp
    je 1f
    orl $0x100, %eax
1:  movl _probe_stack_before, %esp
    movl 28(%esp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

    .globl _probe_clobbering_body
_probe_clobbering_body:
    pushl %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 20(%esp), %eax
    movl $0xDEAD0001, %ebx
    movl $0xDEAD0002, %esi
    movl $0xDEAD0003, %edi
    movl $0xDEAD0004, %ebp
    testl %eax, %eax
    jz 1f
    movl $1, 0
1:  popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    movl $7, %eax
    ret
)");
#else
// XMM6..XMM15 have bits 8..17 of the mask.
asm(R"(
    .section .rdata,"dr"
    .p2align 4
probe_xmm_patterns:
    .irp n, 6,7,8,9,10,11,12,13,14,15
    .quad 0xC0C1C2C3C4C5C6C0+\n, 0xD0D1D2D3D4D5D6D0+\n
    .endr

    .text
    .globl probe_registers
    .def probe_registers; .scl 2; .type 32; .endef
probe_registers:
    .seh_proc probe_registers
    .irp r, rbp,rbx,rdi,rsi,r12,r13,r14,r15
    pushq %\r
    .seh_pushreg %\r
    .endr
    subq $200, %rsp
    .seh_stackalloc 200
    .irp n, 6,7,8,9,10,11,12,13,14,15
    movdqa %xmm\n, 32+16*(\n-6)(%rsp)
    .seh_savexmm %xmm\n, 32+16*(\n-6)
    .endr
    .seh_endprologue
    movabsq $0xA1A1A1A1A1A1A1A1, %rbp
    movabsq $0xA2A2A2A2A2A2A2A2, %rbx
    movabsq $0xA3A3A3A3A3A3A3A3, %rdi
    movabsq $0xA4A4A4A4A4A4A4A4, %rsi
    movabsq $0xA5A5A5A5A5A5A5A5, %r12
    movabsq $0xA6A6A6A6A6A6A6A6, %r13
    movabsq $0xA7A7A7A7A7A7A7A7, %r14
    movabsq $0xA8A8A8A8A8A8A8A8, %r15
    .irp n, 6,7,8,9,10,11,12,13,14,15
    movdqa probe_xmm_patterns+16*(\n-6)(%rip), %xmm\n
    .endr
    movq %rsp, probe_stack_before(%rip)
    callq *probe_run_guarded(%rip)
    movl %eax, probe_guard_returned(%rip)
    xorl %eax, %eax
    .macro probe_check reg, pattern, bit
    movabsq $\pattern, %rcx
    cmpq %rcx, %\reg
    je 1f
    orl $\bit, %eax
1:
    .endm
    probe_check rbp, 0xA1A1A1A1A1A1A1A1, 0x01
    probe_check rbx, 0xA2A2A2A2A2A2A2A2, 0x02
    probe_check rdi, 0xA3A3A3A3A3A3A3A3, 0x04
    probe_check rsi, 0xA4A4A4A4A4A4A4A4, 0x08
    probe_check r12, 0xA5A5A5A5A5A5A5A5, 0x10
    probe_check r13, 0xA6A6A6A6A6A6A6A6, 0x20
    probe_check r14, 0xA7A7A7A7A7A7A7A7, 0x40
    probe_check r15, 0xA8A8A8A8A8A8A8A8, 0x80
    .irp n, 6,7,8,9,10,11,12,13,14,15
    movdqa %xmm\n, %xmm0
    pcmpeqb probe_xmm_patterns+16*(\n-6)(%rip), %xmm0
    pmovmskb %xmm0, %ecx
    cmpl $0xFFFF, %ecx
    je 1f
    orl $1<<(\n+2), %eax
1:
    .endr
    cmpq probe_stack_before(%rip), %rsp
    je 1f
    orl $0x40000, %eax
1:  movq probe_stack_before(%rip), %rsp
    .irp n, 6,7,8,9,10,11,12,13,14,15
    movdqa 32+16*(\n-6)(%rsp), %xmm\n
    .endr
    addq $200, %rsp
    .irp r, r15,r14,r13,r12,rsi,rdi,rbx,rbp
    popq %\r
    .endr
    ret
    .seh_endproc

    .globl probe_clobbering_body
    .def probe_clobbering_body; .scl 2; .type 32; .endef
probe_clobbering_body:
    .seh_proc probe_clobbering_body
    .irp r, rbp,rbx,rdi,rsi,r12,r13,r14,r15
    pushq %\r
    .seh_pushreg %\r
    .endr
    subq $168, %rsp
    .seh_stackalloc 168
    .irp n, 6,7,8,9,10,11,12,13,14,15
    movdqa %xmm\n, 16*(\n-6)(%rsp)
    .seh_savexmm %xmm\n, 16*(\n-6)
    .endr
    .seh_endprologue
    .irp r, rbp,rbx,rdi,rsi,r12,r13,r14,r15
    movq $-0x2152, %\r
    .endr
    .irp n, 6,7,8,9,10,11,12,13,14,15
    pcmpeqb %xmm\n, %xmm\n
    .endr
    testq %rcx, %rcx
    jz 1f
    movl $1, 0
1:
    .irp n, 6,7,8,9,10,11,12,13,14,15
    movdqa 16*(\n-6)(%rsp), %xmm\n
    .endr
    addq $168, %rsp
    .irp r, r15,r14,r13,r12,rsi,rdi,rbx,rbp
    popq %\r
    .endr
    movl $7, %eax
    ret
    .seh_endproc
    .text
)");
#endif

static UINT RegistersKept(void *context, BOOL expectReturned) {
    LONG result = 0;
    trailLength = 0;
    void *head = ChainHead();
    const DWORD changed = probe_registers(probe_clobbering_body, context, HandleFilter, &result);
    if (changed) return REGISTERS_CHANGED;
    if (ChainHead() != head) return CHAIN_CHANGED;
    if (probe_guard_returned != expectReturned) return expectReturned ? WRONG_RESULT : NOT_HANDLED;
    if (!expectReturned) return TrailIs("H") ? HANDLED : WRONG_FILTER;
    return TrailIs("") && result == 7 ? RETURNED : WRONG_RESULT;
}
static UINT RegistersAfterFault(void) { return RegistersKept((void *)1, FALSE); }
static UINT RegistersAfterReturn(void) { return RegistersKept(nullptr, TRUE); }

// ----------------------------------------------------------------------------------------------
static const struct {
    const char *name;
    UINT (*run)(void);
} cases[] = {
    {"null-write", NullWrite},
    {"own-code", OwnCode},
    {"dispatched", Dispatched},
    {"nested-send", NestedSend},
    {"timer-tick", TimerTick},
    {"outer-frame", OuterFrame},
    {"unhandled", ChildEndsWithCode},
    {"unhandled-child", Unhandled},
    {"continue", Resumed},
    {"registers-fault", RegistersAfterFault},
    {"registers-return", RegistersAfterReturn},
    {"system-filter", SystemVerdict},
};

// The case is the command line's last word.
static const char *CaseName(const char *line) {
    const char *name = line;
    for (const char *p = line; *p; ++p)
        if (*p == ' ' && p[1] && p[1] != ' ') name = p + 1;
    return name;
}

extern "C" __attribute__((force_align_arg_pointer, noreturn)) void WinMainCRTStartup(void) {
    const char *name = CaseName(GetCommandLineA());
    UINT outcome = USAGE;
    for (const auto &c : cases)
        if (lstrcmpA(name, c.name) == 0) outcome = c.run();
    ExitProcess(outcome);
}
