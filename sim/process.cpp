// The simulated process: command line, version, character stepping, the clock and its script,
// process exit, and structured exceptions.
#include "sim/machine.h"

#include <algorithm>
#include <cstring>

namespace sim {

Machine M;

void InstallProgramModule();
void CreateDesktop();

void Reset(unsigned variation) {
    M = Machine();
    M.variation = variation;
    InstallProgramModule();
    CreateDesktop();
}

UINT RunProgram(void (*main)()) {
    try {
        main();
    } catch (const ProcessExit &exit) {
        return exit.code;
    }
    return RETURNED_WITHOUT_EXIT;
}

void SetCommandLine(const char *line) { M.commandLine = line; }
void SetFamily(Family family) { M.family = family; }

void SetLeadBytes(std::initializer_list<unsigned char> leadBytes) {
    std::fill(std::begin(M.leadBytes), std::end(M.leadBytes), false);
    for (unsigned char byte : leadBytes) M.leadBytes[byte] = true;
}

std::string Lower(const std::string &text) {
    std::string lower = text;
    for (char &c : lower) c = (char)tolower((unsigned char)c);
    return lower;
}

// ---------------------------------------------------------------------------------------------
// Clock and script

void SetTickCount(DWORD tick) { M.now = tick; }
DWORD Now() { return M.now; }

void At(DWORD tick, std::function<void()> event) {
    M.events.push_back({tick, M.eventOrder++, std::move(event)});
}
void After(DWORD milliseconds, std::function<void()> event) {
    At(M.now + milliseconds, std::move(event));
}

void StopAt(DWORD tick) {
    M.hasStop = true;
    M.stopTick = tick;
}
void StopAfter(DWORD milliseconds) { StopAt(M.now + milliseconds); }

bool HasEvents() { return !M.events.empty(); }

// Ticks are compared as distances from now, so that the script works across the wrap.
static DWORD Until(DWORD tick) { return tick - M.now; }

DWORD NextEventDue() {
    DWORD best = M.events.front().due;
    for (const Event &event : M.events)
        if (Until(event.due) < Until(best)) best = event.due;
    return best;
}

static bool RunOneDueEvent() {
    auto due = M.events.end();
    for (auto it = M.events.begin(); it != M.events.end(); ++it) {
        if (Until(it->due) != 0 && Until(it->due) < 0x80000000u) continue;
        if (due == M.events.end() || it->order < due->order) due = it;
    }
    if (due == M.events.end()) return false;
    std::function<void()> action = std::move(due->action);
    M.events.erase(due);
    action();
    return true;
}

void WaitUntil(DWORD tick) {
    DWORD distance = Until(tick);
    if (M.hasStop && Until(M.stopTick) < distance) {
        M.now = M.stopTick;
        throw RunStopped();
    }
    // Step through the events on the way, so each runs with the clock at its own tick.
    while (!M.events.empty() && Until(NextEventDue()) <= distance) {
        DWORD next = NextEventDue();
        distance -= Until(next);
        M.now = next;
        while (RunOneDueEvent()) {}
    }
    M.now += distance;
    while (RunOneDueEvent()) {}
}

void Advance(DWORD milliseconds) { WaitUntil(M.now + milliseconds); }

// ---------------------------------------------------------------------------------------------
// Structured exceptions. A raise walks the guard frames from the innermost outwards, as the
// platform's dispatcher does, before anything is unwound.

void SetUnhandledExceptionVerdict(LONG verdict) { M.unhandledVerdict = verdict; }

void RaiseStructuredException(DWORD code) {
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    record.ExceptionAddress = (PVOID)&RaiseStructuredException;
    CONTEXT context = {};
    EXCEPTION_POINTERS pointers = {&record, &context};
    for (size_t i = M.guardFrames.size(); i-- > 0;) {
        LONG verdict = M.guardFrames[i].filter(&pointers);
        if (verdict == EXCEPTION_CONTINUE_EXECUTION) return;
        if (verdict == EXCEPTION_EXECUTE_HANDLER) throw StructuredUnwind{M.guardFrames[i].id};
    }
    // No frame took it: the runtime's outermost handler ends the process with the exception code.
    throw ProcessExit{code};
}

}  // namespace sim

using namespace sim;

// ---------------------------------------------------------------------------------------------
// Platform functions

LPSTR WINAPI GetCommandLineA(void) {
    Enter("GetCommandLineA", {});
    return &M.commandLine[0];
}

BOOL WINAPI GetVersionExA(OSVERSIONINFOA *info) {
    if (Enter("GetVersionExA", {info ? (ULONG_PTR)info->dwOSVersionInfoSize : 0ul})) return FALSE;
    if (M.family == Family::VersionFails) return FALSE;
    if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                  info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA)))
        return FALSE;
    DWORD size = info->dwOSVersionInfoSize;
    memset(info, 0, size);
    info->dwOSVersionInfoSize = size;
    if (M.family == Family::Win9x) {
        info->dwMajorVersion = 4;
        info->dwMinorVersion = 0;
        info->dwBuildNumber = 950;
        info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    } else {
        info->dwMajorVersion = 5;
        info->dwMinorVersion = 1;
        info->dwBuildNumber = 2600;
        info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    }
    return TRUE;
}

LPSTR WINAPI CharNextA(LPCSTR text) {
    Enter("CharNextA", {text});
    if (!*text) return (LPSTR)text;
    // A lead byte followed by the end of the text steps one byte only, as the platform does.
    if (M.leadBytes[(unsigned char)text[0]] && text[1]) return (LPSTR)text + 2;
    return (LPSTR)text + 1;
}

// Another variation is another process, with another id.
DWORD WINAPI GetCurrentProcessId(void) {
    Enter("GetCurrentProcessId", {});
    return 0x1F4 + 8 * M.variation;
}

DWORD WINAPI GetCurrentThreadId(void) {
    Enter("GetCurrentThreadId", {});
    return 0x1F8 + 8 * M.variation;
}

DWORD WINAPI GetTickCount(void) {
    Enter("GetTickCount", {});
    return M.now;
}

// The clock started at midnight on 1 January 2000, a Saturday; local time is universal time.
static const ULONGLONG CLOCK_START_FILETIME = 125911584000000000ull;  // 100 ns units since 1601
static const ULONGLONG PERFORMANCE_FREQUENCY = 10000000;

SYSTEMTIME sim::ClockTime() {
    static const WORD MONTH_DAYS[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};  // a leap year
    DWORD days = M.now / 86400000, milliseconds = M.now % 86400000;
    SYSTEMTIME time = {};
    time.wYear = 2000;
    time.wDayOfWeek = (WORD)((6 + days) % 7);
    while (days >= MONTH_DAYS[time.wMonth]) days -= MONTH_DAYS[time.wMonth++];
    time.wMonth++;
    time.wDay = (WORD)(days + 1);
    time.wHour = (WORD)(milliseconds / 3600000);
    time.wMinute = (WORD)(milliseconds / 60000 % 60);
    time.wSecond = (WORD)(milliseconds / 1000 % 60);
    time.wMilliseconds = (WORD)(milliseconds % 1000);
    return time;
}

void WINAPI GetLocalTime(SYSTEMTIME *time) {
    Enter("GetLocalTime", {(const void *)time});
    *time = ClockTime();
}

void WINAPI GetSystemTime(SYSTEMTIME *time) {
    Enter("GetSystemTime", {(const void *)time});
    *time = ClockTime();
}

void WINAPI GetSystemTimeAsFileTime(FILETIME *time) {
    Enter("GetSystemTimeAsFileTime", {(const void *)time});
    ULONGLONG now = CLOCK_START_FILETIME + (ULONGLONG)M.now * 10000;
    time->dwLowDateTime = (DWORD)now;
    time->dwHighDateTime = (DWORD)(now >> 32);
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *counter) {
    if (Enter("QueryPerformanceCounter", {(const void *)counter})) return FALSE;
    counter->QuadPart = (LONGLONG)(M.now * (PERFORMANCE_FREQUENCY / 1000));
    return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER *frequency) {
    if (Enter("QueryPerformanceFrequency", {(const void *)frequency})) return FALSE;
    frequency->QuadPart = (LONGLONG)PERFORMANCE_FREQUENCY;
    return TRUE;
}

void WINAPI Sleep(DWORD milliseconds) {
    Enter("Sleep", {milliseconds});
    WaitUntil(M.now + milliseconds);
}

void WINAPI ExitProcess(UINT code) {
    Enter("ExitProcess", {code});
    throw ProcessExit{code};
}

LONG WINAPI UnhandledExceptionFilter(EXCEPTION_POINTERS *info) {
    Enter("UnhandledExceptionFilter",
          {info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0ul});
    return M.unhandledVerdict;
}
