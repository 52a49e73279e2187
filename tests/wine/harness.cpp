#include "harness.h"

#include <stdio.h>
#include <string.h>

void UnixToWindows(const char *unixPath, char *out, size_t size)
{
    snprintf(out, size, "Z:%s", unixPath);
    for (char *p = out; *p; p++)
        if (*p == '/')
            *p = '\\';
}

void Pump(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed < 5 ? milliseconds - elapsed : 5,
                                  QS_ALLINPUT);
    }
}

bool StartQuietly(char *line, PROCESS_INFORMATION *pi)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul;
    PROCESS_INFORMATION local;
    BOOL started = CreateProcessA(nullptr, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &local);
    CloseHandle(nul);
    if (!started)
        return false;
    if (pi) {
        *pi = local;
    } else {
        CloseHandle(local.hThread);
        CloseHandle(local.hProcess);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------

bool Process::Start(const char *program, const char *args)
{
    char line[MAX_PATH + 128];
    if (args)
        snprintf(line, sizeof line, "\"%s\" %s", program, args);
    else
        snprintf(line, sizeof line, "\"%s\"", program);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    running = CreateProcessA(program, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    return running;
}

bool Process::Alive() const
{
    return running && WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT;
}

void Process::Close()
{
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    running = false;
}

Process::~Process()
{
    if (!running)
        return;
    if (Alive()) {
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    Close();
}

// ---------------------------------------------------------------------------------------------

bool IsSaverWindow(HWND window)
{
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    return strcmp(cls, SAVER_CLASS) == 0;
}

namespace {
struct WindowSearch {
    DWORD pid;
    bool (*wanted)(HWND);
    HWND found;
};

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM param)
{
    WindowSearch *search = (WindowSearch *)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !search->wanted(window))
        return TRUE;
    search->found = window;
    return FALSE;
}
}  // namespace

HWND ProcessWindow(DWORD pid, bool (*wanted)(HWND window))
{
    WindowSearch search = {pid, wanted, nullptr};
    EnumWindows(FindProcessWindow, (LPARAM)&search);
    return search.found;
}

// ---------------------------------------------------------------------------------------------

Surface::Surface(int w, int h) : width(w), height(h)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *p = nullptr;
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = (DWORD *)p;
    previous = SelectObject(dc, bitmap);
    PatBlt(dc, 0, 0, w, h, BLACKNESS);
}

Surface::~Surface()
{
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

void Surface::Grab(int left, int top)
{
    HDC screen = GetDC(nullptr);
    BitBlt(dc, 0, 0, width, height, screen, left, top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    GdiFlush();
}

long Surface::Differences(const Surface &other, const RECT *covered, long enough) const
{
    long count = 0;
    for (int y = 0; y < height && count < enough; y++) {
        const DWORD *a = bits + (size_t)y * width;
        const DWORD *b = other.bits + (size_t)y * width;
        bool rowCovered = covered && y >= covered->top && y < covered->bottom;
        if (!rowCovered && memcmp(a, b, (size_t)width * 4) == 0)
            continue;
        for (int x = 0; x < width && count < enough; x++) {
            if (rowCovered && x >= covered->left && x < covered->right)
                continue;
            count += ((a[x] ^ b[x]) & 0xFFFFFF) != 0;
        }
    }
    return count;
}

bool Surface::Save(const char *path) const
{
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = -height;
    info.biPlanes = 1;
    info.biBitCount = 32;
    DWORD size = (DWORD)width * height * 4;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + size;
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD a = 0, b = 0, c = 0;
    bool whole = WriteFile(h, &file, sizeof file, &a, nullptr) && WriteFile(h, &info, sizeof info, &b, nullptr) &&
                 WriteFile(h, bits, size, &c, nullptr) && a == sizeof file && b == sizeof info && c == size;
    return CloseHandle(h) && whole;
}
