// Takes the frames of scripts/show-effect.sh: starts a saver under Wine full screen or as a
// preview, grabs the screen at the moments asked for, counted from the moment its window shows,
// then ends it as a person or the settings dialog would (a key; closing the preview) and checks
// that it ended with exit code 0. Each frame is a .bmp the size of the screen.
//
// Usage: show_frames.exe <saver.scr> full|preview <moments in ms, e.g. 1000,5000> <out folder>
// (Unix paths). Prints "frame <ms> <path>" for each frame, then "ended 0". Exits 1 on the first
// thing that keeps a frame from being taken, and says what.
//
// show_frames.exe <saver.scr> settings defaults|minimum|maximum stores a configuration the way a
// person would: through the saver's own "/c" dialog, built from its settings table, with every
// control at its default, or at the end that gives the smallest or the largest value, then OK.
// Prints "stored <rows> settings" and "ended 1", or "no settings" when "/c" shows no dialog built
// from a table.
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

#include "settings/settings.h"
#include "tests/wine/harness.h"

#define WINDOW_LIMIT_MS 15000
#define END_LIMIT_MS 10000
#define DIALOG_ENDED_WITH_OK 1

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

// A saver that ends unasked says how: a fault ends it with the exception's code, while 0 is its
// ordinary close, the one a key, a click, a mouse move or the loss of activation asks for (another
// program's window on the same display takes the activation).
static int FailEnded(const Process &saver, const char *when, unsigned long moment = 0)
{
    runningProcess = nullptr;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(saver.pi.hProcess, &code);
    char what[128];
    snprintf(what, sizeof what, when, moment);
    printf("show_frames: the saver ended by itself %s, with exit code 0x%08lX%s\n", what, (unsigned long)code,
           code == 0 ? " (its ordinary close: a key, a click, a mouse move or another window took the activation)"
                     : "");
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

// ---------------------------------------------------------------------------------------------
// A configuration, stored through the saver's own dialog.

static bool IsShownDialog(HWND window)
{
    char kind[16] = "";
    return GetClassNameA(window, kind, sizeof kind) && strcmp(kind, "#32770") == 0 && IsWindowVisible(window);
}

static bool IsKind(HWND control, const char *kind)
{
    char name[16] = "";
    return GetClassNameA(control, name, sizeof name) && lstrcmpiA(name, kind) == 0;
}

// Every control of a row at the end the configuration asks for: a slider (a colour has three) at
// its left or right end, a check box off or on, a list at its first or last choice. The dialog
// stores what its controls show.
static void SetRowToEnd(HWND dialog, int row, bool largest)
{
    for (int part = SETTING_PART_CONTROL; part < SETTING_PART_SWATCH; ++part) {
        HWND control = GetDlgItem(dialog, SETTING_ID(row, part));
        if (!control)
            continue;
        if (IsKind(control, "ScrollBar")) {
            SendMessageA(dialog, WM_HSCROLL, largest ? SB_RIGHT : SB_LEFT, (LPARAM)control);
        } else if (IsKind(control, "Button")) {
            SendMessageA(control, BM_SETCHECK, largest ? BST_CHECKED : BST_UNCHECKED, 0);
        } else if (IsKind(control, "ComboBox")) {
            LRESULT last = SendMessageA(control, CB_GETCOUNT, 0, 0) - 1;
            SendMessageA(control, CB_SETCURSEL, largest && last > 0 ? last : 0, 0);
        }
    }
}

static int StoreConfiguration(const char *program, const char *configuration)
{
    bool defaults = strcmp(configuration, "defaults") == 0, largest = strcmp(configuration, "maximum") == 0;
    Process saver;
    if (!saver.Start(program, "/c"))
        return Fail("could not start the saver (CreateProcessA error %lu)", GetLastError());
    runningProcess = saver.pi.hProcess;
    HWND dialog = nullptr;
    WaitUntil(WINDOW_LIMIT_MS, [&] {
        dialog = ProcessWindow(saver.pi.dwProcessId, IsShownDialog);
        return dialog != nullptr || !saver.Alive();
    });
    int rows = 0;
    while (dialog && GetDlgItem(dialog, SETTING_ID(rows, SETTING_PART_CONTROL)))
        rows++;
    if (rows == 0) {
        // No table: "/c" ended at once, or showed the effect's own dialog, which is left unchanged.
        if (dialog)
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        if (WaitForSingleObject(saver.pi.hProcess, END_LIMIT_MS) != WAIT_OBJECT_0)
            return Fail(dialog ? "the saver's own dialog did not close on Cancel" : "'/c' showed no dialog and did not end");
        runningProcess = nullptr;
        printf("no settings\n");
        return 0;
    }
    if (defaults)
        SendMessageA(dialog, WM_COMMAND, SETTINGS_DEFAULTS_ID, 0);
    else
        for (int row = 0; row < rows; ++row)
            SetRowToEnd(dialog, row, largest);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    if (WaitForSingleObject(saver.pi.hProcess, END_LIMIT_MS) != WAIT_OBJECT_0)
        return Fail("the settings dialog did not close on OK (could it not store them?)");
    runningProcess = nullptr;
    DWORD code = 0;
    GetExitCodeProcess(saver.pi.hProcess, &code);
    if (code != DIALOG_ENDED_WITH_OK)
        return Fail("the settings dialog ended with 0x%08lX, not with OK", code);
    printf("stored %d settings\nended 1\n", rows);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Frames.

static int TakeFrames(const char *program, const char *mode, const std::vector<DWORD> &moments, const char *folder)
{
    bool preview = strcmp(mode, "preview") == 0;
    char args[32] = "/s";
    if (preview)
        snprintf(args, sizeof args, "/p %lu", (unsigned long)(ULONG_PTR)GetDesktopWindow());
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    Surface frame(width, height);
    if (!frame.bitmap)
        return Fail("no memory for a bitmap of the screen");

    // The screen as a person leaves it: a desktop effect shows it, every other covers it.
    Desktop desktop;
    if (!desktop.Show())
        return Fail("could not show a desktop to start the saver over (error %lu)", GetLastError());
    Process saver;
    if (!saver.Start(program, args))
        return Fail("could not start the saver (CreateProcessA error %lu)", GetLastError());
    runningProcess = saver.pi.hProcess;
    HWND window = nullptr;
    if (!WaitUntil(WINDOW_LIMIT_MS, [&] {
            window = ProcessWindow(saver.pi.dwProcessId, IsShownSaverWindow);
            return window != nullptr || !saver.Alive();
        }) ||
        !window) {
        if (!saver.Alive())
            return FailEnded(saver, "before it showed a window");
        return Fail("the saver showed no window within %lu s", WINDOW_LIMIT_MS / 1000);
    }

    DWORD shown = GetTickCount();
    for (DWORD moment : moments) {
        DWORD elapsed = GetTickCount() - shown;
        if (moment > elapsed)
            Pump(moment - elapsed);
        if (!saver.Alive())
            return FailEnded(saver, "before the frame at %lu ms", moment);
        frame.Grab();
        char path[MAX_PATH + 32];
        snprintf(path, sizeof path, "%s\\%s-%lu.bmp", folder, mode, (unsigned long)moment);
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

static bool IsConfiguration(const char *name)
{
    return strcmp(name, "defaults") == 0 || strcmp(name, "minimum") == 0 || strcmp(name, "maximum") == 0;
}

int main(int argc, char **argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    char program[MAX_PATH], folder[MAX_PATH];
    if (argc == 4 && strcmp(argv[2], "settings") == 0 && IsConfiguration(argv[3])) {
        UnixToWindows(argv[1], program, sizeof program);
        return StoreConfiguration(program, argv[3]);
    }
    std::vector<DWORD> moments;
    if (argc != 5 || (strcmp(argv[2], "preview") != 0 && strcmp(argv[2], "full") != 0) ||
        !ParseMoments(argv[3], moments)) {
        printf("usage: show_frames <saver.scr> full|preview <moments in ms, rising, e.g. 1000,5000> <out folder>\n"
               "       show_frames <saver.scr> settings defaults|minimum|maximum\n");
        return 2;
    }
    UnixToWindows(argv[1], program, sizeof program);
    UnixToWindows(argv[4], folder, sizeof folder);
    return TakeFrames(program, argv[2], moments, folder);
}
