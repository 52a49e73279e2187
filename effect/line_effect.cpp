// The random line effect: one line a tick from a fixed point, cleared after every 501st.
#include "effect/effect.h"

#define RANDOM_MULTIPLIER 214013u
#define RANDOM_INCREMENT 2531011u
#define LINE_START_X 500
#define LINE_START_Y 400
#define END_POINT_RANGE 1500
#define CHANNEL_RANGE 256
#define PEN_WIDTHS 3
#define LINES_BEFORE_CLEAR 500

EFFECTSTATE EffectState;

// The framework hands the saver window's messages to this effect.
const WNDPROC SaverEffectProc = LineEffectProc;

int NextRandom(void) {
    EffectState.randomState = EffectState.randomState * RANDOM_MULTIPLIER + RANDOM_INCREMENT;
    return (int)((EffectState.randomState >> 16) & 0x7FFF);
}

static void DrawNextLine(HWND window) {
    HDC dc = GetDC(window);
    int x = NextRandom() % END_POINT_RANGE;
    int y = NextRandom() % END_POINT_RANGE;
    int red = NextRandom() % CHANNEL_RANGE;
    int green = NextRandom() % CHANNEL_RANGE;
    int blue = NextRandom() % CHANNEL_RANGE;
    int width = NextRandom() % PEN_WIDTHS;

    HPEN pen = CreatePen(PS_SOLID, width, RGB(red, green, blue));
    HGDIOBJ keptPen = SelectObject(dc, pen);
    POINT previous;
    MoveToEx(dc, LINE_START_X, LINE_START_Y, &previous);
    LineTo(dc, x, y);
    if (++EffectState.linesSinceClear > LINES_BEFORE_CLEAR) {
        EffectState.linesSinceClear = 0;
        PatBlt(dc, 0, 0, EffectState.clientRect.right, EffectState.clientRect.bottom, BLACKNESS);
    }
    // The window's device context is its own: a pen left selected would outlive the tick.
    SelectObject(dc, keptPen);
    DeleteObject(pen);
    ReleaseDC(window, dc);
}

LRESULT CALLBACK LineEffectProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        SetTimer(window, LINE_TIMER_ID, 0, NULL);
        GetClientRect(window, &EffectState.clientRect);
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    case WM_TIMER:
        DrawNextLine(window);
        break;
    }
    return SaverDismissProc(window, message, wParam, lParam);
}
