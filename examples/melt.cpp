// Melt: the desktop as the user left it runs down the screen, column by column, into the dark;
// when the last column has gone, the desktop is back and melts again.
//
// The screen is copied once, at WM_CREATE, before the saver's window shows and covers it; from
// then on every picture is drawn from that copy. The window shows the copy at once, at its first
// WM_ERASEBKGND, so the user sees no black between the desktop and the saver. In a preview the
// whole screen is shrunk into the small window. Integer arithmetic only; the columns' speeds come
// from a fixed seed, so every run melts the same way.
#include "framework/saver_effect.h"

#define MELT_TIMER_ID 1
#define MELT_INTERVAL 30      // ms a tick
#define MELT_COLUMNS 32       // the window's width in this many columns
#define MOVES_A_TICK 8        // columns that slide further down in each tick
#define FASTEST_STEP 9        // pixels a column slides in one move at most, at 768 pixels high
#define STEP_HEIGHT 768       // the height that FASTEST_STEP is for: smaller windows slide less
#define MELT_SEED 0x4D454C54u // "MELT"

struct MELTSTATE {
    RECT client;
    int columnWidth;
    int fallen[MELT_COLUMNS];  // pixels each column has slid down
    int columnsGone;           // columns that have slid out of the window
    DWORD randomState;
    HDC copyDC;        // the desktop as it was, from WM_CREATE to WM_DESTROY
    HBITMAP copy;
    HGDIOBJ keptBitmap;  // what copyDC held before the copy
};

static MELTSTATE Melt = {{0, 0, 0, 0}, 1, {}, 0, MELT_SEED, NULL, NULL, NULL};

static int NextMeltRandom(int range) {
    Melt.randomState = Melt.randomState * 1103515245u + 12345u;
    return (int)((Melt.randomState >> 8) % (DWORD)range);
}

// Copies what the screen shows now into a bitmap the size of the window: the window's own part
// of it full screen (the window lies on the screen's clip box), the whole screen shrunk in a
// preview. Only here, before the window shows: afterwards the screen is the saver's own window.
static void CopyDesktop(void) {
    HDC screen = GetDC(NULL);
    RECT box;
    GetClipBox(screen, &box);
    int width = Melt.client.right, height = Melt.client.bottom;
    Melt.copyDC = CreateCompatibleDC(screen);
    Melt.copy = CreateCompatibleBitmap(screen, width, height);
    Melt.keptBitmap = SelectObject(Melt.copyDC, Melt.copy);
    // Windows 95 has no HALFTONE: COLORONCOLOR keeps whole pixels of a shrunk desktop.
    SetStretchBltMode(Melt.copyDC, COLORONCOLOR);
    StretchBlt(Melt.copyDC, 0, 0, width, height, screen, box.left, box.top, box.right - box.left,
               box.bottom - box.top, SRCCOPY);
    ReleaseDC(NULL, screen);
}

// One column where it has slid to: the desktop's column moved down, the dark above it.
static void DrawColumn(HDC dc, int column) {
    int x = column * Melt.columnWidth, fallen = Melt.fallen[column];
    int height = Melt.client.bottom;
    if (fallen > 0) PatBlt(dc, x, 0, Melt.columnWidth, fallen < height ? fallen : height, BLACKNESS);
    if (fallen < height) BitBlt(dc, x, fallen, Melt.columnWidth, height - fallen, Melt.copyDC, x, 0, SRCCOPY);
}

static void DrawEveryColumn(HDC dc) {
    for (int column = 0; column < MELT_COLUMNS; ++column) DrawColumn(dc, column);
}

static void StartAgain(void) {
    for (int column = 0; column < MELT_COLUMNS; ++column) Melt.fallen[column] = 0;
    Melt.columnsGone = 0;
}

static void SlideColumn(HDC dc, int column) {
    int height = Melt.client.bottom;
    int fastest = FASTEST_STEP * height / STEP_HEIGHT > 1 ? FASTEST_STEP * height / STEP_HEIGHT : 1;
    if (Melt.fallen[column] >= height) return;
    Melt.fallen[column] += 1 + NextMeltRandom(fastest);
    if (Melt.fallen[column] >= height) Melt.columnsGone++;
    DrawColumn(dc, column);
}

static void MeltTick(HWND window) {
    HDC dc = GetDC(window);
    if (Melt.columnsGone == MELT_COLUMNS) {
        StartAgain();
        DrawEveryColumn(dc);
    } else {
        for (int move = 0; move < MOVES_A_TICK; ++move) SlideColumn(dc, NextMeltRandom(MELT_COLUMNS));
    }
    ReleaseDC(window, dc);
}

static void StartMelt(HWND window) {
    GetClientRect(window, &Melt.client);
    Melt.columnWidth = (Melt.client.right + MELT_COLUMNS - 1) / MELT_COLUMNS;
    if (Melt.columnWidth < 1) Melt.columnWidth = 1;
    StartAgain();
    CopyDesktop();
    SetTimer(window, MELT_TIMER_ID, MELT_INTERVAL, NULL);
}

static void EndMelt(HWND window) {
    KillTimer(window, MELT_TIMER_ID);
    SelectObject(Melt.copyDC, Melt.keptBitmap);
    DeleteObject(Melt.copy);
    DeleteDC(Melt.copyDC);
    Melt.copyDC = NULL;
    Melt.copy = NULL;
}

LRESULT CALLBACK MeltEffectProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result;
    switch (message) {
    case WM_CREATE:
        StartMelt(window);
        break;
    case WM_ERASEBKGND:
        // Over the black the framework erases to, before anything shows it: the desktop (or as
        // far as it has melted, when something uncovers the window).
        result = SaverDismissProc(window, message, wParam, lParam);
        DrawEveryColumn((HDC)wParam);
        return result;
    case WM_TIMER:
        if (wParam == MELT_TIMER_ID) MeltTick(window);
        break;
    case WM_DESTROY:
        EndMelt(window);
        break;
    }
    return SaverDismissProc(window, message, wParam, lParam);
}

const WNDPROC SaverEffectProc = MeltEffectProc;

// No settings, no dialog of its own.
BOOL RegisterConfigClasses(HINSTANCE) { return TRUE; }

INT_PTR CALLBACK ConfigDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
