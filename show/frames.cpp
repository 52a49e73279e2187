// Takes the frames of scripts/show-effect.sh: starts a saver under Wine full screen or as a
// preview, grabs the screen at the moments asked for, counted from the moment its window shows,
// then ends it as a person or the settings dialog would (a key; closing the preview) and checks
// that it ended with exit code 0. Each frame is a .bmp the size of the screen.
//
// Usage: show_frames.exe <saver.scr> full|preview <moments in ms, e.g. 1000,5000> <out folder>
// (Unix paths). Prints "frame <ms> <path>" for each frame, then "ended 0". Exits 1 on the first
// thing that keeps a frame from being taken, and says what.
//
// The preview's parent is the desktop window. Under Wine 8 a child window of another process
// draws into nothing: neither the X screen nor the platform's screen device context shows it. A
// child of the desktop window has an X window of its own, so the saver's real preview (its "/p"
// start, a child window in preview mode) shows, at the size of the screen: on a 152 x 112 screen,
// the size of the preview in the settings dialog.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "tests/wine/harness.h"

#define WINDOW_LIMIT_MS 15000
#define END_LIMIT_MS 10000

static HANDLE runningProcess;

static int Fail(const char *why, unsigned long detail = 0)
{
    if (runningProcess)
        TerminateProcess(runningProcess, 99);
    printf("show_frames: ");
    printf(why, detail);
    printf("\n");
    fflush(stdout);
    return 1;
}

static bool IsShownSaverWindow(HWND window) { return IsSaverWindow(window) && IsWindowVisible(window); }

// "1000,5000,20000": each moment later than the one before.
static bool ParseMoments(const char *text, std::vector<DWORD> &moments)
{
    for (const char *p = text; *p;) {
        char *end;
        unsigned long ms = strtoul(p, &end, 10);
        if (end == p || (!moments.empty() && ms <= moments.back()))
            return false;
        moments.push_back((DWORD)ms);
        p = *end == ',' ? end + 1 : end;
        if (*end && *end != ',')
            return false;
    }
    return !moments.empty();
}

static void PressKey()
{
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = 'X';
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof keys[0]);
}

int main(int argc, char **argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<DWORD> moments;
    bool preview = argc == 5 && strcmp(argv[2], "preview") == 0;
    if (argc != 5 || (!preview && strcmp(argv[2], "full") != 0) || !ParseMoments(argv[3], moments)) {
        printf("usage: show_frames <saver.scr> full|preview <moments in ms, rising, e.g. 1000,5000> <out folder>\n");
        return 2;
    }
    char program[MAX_PATH], folder[MAX_PATH], args[32] = "/s";
    UnixToWindows(argv[1], program, sizeof program);
    UnixToWindows(argv[4], folder, sizeof folder);
    if (preview)
        snprintf(args, sizeof args, "/p %lu", (unsigned long)(ULONG_PTR)GetDesktopWindow());
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    Surface frame(width, height);
    if (!frame.bitmap)
        return Fail("no memory for a bitmap of the screen");

    Process saver;
    if (!saver.Start(program, args))
        return Fail("could not start the saver (CreateProcessA error %lu)", GetLastError());
    runningProcess = saver.pi.hProcess;
    HWND window = nullptr;
    if (!WaitUntil(WINDOW_LIMIT_MS, [&] {
            window = ProcessWindow(saver.pi.dwProcessId, IsShownSaverWindow);
            return window != nullptr || !saver.Alive();
        }) ||
        !window)
        return Fail(saver.Alive() ? "the saver showed no window within %lu s" : "the saver ended before it showed a window",
                    WINDOW_LIMIT_MS / 1000);

    DWORD shown = GetTickCount();
    for (DWORD moment : moments) {
        DWORD elapsed = GetTickCount() - shown;
        if (moment > elapsed)
            Pump(moment - elapsed);
        if (!saver.Alive())
            return Fail("the saver ended by itself before the frame at %lu ms", moment);
        frame.Grab();
        char path[MAX_PATH + 32];
        snprintf(path, sizeof path, "%s\\%s-%lu.bmp", folder, argv[2], (unsigned long)moment);
        if (!frame.Save(path))
            return Fail("could not write a frame into the out folder (error %lu)", GetLastError());
        printf("frame %lu %s\n", (unsigned long)moment, path);
        fflush(stdout);
    }

    // A key ends a full-screen saver; the settings dialog closes its preview.
    if (preview)
        PostMessageA(window, WM_CLOSE, 0, 0);
    else
        PressKey();
    if (WaitForSingleObject(saver.pi.hProcess, END_LIMIT_MS) != WAIT_OBJECT_0)
        return Fail(preview ? "the preview did not end when it was closed" : "the saver did not end on a key");
    runningProcess = nullptr;
    DWORD code = 1;
    GetExitCodeProcess(saver.pi.hProcess, &code);
    saver.Close();
    if (code != 0)
        return Fail("the saver ended with exit code 0x%08lX", code);
    printf("ended 0\n");
    return 0;
}
