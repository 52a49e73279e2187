// End-to-end driver: starts the built saver under Wine with real command lines and observes it
// only through the platform (window facts, pixels on the screen, exit codes). Input reaches the
// saver the way a person's does, through the X server (xdotool), because Wine undoes a pointer
// move injected into another process's window. The scenarios are the rows of scenarios.cpp; this
// file has the steps they run and the walk through them.
//
// Usage: e2e_driver.exe <saver.scr> <work folder> [groups]   (paths as Unix paths)
// The work folder holds w95\saver95.scr (the prefix reports the 95 family to that name) with the
// password and MPR stand-ins beside it, w95fault\saver95.scr beside the faulting stand-in,
// ntpw\saver.scr beside the password stand-in, example\example.scr (the example saver),
// example95\saver95.scr (the same, as the 95 family), pixel\pixel.scr (the pixel example),
// matrix\saver-<version>.scr (the prefix reports that Windows version to each name) beside the
// password and MPR stand-ins, and log\, where the stand-ins and the helper commands write.
// Groups, e.g. "preview,password", pick a part of the run while working on it.
//
// e2e_driver.exe --running-flag ends with the platform's screen-saver-running flag as its exit
// code. Wine reads that flag once per process, so each reading is a fresh process.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "harness.h"
#include "reference_drawing.h"
#include "scenarios.h"
#include "stub_log.h"

#define FULL_SCREEN_STYLE 0x96000000u
#define PREVIEW_STYLE 0x52000000u
#define INVALID_EXIT 0xFFFFFFFFu
#define FAULT_EXIT 2u

static char ntSaver[MAX_PATH];     // Windows path of the saver as built
static char w95Saver[MAX_PATH];    // the same program, run as the 95 family, with the stand-ins
static char faultSaver[MAX_PATH];  // the same, beside the faulting PASSWORD.CPL
static char ntPasswordSaver[MAX_PATH];  // the NT family, beside the password stand-in
static char exampleSaver[MAX_PATH];     // the example saver, another effect on the same framework
static char example95Saver[MAX_PATH];   // the same, run as the 95 family
static char pixelSaver[MAX_PATH];       // the pixel example, a third effect
static char clockSaver[MAX_PATH];       // the clock example, the time of day from the framework
static char desktopSaver[MAX_PATH];     // the desktop example, the screen melting
static char matrixFolder[MAX_PATH];
static char workUnix[MAX_PATH];
static char logWin[MAX_PATH];
static int passedCount, failedCount;
// Put before every scenario's name: the Windows version while the version matrix runs.
static const char *reportPrefix = "";

// ---------------------------------------------------------------------------------------------
// A scenario collects the first few failed expectations and prints one line.

struct Outcome {
    bool ok = true;
    char why[1024] = "";

    bool Expect(bool condition, const char *format, ...)
    {
        if (condition)
            return true;
        size_t used = strlen(why);
        if (used < sizeof why - 8) {
            if (!ok)
                used += snprintf(why + used, sizeof why - used, "; ");
            va_list args;
            va_start(args, format);
            vsnprintf(why + used, sizeof why - used, format, args);
            va_end(args);
        }
        ok = false;
        return false;
    }
};

static void Report(const char *name, const Outcome &outcome)
{
    if (outcome.ok) {
        passedCount++;
        printf("PASS %s%s\n", reportPrefix, name);
    } else {
        failedCount++;
        printf("FAIL %s%s: %s\n", reportPrefix, name, outcome.why);
    }
    fflush(stdout);
}

static void Note(const char *format, ...)
{
    printf("  note: ");
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    printf("\n");
    fflush(stdout);
}

// ---------------------------------------------------------------------------------------------
// Helper commands: Unix programs (xdotool, import) and the platform's reg tool.

// A Unix program started from Wine gives no waitable handle, so it reports its end through a
// marker file.
static bool RunUnix(const char *command)
{
    static int serial;
    char markerUnix[MAX_PATH + 32], markerWin[MAX_PATH + 32];
    snprintf(markerUnix, sizeof markerUnix, "%s/log/done-%d", workUnix, ++serial);
    UnixToWindows(markerUnix, markerWin, sizeof markerWin);
    DeleteFileA(markerWin);
    char line[1024];
    snprintf(line, sizeof line, "/bin/sh -c \"%s; echo $? > %s\"", command, markerUnix);
    if (!StartQuietly(line, nullptr))
        return false;
    bool done = WaitUntil(10000, [&] { return GetFileAttributesA(markerWin) != INVALID_FILE_ATTRIBUTES; });
    Pump(20);  // the file exists before its content is written
    char status[16] = "";
    HANDLE h = CreateFileA(markerWin, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD got = 0;
        ReadFile(h, status, sizeof status - 1, &got, nullptr);
        status[got] = 0;
        CloseHandle(h);
    }
    DeleteFileA(markerWin);
    return done && status[0] == '0';
}

static bool MovePointer(int x, int y)
{
    char command[64];
    snprintf(command, sizeof command, "xdotool mousemove %d %d", x, y);
    return RunUnix(command);
}

static bool Press(const char *what)
{
    char command[64];
    snprintf(command, sizeof command, "xdotool %s", what);
    return RunUnix(command);
}

static DWORD RunWindowsTool(const char *commandLine)
{
    char line[1024];
    lstrcpynA(line, commandLine, sizeof line);
    PROCESS_INFORMATION pi;
    if (!StartQuietly(line, &pi))
        return INVALID_EXIT;
    WaitForSingleObject(pi.hProcess, 20000);
    DWORD code = INVALID_EXIT;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

// Whether ScreenSaveUsePassword has been set since it was last deleted: the walk deletes it after
// each group that set it, so that no group depends on the one before.
static bool usePasswordSet;

// -1 deletes the value.
static bool SetUsePassword(int value)
{
    char line[256];
    if (value < 0)
        snprintf(line, sizeof line,
                 "reg.exe delete \"HKCU\\Control Panel\\Desktop\" /v ScreenSaveUsePassword /f");
    else
        snprintf(line, sizeof line,
                 "reg.exe add \"HKCU\\Control Panel\\Desktop\" /v ScreenSaveUsePassword /t REG_DWORD /d %d /f",
                 value);
    usePasswordSet = value >= 0;
    return RunWindowsTool(line) == 0 || value < 0;
}

// Runs `program`, this driver or a copy of it, in one of its reading modes; its exit code.
static DWORD RunDriverMode(const char *program, const char *mode)
{
    char line[2 * MAX_PATH + 32];
    snprintf(line, sizeof line, "\"%s\" %s", program, mode);
    return RunWindowsTool(line);
}

// The platform's flag that a screen saver runs, read by a fresh copy of this program; -1 when it
// could not be read.
static int ReadRunningFlag()
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    DWORD code = RunDriverMode(self, "--running-flag");
    return code == 0 || code == 1 ? (int)code : -1;
}

// ---------------------------------------------------------------------------------------------
// The stand-ins' logs.

static int ReadLog(const char *file, char *text, int size)
{
    char path[MAX_PATH + 32];
    snprintf(path, sizeof path, "%s\\%s", logWin, file);
    text[0] = 0;
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    DWORD got = 0;
    ReadFile(h, text, (DWORD)size - 1, &got, nullptr);
    text[got] = 0;
    CloseHandle(h);
    int lines = 0;
    for (char *p = text; *p; p++)
        lines += *p == '\n';
    return lines;
}

static void ClearLogs()
{
    char path[MAX_PATH + 32];
    snprintf(path, sizeof path, "%s\\password.log", logWin);
    DeleteFileA(path);
    snprintf(path, sizeof path, "%s\\mpr.log", logWin);
    DeleteFileA(path);
}

static int CountOccurrences(const char *text, const char *what)
{
    int n = 0;
    for (const char *p = strstr(text, what); p; p = strstr(p + 1, what))
        n++;
    return n;
}

// ---------------------------------------------------------------------------------------------
// The saver process and its windows.

struct Saver : Process {
    DWORD exitCode = STILL_ACTIVE;

    bool Start(const char *program, const char *args)
    {
        exitCode = STILL_ACTIVE;
        return Process::Start(program, args);
    }

    // The exit code, or STILL_ACTIVE when it did not end in time.
    DWORD WaitExit(DWORD milliseconds)
    {
        if (!running)
            return exitCode;
        if (!WaitUntil(milliseconds, [&] { return !Alive(); }))
            return STILL_ACTIVE;
        GetExitCodeProcess(pi.hProcess, &exitCode);
        Close();
        return exitCode;
    }
};

// Any window a mode that should show none might show: a visible one, or one of the saver's class.
static bool SaverOrVisible(HWND window)
{
    return IsSaverWindow(window) || IsWindowVisible(window);
}

static HWND WaitForFullScreen(Saver &saver, DWORD milliseconds = 10000)
{
    HWND window = nullptr;
    WaitUntil(milliseconds, [&] {
        window = ProcessWindow(saver.pi.dwProcessId, SaverOrVisible);
        return window != nullptr || !saver.Alive();
    });
    return window;
}

struct WindowFacts {
    char cls[64];
    char title[64];
    DWORD style;
    DWORD exStyle;
    RECT rect;
};

static WindowFacts ReadFacts(HWND window)
{
    WindowFacts f = {};
    GetClassNameA(window, f.cls, sizeof f.cls);
    GetWindowTextA(window, f.title, sizeof f.title);
    f.style = (DWORD)GetWindowLongA(window, GWL_STYLE);
    f.exStyle = (DWORD)GetWindowLongA(window, GWL_EXSTYLE);
    GetWindowRect(window, &f.rect);
    return f;
}

static void ExpectFacts(Outcome &o, HWND window, const char *title, DWORD style, DWORD exStyle,
                        const RECT &rect)
{
    WindowFacts f = ReadFacts(window);
    o.Expect(strcmp(f.cls, SAVER_CLASS) == 0, "expected class %s got %s", SAVER_CLASS, f.cls);
    o.Expect(strcmp(f.title, title) == 0, "expected title \"%s\" got \"%s\"", title, f.title);
    o.Expect(f.style == style, "expected style 0x%08lX got 0x%08lX", (unsigned long)style, (unsigned long)f.style);
    o.Expect(f.exStyle == exStyle, "expected extended style 0x%lX got 0x%lX", (unsigned long)exStyle,
             (unsigned long)f.exStyle);
    o.Expect(EqualRect(&f.rect, &rect), "expected rect (%ld,%ld,%ld,%ld) got (%ld,%ld,%ld,%ld)", rect.left,
             rect.top, rect.right, rect.bottom, f.rect.left, f.rect.top, f.rect.right, f.rect.bottom);
}

// The screen's device context's clip box, which a full-screen saver covers: the screen, or every
// monitor where there are several. Read once at the start: in a long run on a fresh display Wine
// has been seen to answer 0 for the screen size later on, while the saver still got the right one.
static RECT screenRect;

static RECT ScreenRect()
{
    return screenRect;
}

static bool ReadScreenRect()
{
    return WaitUntil(5000, [] {
        HDC screen = GetDC(nullptr);
        if (!screen || GetClipBox(screen, &screenRect) == ERROR)
            SetRectEmpty(&screenRect);
        ReleaseDC(nullptr, screen);
        return !IsRectEmpty(&screenRect);
    });
}

// The part of the screen below a monitor shorter than the screen, which no monitor shows (nor does
// Wine draw there): in the capture's coordinates. Monitors side by side have one such strip at
// most; returns false where there is none.
static RECT unseenStrip;
static BOOL CALLBACK FindUnseenStrip(HMONITOR, HDC, RECT *monitor, LPARAM)
{
    RECT screen = ScreenRect();
    if (monitor->bottom < screen.bottom)
        SetRect(&unseenStrip, monitor->left - screen.left, monitor->bottom - screen.top, monitor->right - screen.left,
                screen.bottom - screen.top);
    return TRUE;
}

static const RECT *UnseenStrip()
{
    SetRectEmpty(&unseenStrip);
    EnumDisplayMonitors(nullptr, nullptr, FindUnseenStrip, 0);
    return IsRectEmpty(&unseenStrip) ? nullptr : &unseenStrip;
}

// Wine sees the monitors asked for, and the window covers them all: the virtual screen.
static void ExpectOnMonitors(Outcome &o, int monitors, HWND window)
{
    int seen = GetSystemMetrics(SM_CMONITORS);
    o.Expect(seen == monitors, "expected Wine to see %d monitors, it sees %d", monitors, seen);
    RECT all, rect = {};
    SetRect(&all, GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
            GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
            GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN));
    GetWindowRect(window, &rect);
    o.Expect(EqualRect(&rect, &all), "expected the window to cover every monitor, (%ld,%ld,%ld,%ld), got (%ld,%ld,%ld,%ld)",
             all.left, all.top, all.right, all.bottom, rect.left, rect.top, rect.right, rect.bottom);
}

static void ExpectFullScreenFacts(Outcome &o, HWND window)
{
    ExpectFacts(o, window, "Screen Saver", FULL_SCREEN_STYLE, WS_EX_TOPMOST, ScreenRect());
}

// A handle value that names no window on this run.
static HWND NoWindow()
{
    DWORD dead = 1234;
    while (IsWindow((HWND)(ULONG_PTR)dead))
        dead += 4;
    return (HWND)(ULONG_PTR)dead;
}

// The saver's command line after its name: the case's, with %lu filled in by `window`.
static const char *CommandArgs(const Case &c, HWND window, char *out, size_t size)
{
    if (c.handle == Handle::None)
        return c.args;
    snprintf(out, size, c.args, HandleValue(window));
    return out;
}

// ---------------------------------------------------------------------------------------------
// Modes that open no window.

void EndsWithMinusOne(Outcome &o, const Case &c, const char *program)
{
    char args[64];
    Saver saver;
    if (o.Expect(saver.Start(program, CommandArgs(c, NoWindow(), args, sizeof args)), "could not start the saver")) {
        HWND seen = nullptr;
        WaitUntil(10000, [&] {
            if (!seen)
                seen = ProcessWindow(saver.pi.dwProcessId, SaverOrVisible);
            return !saver.Alive();
        });
        DWORD code = saver.WaitExit(100);
        o.Expect(code == INVALID_EXIT, "expected exit 0x%08lX got 0x%08lX", (unsigned long)INVALID_EXIT,
                 (unsigned long)code);
        o.Expect(seen == nullptr, "expected no window, one appeared");
    }
}

// ---------------------------------------------------------------------------------------------
// The preview, inside a window of the driver.

static LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

#define DRIVER_WINDOW_CLASS "E2EDriverWindow"

static void RegisterDriverWindowClass()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = (HBRUSH)GetStockObject(GRAY_BRUSH);
    wc.lpszClassName = DRIVER_WINDOW_CLASS;
    RegisterClassA(&wc);
}

void Preview(Outcome &o, const Case &c, const char *program)
{
    UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
    RECT frame = {0, 0, c.client.cx, c.client.cy};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    HWND parent = CreateWindowExA(0, DRIVER_WINDOW_CLASS, "e2e preview parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40,
                                  40, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    Pump(50);
    char args[64];
    CommandArgs(c, parent, args, sizeof args);
    Saver saver;
    if (o.Expect(parent != nullptr, "could not create the parent") &&
        o.Expect(saver.Start(program, args), "could not start the saver")) {
        HWND child = nullptr;
        WaitUntil(10000, [&] {
            child = FindWindowExA(parent, nullptr, SAVER_CLASS, nullptr);
            return child != nullptr || !saver.Alive();
        });
        // The style lacks WS_VISIBLE until CreateWindowExA has shown the window, at its end.
        WaitUntil(5000, [&] { return child && IsWindowVisible(child); });
        if (o.Expect(child != nullptr, "expected a child window, saver %s",
                     saver.Alive() ? "runs without one" : "ended")) {
            RECT client;
            GetClientRect(parent, &client);
            MapWindowPoints(parent, nullptr, (POINT *)&client, 2);
            ExpectFacts(o, child, "Preview", PREVIEW_STYLE, 0, client);
            o.Expect(GetParent(child) == parent, "expected the parent %lu got %lu", HandleValue(parent),
                     HandleValue(GetParent(child)));
            DWORD pid = 0;
            GetWindowThreadProcessId(child, &pid);
            o.Expect(pid == saver.pi.dwProcessId, "the child belongs to another process");
            // A preview ignores what would end a full-screen saver.
            PostMessageA(child, WM_KEYDOWN, 'X', 0);
            PostMessageA(child, WM_LBUTTONDOWN, 0, 0);
            PostMessageA(child, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
            Pump(300);
            o.Expect(saver.Alive() && IsWindow(child), "the preview ended on input or a power broadcast");
            if (c.ending == Ending::AutoPlayQuery) {
                DWORD_PTR answer = 0xDEAD;
                SendMessageTimeoutA(child, query, 0, 0, SMTO_NORMAL, 5000, &answer);
                o.Expect(answer == (DWORD_PTR)c.answer, "expected the AutoPlay answer %ld got %lu", (long)c.answer,
                         (unsigned long)answer);
                DWORD code = saver.WaitExit(10000);
                o.Expect(code == 0, "expected exit 0 after the AutoPlay query, got %s0x%08lX",
                         code == STILL_ACTIVE ? "still running " : "", (unsigned long)code);
            }
        }
        DestroyWindow(parent);
        parent = nullptr;
        DWORD code = saver.WaitExit(10000);
        o.Expect(code == 0, "expected exit 0 after the parent was destroyed, got 0x%08lX", (unsigned long)code);
    }
    if (parent)
        DestroyWindow(parent);
}

// ---------------------------------------------------------------------------------------------
// Full screen.

// Where the pointer rests when a saver starts: its anchor.
#define REST_X 300
#define REST_Y 300

// With the stand-ins' logs empty and ScreenSaveUsePassword set first, unless `usePassword` is -1.
static bool StartFullScreen(Outcome &o, Saver &saver, const char *program, const char *args, int usePassword,
                            HWND *window)
{
    ClearLogs();
    if (usePassword >= 0 && !o.Expect(SetUsePassword(usePassword), "reg add failed"))
        return false;
    if (!o.Expect(MovePointer(REST_X, REST_Y), "xdotool could not move the pointer"))
        return false;
    // Wine answers GetCursorPos from its own record, without asking X, for 100 ms after the last
    // move it saw; a move over no Wine window goes unseen. Started within that time, the saver
    // would take a stale anchor and the real position, a few pixels off, would end it at once.
    POINT at = {};
    o.Expect(WaitUntil(3000, [&] { return GetCursorPos(&at) && at.x == REST_X && at.y == REST_Y; }),
             "Wine does not see the pointer at (%d,%d) but at (%ld,%ld)", REST_X, REST_Y, at.x, at.y);
    if (!o.Expect(saver.Start(program, args), "could not start the saver"))
        return false;
    *window = WaitForFullScreen(saver);
    if (!o.Expect(*window != nullptr, "expected a full-screen window, saver %s",
                  saver.Alive() ? "runs without one" : "ended"))
        return false;
    WaitUntil(5000, [&] { return IsWindowVisible(*window) != FALSE; });
    // Until the first paint the window may still show what lay under it.
    Pump(200);
    return true;
}

static void ExpectEndsWithZero(Outcome &o, Saver &saver, const char *after)
{
    DWORD code = saver.WaitExit(10000);
    o.Expect(code == 0, "expected exit 0 after %s, got %s0x%08lX", after, code == STILL_ACTIVE ? "still running " : "",
             (unsigned long)code);
}

static void ExpectStillRunning(Outcome &o, Saver &saver, HWND window, const char *after)
{
    Pump(700);
    o.Expect(saver.Alive() && IsWindow(window), "expected the saver to keep running after %s", after);
}

// Written in the log folder when a comparison fails, to look at afterwards.
static void SaveInLog(const Surface &surface, const char *name)
{
    char path[MAX_PATH + 64];
    snprintf(path, sizeof path, "%s\\%s", logWin, name);
    surface.Save(path);
}

// Waits until the screen under the saver shows `atLeast` lines or more, and checks that it is the
// reference drawing of some line count.
static int ExpectDrawing(Outcome &o, ReferenceDrawing &reference, const RECT &area, int atLeast,
                         const RECT *covered, const char *what)
{
    Surface capture(reference.width, reference.height);
    DWORD start = GetTickCount();
    int n = -1;
    long closest = 0;
    while (GetTickCount() - start < 30000) {
        capture.Grab(area.left, area.top);
        n = reference.MatchCapture(capture, 3000, covered, &closest);
        if (n < 0 || n >= atLeast)
            break;
        Pump(100);
    }
    if (n < 0) {
        SaveInLog(capture, "capture-mismatch.bmp");
        SaveInLog(reference, "reference-closest.bmp");
    }
    o.Expect(n >= atLeast, "%s: expected the reference drawing of at least %d lines, %s (closest: %ld pixels differ)",
             what, atLeast, n < 0 ? "no line count matches" : "too few lines", closest);
    return n;
}

// A drawing other than the product's is not matched pixel for pixel: it draws when the screen
// changes between one moment and one some ticks later, and is not all black then.
static void ExpectScreenChanges(Outcome &o, const RECT &area)
{
    Surface black(area.right - area.left, area.bottom - area.top);
    Surface earlier(black.width, black.height), later(black.width, black.height);
    earlier.Grab(area.left, area.top);
    bool changed = false, lit = false;
    WaitUntil(10000, [&] {
        Pump(300);
        later.Grab(area.left, area.top);
        changed = later.Differences(earlier, nullptr, 1) > 0;
        lit = later.Differences(black, nullptr, 1) > 0;
        return changed && lit;
    });
    if (!changed || !lit)
        SaveInLog(later, "capture-unchanged.bmp");
    o.Expect(changed, "expected the screen to change while the saver runs");
    o.Expect(lit, "expected the screen not to be all black");
}

void FullScreen(Outcome &o, const Case &c, const char *program)
{
    Saver saver;
    HWND window = nullptr;
    if (!StartFullScreen(o, saver, program, c.args, c.usePassword, &window))
        return;
    RECT screen = ScreenRect();
    ExpectFullScreenFacts(o, window);
    if (c.monitors)
        ExpectOnMonitors(o, c.monitors, window);
    switch (c.ending) {
    case Ending::KeyAfterTheClear: {
        ReferenceDrawing reference(screen.right - screen.left, screen.bottom - screen.top);
        int early = ExpectDrawing(o, reference, screen, 1, nullptr, "early");
        // A fuller picture for the screenshot, which is also a third comparison.
        int middle = ExpectDrawing(o, reference, screen, 300, nullptr, "before the clear");
        if (middle > 0 && middle < EXPECTED_LINES_PER_CLEAR) {
            char command[MAX_PATH + 64];
            snprintf(command, sizeof command, "import -window root %s/e2e-screenshot.png", workUnix);
            o.Expect(RunUnix(command), "import could not take the screenshot");
        }
        int later = ExpectDrawing(o, reference, screen, EXPECTED_LINES_PER_CLEAR + 20, nullptr, "after the clear");
        Note("drawing matched at %d, %d and %d lines", early, middle, later);
        o.Expect(saver.Alive(), "the saver ended while drawing");
        Press("key x");
        ExpectEndsWithZero(o, saver, "a key");
        break;
    }
    case Ending::KeyAfterDrawing: {
        ReferenceDrawing reference(screen.right - screen.left, screen.bottom - screen.top);
        ExpectDrawing(o, reference, screen, 20, c.monitors ? UnseenStrip() : nullptr, "full screen");
    }
        [[fallthrough]];
    case Ending::Key:
        o.Expect(Press("key x"), "xdotool failed");
        ExpectEndsWithZero(o, saver, "a key");
        break;
    case Ending::KeyAfterChange:
        ExpectScreenChanges(o, screen);
        o.Expect(saver.Alive(), "the saver ended while drawing");
        o.Expect(Press("key x"), "xdotool failed");
        ExpectEndsWithZero(o, saver, "a key");
        break;
    case Ending::LeftButton:
        o.Expect(Press("click 1"), "xdotool failed");
        ExpectEndsWithZero(o, saver, "a left button");
        break;
    case Ending::RightButton:
        o.Expect(Press("click 3"), "xdotool failed");
        ExpectEndsWithZero(o, saver, "a right button");
        break;
    case Ending::MouseDrift:
        // 1 + 1, then 3 + 1, then 2 + 2 away from the anchor: never more than 4.
        MovePointer(REST_X + 1, REST_Y + 1);
        MovePointer(REST_X + 3, REST_Y + 1);
        MovePointer(REST_X + 2, REST_Y + 2);
        ExpectStillRunning(o, saver, window, "a drift of 4 pixels");
        MovePointer(REST_X + 3, REST_Y + 2);
        ExpectEndsWithZero(o, saver, "a drift of 5 pixels");
        break;
    case Ending::PowerBroadcast:
        PostMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
        ExpectEndsWithZero(o, saver, "WM_POWERBROADCAST");
        break;
    case Ending::SecondInstance: {
        Saver second;
        if (o.Expect(second.Start(program, "/s"), "could not start the second saver")) {
            DWORD code = second.WaitExit(10000);
            o.Expect(code == 0, "expected the second to end with 0, got 0x%08lX", (unsigned long)code);
        }
        o.Expect(saver.Alive() && IsWindow(window), "expected the first to keep running");
        o.Expect(GetForegroundWindow() == window, "expected the first in front, the foreground is %lu",
                 HandleValue(GetForegroundWindow()));
        Press("key x");
        ExpectEndsWithZero(o, saver, "a key");
        break;
    }
    default:
        o.Expect(false, "the scenario table gives full screen an ending it does not know");
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// The example saver's settings: its key in the current user's registry, the dialog of "/c" built
// from its table, and the pool it fills with the stored colour.

#define SETTINGS_KEY "Software\\rings"
#define DEFAULT_POOL RGB(0, 18, 40)
#define CHOSEN_POOL RGB(120, 40, 0)
#define IDOK_EXIT 1u
#define IDCANCEL_EXIT 2u

// The controls of the built dialog: row N of the table has the identifiers from 0x100 + 16 N on,
// its control at 1 past that (a colour's red slider; green at 3, blue at 5), a slider's value
// text after the slider.
#define SETTING_CONTROL(row) (0x100 + 16 * (row) + 1)
enum { RINGS_ROW, SPEED_ROW, PALETTE_ROW, SPLASHES_ROW, POOL_ROW };

struct StoredValue {
    const char *name;
    DWORD type;
    BYTE data[8];
    DWORD size;
};
#define DWORD_VALUE(name, value) \
    {name, REG_DWORD, {(BYTE)(value), (BYTE)((value) >> 8), (BYTE)((value) >> 16), (BYTE)((value) >> 24)}, 4}
const StoredValue CHOSEN[] = {
    DWORD_VALUE("Rings", 9), DWORD_VALUE("Speed", 5), DWORD_VALUE("Palette", 2), DWORD_VALUE("Splashes", 0),
    DWORD_VALUE("Pool", CHOSEN_POOL),
};
const StoredValue ALL_WRONG[] = {
    {"Rings", REG_SZ, "9", 2},
    DWORD_VALUE("Speed", 99),
    DWORD_VALUE("Palette", 4),
    {"Splashes", REG_DWORD, {1, 0, 0, 0, 0, 0, 0, 0}, 8},
    DWORD_VALUE("Pool", 0x01000000),
};

// The key emptied, then the values of `which` written.
static bool StoreSettings(Stored which)
{
    RegDeleteKeyA(HKEY_CURRENT_USER, SETTINGS_KEY);
    if (which == Stored::Nothing)
        return true;
    const StoredValue *values = which == Stored::Chosen ? CHOSEN : ALL_WRONG;
    size_t count = which == Stored::Chosen ? sizeof CHOSEN / sizeof CHOSEN[0] : sizeof ALL_WRONG / sizeof ALL_WRONG[0];
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool stored = true;
    for (size_t i = 0; i < count; i++)
        stored &= RegSetValueExA(key, values[i].name, 0, values[i].type, values[i].data, values[i].size) ==
                  ERROR_SUCCESS;
    RegCloseKey(key);
    return stored;
}

// -1 when the value is missing or is no DWORD.
static long long StoredDword(const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return -1;
    DWORD value = 0, type = 0, size = sizeof value;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, (BYTE *)&value, &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value ? (long long)value : -1;
}

static bool IsDialogWindow(HWND window)
{
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    return strcmp(cls, "#32770") == 0 && IsWindowVisible(window);
}

// A click at the middle of a control, as a person's: through the X server.
static bool ClickOn(HWND control)
{
    RECT rect;
    if (!control || !GetWindowRect(control, &rect))
        return false;
    char what[64];
    snprintf(what, sizeof what, "mousemove %ld %ld click 1", (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    return Press(what);
}

static void ExpectItemText(Outcome &o, HWND dialog, int id, const char *expected, const char *what)
{
    char text[64] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    o.Expect(strcmp(text, expected) == 0, "expected %s \"%s\", the dialog shows \"%s\"", what, expected, text);
}

// The dialog shows CHOSEN; the user clicks the splashes' check box, then OK or Cancel.
void SettingsDialog(Outcome &o, const Case &c, const char *program)
{
    if (!o.Expect(StoreSettings(c.stored), "could not store the settings"))
        return;
    Saver saver;
    if (!o.Expect(saver.Start(program, c.args), "could not start the saver"))
        return;
    HWND dialog = nullptr;
    WaitUntil(20000, [&] {
        dialog = ProcessWindow(saver.pi.dwProcessId, IsDialogWindow);
        return dialog != nullptr || !saver.Alive();
    });
    if (!o.Expect(dialog != nullptr, "expected the settings dialog, the saver %s",
                  saver.Alive() ? "shows none" : "ended"))
        return;
    Pump(300);
    ExpectItemText(o, dialog, SETTING_CONTROL(RINGS_ROW) + 1, "9", "rings at once");
    HWND list = GetDlgItem(dialog, SETTING_CONTROL(PALETTE_ROW));
    o.Expect(SendMessageA(list, CB_GETCURSEL, 0, 0) == 2, "expected the third palette chosen");
    HWND check = GetDlgItem(dialog, SETTING_CONTROL(SPLASHES_ROW));
    o.Expect(SendMessageA(check, BM_GETCHECK, 0, 0) == BST_UNCHECKED, "expected the splashes' check box clear");
    o.Expect(GetScrollPos(GetDlgItem(dialog, SETTING_CONTROL(POOL_ROW)), SB_CTL) == 120,
             "expected the pool's red slider at 120");
    ExpectItemText(o, dialog, SETTING_CONTROL(POOL_ROW) + 2 + 1, "40", "the pool's green");

    o.Expect(ClickOn(check), "xdotool could not click the check box");
    o.Expect(WaitUntil(5000, [&] { return SendMessageA(check, BM_GETCHECK, 0, 0) == BST_CHECKED; }),
             "expected the check box set after the click");
    bool ok = c.ending == Ending::OkAfterChange;
    o.Expect(ClickOn(GetDlgItem(dialog, ok ? IDOK : IDCANCEL)), "xdotool could not click the button");
    DWORD code = saver.WaitExit(10000);
    DWORD expected = ok ? IDOK_EXIT : IDCANCEL_EXIT;
    o.Expect(code == expected, "expected exit %lu, got %s0x%08lX", (unsigned long)expected,
             code == STILL_ACTIVE ? "still running " : "", (unsigned long)code);
    o.Expect(StoredDword("Splashes") == (ok ? 1 : 0), "expected Splashes = %d in the registry, read %lld", ok ? 1 : 0,
             StoredDword("Splashes"));
    o.Expect(StoredDword("Rings") == 9 && StoredDword("Pool") == CHOSEN_POOL,
             "expected the other settings as they were, read Rings = %lld, Pool = 0x%llX", StoredDword("Rings"),
             StoredDword("Pool"));
    StoreSettings(Stored::Nothing);
}

// The first tick fills the whole window with the pool's colour; the rings cover little of it.
void PoolColour(Outcome &o, const Case &c, const char *program)
{
    if (!o.Expect(StoreSettings(c.stored), "could not store the settings"))
        return;
    COLORREF pool = c.stored == Stored::Chosen ? CHOSEN_POOL : DEFAULT_POOL;
    DWORD expected = GetRValue(pool) << 16 | GetGValue(pool) << 8 | GetBValue(pool);  // as the capture holds it
    Saver saver;
    HWND window = nullptr;
    if (StartFullScreen(o, saver, program, c.args, -1, &window)) {
        RECT screen = ScreenRect();
        Surface capture(screen.right - screen.left, screen.bottom - screen.top);
        long poolPixels = 0, all = (long)capture.width * capture.height;
        WaitUntil(10000, [&] {
            Pump(200);
            capture.Grab();
            poolPixels = 0;
            for (int y = 0; y < capture.height; y += 4)
                for (int x = 0; x < capture.width; x += 4)
                    poolPixels += capture.At(x, y) == expected;
            poolPixels *= 16;
            return poolPixels > all / 2;
        });
        if (poolPixels <= all / 2)
            SaveInLog(capture, "capture-pool.bmp");
        o.Expect(poolPixels > all / 2, "expected most of the screen in the pool's colour 0x%06lX, %ld of %ld pixels",
                 (unsigned long)expected, poolPixels, all);
        o.Expect(Press("key x"), "xdotool failed");
        ExpectEndsWithZero(o, saver, "a key");
    }
    StoreSettings(Stored::Nothing);
}

// ---------------------------------------------------------------------------------------------
// The 95 family: the password stand-ins' calls.

static HWND FindVerifyDialog()
{
    return FindWindowA("#32770", STUB_DIALOG_TITLE);
}

static HWND WaitVerifyDialog(Saver &saver)
{
    HWND dialog = nullptr;
    WaitUntil(10000, [&] {
        dialog = FindVerifyDialog();
        return dialog != nullptr || !saver.Alive();
    });
    return dialog;
}

static HWND CreatePlainWindow(const char *title)
{
    HWND w = CreateWindowExA(0, DRIVER_WINDOW_CLASS, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60, 200, 120,
                             nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    Pump(50);
    return w;
}

// Wine's own MPR.DLL gives way to the stand-in beside the saver for the change-password runs only.
// (WINEDLLOVERRIDES in the environment of a process started from Wine does not reach its loader.)
static bool SetMprOverride(const char *program, bool on)
{
    const char *name = strrchr(program, '\\') ? strrchr(program, '\\') + 1 : program;
    char key[MAX_PATH + 64], line[MAX_PATH + 160];
    snprintf(key, sizeof key, "\"HKCU\\Software\\Wine\\AppDefaults\\%s\\DllOverrides\"", name);
    if (on)
        snprintf(line, sizeof line, "reg.exe add %s /v mpr /t REG_SZ /d native /f", key);
    else
        snprintf(line, sizeof line, "reg.exe delete %s /v mpr /f", key);
    return RunWindowsTool(line) == 0;
}

// '/a' with a window of the driver's, or with a handle that names none, while another window of
// the driver's is in front: the changer must get the named window, or else the one in front.
void ChangePassword(Outcome &o, const Case &c, const char *program)
{
    bool overridden = SetMprOverride(program, true);
    HWND named = CreatePlainWindow("e2e named window");
    HWND front = CreatePlainWindow("e2e foreground window");
    SetForegroundWindow(front);
    Pump(100);
    bool namesOne = c.handle == Handle::NamedWindow;
    char args[32];
    CommandArgs(c, namesOne ? named : NoWindow(), args, sizeof args);
    HWND expected = namesOne ? named : front;

    ClearLogs();
    o.Expect(GetForegroundWindow() == front, "setup: expected the driver's window in front");
    o.Expect(overridden, "setup: reg could not set the MPR override");
    Saver saver;
    if (o.Expect(saver.Start(program, args), "could not start the saver")) {
        DWORD code = saver.WaitExit(10000);
        o.Expect(code == 0, "expected exit 0 got 0x%08lX", (unsigned long)code);
        char log[2048], want[160];
        int calls = ReadLog("mpr.log", log, sizeof log);
        snprintf(want, sizeof want, "change provider=SCRSAVE parent=%lu reserved1=0 reserved2=0\n",
                 HandleValue(expected));
        o.Expect(calls == 1 && strcmp(log, want) == 0, "expected one call \"%.*s\" got %d: \"%s\"",
                 (int)strlen(want) - 1, want, calls, log);
    }
    SetMprOverride(program, false);
    DestroyWindow(named);
    DestroyWindow(front);
    Pump(50);
}

static void ExpectOneVerifyLine(Outcome &o, const char *log, HWND window, int begins)
{
    char want[64];
    snprintf(want, sizeof want, "verify owner=%lu begin", HandleValue(window));
    int found = CountOccurrences(log, "begin");
    o.Expect(found == begins && CountOccurrences(log, want) == begins,
             "expected %d check(s) with the saver window as owner, log: \"%s\"", begins, log);
}

void PasswordCheck(Outcome &o, const Case &, const char *program)
{
    Saver saver;
    HWND window = nullptr;
    if (!StartFullScreen(o, saver, program, "/s", 1, &window))
        return;
    RECT screen = ScreenRect();
    ExpectFullScreenFacts(o, window);
    Press("key x");
    HWND dialog = WaitVerifyDialog(saver);
    if (!o.Expect(dialog != nullptr, "expected the password dialog after a key"))
        return;
    o.Expect(GetWindow(dialog, GW_OWNER) == window, "expected the dialog to be owned by the saver");
    // Lines keep coming while the dialog is up; the dialog itself covers part of the window.
    RECT covered;
    GetWindowRect(dialog, &covered);
    ReferenceDrawing reference(screen.right - screen.left, screen.bottom - screen.top);
    int first = ExpectDrawing(o, reference, screen, 1, &covered, "while the dialog is up");
    int second = ExpectDrawing(o, reference, screen, first + 10, &covered, "while the dialog is up");
    Note("during the check the drawing went from %d to %d lines", first, second);
    // More input during the check neither ends it nor starts another.
    Press("key y");
    Pump(200);
    char log[2048];
    ReadLog("password.log", log, sizeof log);
    ExpectOneVerifyLine(o, log, window, 1);
    // Refuse, and at once post a burst of close requests: they come after the answer in the same
    // queue, so they all fall within 200 ms of the end of the check.
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    for (int i = 0; i < 5; i++)
        PostMessageA(window, WM_CLOSE, 0, 0);
    WaitUntil(5000, [&] { return !IsWindow(dialog); });
    Pump(600);
    o.Expect(saver.Alive() && IsWindow(window), "expected the saver to keep running after a refusal");
    o.Expect(FindVerifyDialog() == nullptr, "a close request within 200 ms started a second check");
    ReadLog("password.log", log, sizeof log);
    ExpectOneVerifyLine(o, log, window, 1);
    o.Expect(strstr(log, "result=0") != nullptr, "expected the refusal in the log: \"%s\"", log);
    // Long after the refusal a key starts a new check; acceptance ends the saver.
    Press("key x");
    dialog = WaitVerifyDialog(saver);
    if (o.Expect(dialog != nullptr, "expected a second check after a key")) {
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        ExpectEndsWithZero(o, saver, "acceptance");
    }
    ReadLog("password.log", log, sizeof log);
    ExpectOneVerifyLine(o, log, window, 2);
}

// QueryCancelAutoPlay sent to the full-screen saver: its answer, and whether it ends the saver
// (through a check when the password is set) or leaves it to a key.
void AutoPlay(Outcome &o, const Case &c, const char *program)
{
    UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
    bool ends = c.ending == Ending::AutoPlayQuery;
    bool protectedByPassword = c.usePassword > 0;
    Saver saver;
    HWND window = nullptr;
    if (!StartFullScreen(o, saver, program, "/s", c.usePassword, &window))
        return;
    DWORD_PTR answer = 0xDEAD;
    SendMessageTimeoutA(window, query, 0, 0, SMTO_NORMAL, 5000, &answer);
    o.Expect(answer == (DWORD_PTR)c.answer, "expected the answer %ld got %lu", (long)c.answer, (unsigned long)answer);
    if (!ends) {
        ExpectStillRunning(o, saver, window, "the AutoPlay query");
        Press("key x");
        ExpectEndsWithZero(o, saver, "a key");
    } else {
        if (protectedByPassword) {
            HWND dialog = WaitVerifyDialog(saver);
            if (o.Expect(dialog != nullptr, "expected the close request to start a check"))
                PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        }
        ExpectEndsWithZero(o, saver, "the AutoPlay query");
    }
    char log[1024];
    int calls = ReadLog("password.log", log, sizeof log);
    o.Expect(calls == (protectedByPassword && ends ? 2 : 0), "unexpected checks, log: \"%s\"", log);
}

// A key ends the saver at once: no password check, the setting being 0 or the family not the 95.
void KeyEndsWithoutCheck(Outcome &o, const Case &c, const char *program)
{
    Saver saver;
    HWND window = nullptr;
    if (!StartFullScreen(o, saver, program, "/s", c.usePassword, &window))
        return;
    if (c.windowFacts)
        ExpectFullScreenFacts(o, window);
    Press("key x");
    ExpectEndsWithZero(o, saver, "a key");
    char log[1024];
    o.Expect(ReadLog("password.log", log, sizeof log) == 0, "expected no check, log: \"%s\"", log);
}

// The check faults in the stand-in: the saver's guard ends it with its own code and clears the
// platform's running flag, which a fresh process reads before and after.
void FaultInCheck(Outcome &o, const Case &c, const char *program)
{
    Saver saver;
    HWND window = nullptr;
    if (!StartFullScreen(o, saver, program, "/s", c.usePassword, &window))
        return;
    int running = ReadRunningFlag();
    o.Expect(running == 1, "expected the running flag set while the protected saver runs, read %d", running);
    Press("key x");
    DWORD code = saver.WaitExit(15000);
    o.Expect(code == FAULT_EXIT, "expected exit %lu from the guard, got %s0x%08lX", (unsigned long)FAULT_EXIT,
             code == STILL_ACTIVE ? "still running " : "", (unsigned long)code);
    char log[1024];
    ReadLog("password.log", log, sizeof log);
    o.Expect(strstr(log, "fault") != nullptr, "expected the faulting check in the log: \"%s\"", log);
    running = ReadRunningFlag();
    o.Expect(running == 0, "expected the guard to clear the running flag, read %d", running);
}

// ---------------------------------------------------------------------------------------------
// The walk through the tables.

static void Run(const Scenario &s, const char *program)
{
    Outcome o;
    // A desktop effect starts over a desktop, which it shows: over black it would melt black.
    Desktop desktop;
    if (s.with.copy == Copy::DesktopExample)
        o.Expect(desktop.Show(), "expected a desktop shown to start the saver over (error %lu)", GetLastError());
    s.run(o, s.with, program);
    Report(s.name, o);
}

// The Windows version the prefix reports to a program of the given name, read by a copy of this
// program under that name: major << 8 | minor, plus 0x10000 on the NT family.
static DWORD VersionReportedTo(const char *name)
{
    char self[MAX_PATH], folder[MAX_PATH + 16], copy[2 * MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    snprintf(folder, sizeof folder, "%s-versions", matrixFolder);
    CreateDirectoryA(folder, nullptr);
    snprintf(copy, sizeof copy, "%s\\%s", folder, name);
    if (!CopyFileA(self, copy, FALSE))
        return INVALID_EXIT;
    return RunDriverMode(copy, "--windows-version");
}

static void ExpectReportedVersion(const Version &version)
{
    Outcome o;
    char name[32], what[96];
    snprintf(name, sizeof name, "saver-%s.scr", version.name);
    DWORD reported = VersionReportedTo(name);
    DWORD expected = version.reported;
    o.Expect(reported == expected, "expected version 0x%05lX got 0x%05lX", (unsigned long)expected,
             (unsigned long)reported);
    snprintf(what, sizeof what, "the prefix reports Windows %lu.%lu of the %s family",
             (unsigned long)(expected >> 8 & 0xFF), (unsigned long)(expected & 0xFF), version.win95 ? "95" : "NT");
    Report(what, o);
}

static void RunVersionMatrix()
{
    static char prefix[32];
    for (const Version *v = versions; v < versions + versionCount; v++) {
        char program[MAX_PATH];
        snprintf(program, sizeof program, "%s\\saver-%s.scr", matrixFolder, v->name);
        snprintf(prefix, sizeof prefix, "%s: ", v->name);
        reportPrefix = prefix;
        ExpectReportedVersion(*v);
        Family family = v->win95 ? Family::Win95 : Family::Nt;
        for (const Scenario *s = matrixScenarios; s < matrixScenarios + matrixScenarioCount; s++)
            if (s->family == Family::Any || s->family == family)
                Run(*s, program);
    }
    reportPrefix = "";
    SetUsePassword(-1);
}

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "--windows-version") == 0) {
        OSVERSIONINFOA version = {};
        version.dwOSVersionInfoSize = sizeof version;
        if (!GetVersionExA(&version))
            return 0;
        return (version.dwPlatformId == VER_PLATFORM_WIN32_NT ? 0x10000 : 0) |
               (version.dwMajorVersion & 0xFF) << 8 | (version.dwMinorVersion & 0xFF);
    }
    if (argc == 2 && strcmp(argv[1], "--running-flag") == 0) {
        BOOL running = FALSE;
        if (!SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0))
            return 2;
        return running ? 1 : 0;
    }
    // The closing line is read by a Unix script: no carriage returns.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc != 3 && argc != 4) {
        printf("usage: e2e_driver <saver.scr> <work folder> (unix paths) [groups, e.g. exit,preview]\n");
        printf("0 passed, 1 failed\n");
        return 2;
    }
    UnixToWindows(argv[1], ntSaver, sizeof ntSaver);
    lstrcpynA(workUnix, argv[2], sizeof workUnix);
    char work[MAX_PATH];
    UnixToWindows(workUnix, work, sizeof work);
    snprintf(w95Saver, sizeof w95Saver, "%s\\w95\\saver95.scr", work);
    snprintf(faultSaver, sizeof faultSaver, "%s\\w95fault\\saver95.scr", work);
    snprintf(ntPasswordSaver, sizeof ntPasswordSaver, "%s\\ntpw\\saver.scr", work);
    snprintf(exampleSaver, sizeof exampleSaver, "%s\\example\\example.scr", work);
    snprintf(example95Saver, sizeof example95Saver, "%s\\example95\\saver95.scr", work);
    snprintf(pixelSaver, sizeof pixelSaver, "%s\\pixel\\pixel.scr", work);
    snprintf(clockSaver, sizeof clockSaver, "%s\\clock\\clock.scr", work);
    snprintf(desktopSaver, sizeof desktopSaver, "%s\\desktop\\desktop.scr", work);
    snprintf(matrixFolder, sizeof matrixFolder, "%s\\matrix", work);
    snprintf(logWin, sizeof logWin, "%s\\log", work);
    CreateDirectoryA(logWin, nullptr);
    SetEnvironmentVariableA(STUB_LOG_VARIABLE, logWin);
    RegisterDriverWindowClass();
    if (!ReadScreenRect()) {
        printf("FAIL setup: the screen size reads 0\n0 passed, 1 failed\n");
        return 1;
    }

    const char *picked = argc == 4 ? argv[3] : nullptr;
    const char *copies[(size_t)Copy::Count] = {ntSaver,         w95Saver,     faultSaver,
                                               ntPasswordSaver, exampleSaver, example95Saver, pixelSaver,
                                               clockSaver,      desktopSaver};
    for (size_t i = 0; i < scenarioCount; i++) {
        const Scenario &s = scenarios[i];
        if (picked ? !strstr(picked, s.group) : s.with.monitors != 0)
            continue;
        if (s.with.copy == Copy::DesktopExample && GetFileAttributesA(desktopSaver) == INVALID_FILE_ATTRIBUTES) {
            printf("SKIP %s: the desktop example is not given to this run\n", s.name);
            continue;
        }
        Run(s, copies[(size_t)s.with.copy]);
        // Each group leaves the password setting as it found it, unset.
        bool lastOfGroup = i + 1 == scenarioCount || strcmp(scenarios[i + 1].group, s.group) != 0;
        if (lastOfGroup && usePasswordSet)
            SetUsePassword(-1);
    }
    // Without groups named, the matrix runs where the work folder has its copies.
    if (picked ? strstr(picked, "matrix") != nullptr : GetFileAttributesA(matrixFolder) != INVALID_FILE_ATTRIBUTES)
        RunVersionMatrix();

    printf("%d passed, %d failed\n", passedCount, failedCount);
    fflush(stdout);
    return failedCount == 0 ? 0 : 1;
}
