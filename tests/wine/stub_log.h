// Shared by the stand-ins for the platform's password modules and the driver that reads them.
// The stand-ins link no C runtime, as the saver does not: everything here is KERNEL32 and USER32.
#pragma once
#include <windows.h>
#include <stdarg.h>

#define STUB_LOG_VARIABLE "SAVER_E2E_LOG"
#define STUB_DIALOG_TITLE "Verify Password (stand-in)"

// Window handles are written as the 32-bit values the saver's command line uses.
static inline unsigned long HandleValue(HWND window)
{
    return (unsigned long)(DWORD)(ULONG_PTR)window;
}

// Appends one line to <SAVER_E2E_LOG>\<file>. Opened and closed per line so that the driver sees
// each line at once, and so that nothing is lost when the caller faults right after.
// wvsprintfA writes at most 1024 characters, which is the size of the line.
static inline void StubLog(const char *file, const char *format, ...)
{
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(STUB_LOG_VARIABLE, path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenA(file) >= MAX_PATH)
        return;
    lstrcatA(path, "\\");
    lstrcatA(path, file);
    char line[1024 + 2];
    va_list args;
    va_start(args, format);
    int n = wvsprintfA(line, format, args);
    va_end(args);
    if (n < 0)
        return;
    line[n++] = '\n';
    HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(h, line, (DWORD)n, &written, nullptr);
    CloseHandle(h);
}
