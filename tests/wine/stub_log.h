// Shared by the stand-ins for the platform's password modules and the driver that reads them.
#pragma once
#include <windows.h>
#include <stdarg.h>
#include <stdio.h>

#define STUB_LOG_VARIABLE "SAVER_E2E_LOG"
#define STUB_DIALOG_TITLE "Verify Password (stand-in)"

// Window handles are written as the 32-bit values the saver's command line uses.
static inline unsigned long HandleValue(HWND window)
{
    return (unsigned long)(DWORD)(ULONG_PTR)window;
}

// Appends one line to <SAVER_E2E_LOG>\<file>. Opened and closed per line so that the driver sees
// each line at once, and so that nothing is lost when the caller faults right after.
static inline void StubLog(const char *file, const char *format, ...)
{
    char folder[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(STUB_LOG_VARIABLE, folder, sizeof folder);
    if (length == 0 || length >= sizeof folder)
        return;
    char path[MAX_PATH + 64];
    snprintf(path, sizeof path, "%s\\%s", folder, file);
    char line[512];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line - 2, format, args);
    va_end(args);
    if (n < 0)
        return;
    if (n > (int)sizeof line - 3)
        n = (int)sizeof line - 3;
    line[n++] = '\n';
    HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(h, line, (DWORD)n, &written, nullptr);
    CloseHandle(h);
}
