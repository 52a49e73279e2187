// The line effect as the saver must draw it, written from its rules and independently of the
// product: what the end-to-end tests and the benchmark compare the screen with.
#pragma once
#include <windows.h>

#define EXPECTED_START_X 500
#define EXPECTED_START_Y 400
#define EXPECTED_LINES_PER_CLEAR 501

struct ExpectedLines {
    DWORD state = 1;
    int lines = 0;  // drawn since the start, which is the number of ticks
    int sinceClear = 0;

    int Next()
    {
        state = state * 214013u + 2531011u;
        return (int)((state >> 16) & 0x7FFF);
    }

    // The next line into dc, and the clear after every 501st over width x height.
    void DrawNext(HDC dc, int width, int height)
    {
        int x = Next() % 1500, y = Next() % 1500;
        int r = Next() % 256, g = Next() % 256, b = Next() % 256;
        int w = Next() % 3;
        HPEN pen = CreatePen(PS_SOLID, w, RGB(r, g, b));
        HGDIOBJ kept = SelectObject(dc, pen);
        MoveToEx(dc, EXPECTED_START_X, EXPECTED_START_Y, nullptr);
        LineTo(dc, x, y);
        lines++;
        if (++sinceClear >= EXPECTED_LINES_PER_CLEAR) {
            sinceClear = 0;
            PatBlt(dc, 0, 0, width, height, BLACKNESS);
        }
        SelectObject(dc, kept);
        DeleteObject(pen);
        GdiFlush();
    }
};
