// The least a saver that draws every tick must do: one line a tick with the fewest calls the
// platform needs. It draws the saver's own sequence of lines and clears, from the rules in
// tests/wine/expected_lines.h, because under Wine a tick's cost depends on what it draws: the same
// program drawing lines of two pixels takes 0.7 to 0.9 of the CPU time, a floor that is too low.
// Its pixels are the saver's.
#include "bench/fixture.h"
#include "tests/wine/expected_lines.h"

#define END_POINT_RANGE 1500
#define CHANNEL_RANGE 256
#define PEN_WIDTHS 3

// No constructor runs without a C runtime: the generator's start is initialised data.
static ExpectedLines sequence;
static RECT client;

void FixtureCreated(HWND window) { GetClientRect(window, &client); }

void FixtureTick(HWND window)
{
    int x = sequence.Next() % END_POINT_RANGE, y = sequence.Next() % END_POINT_RANGE;
    int r = sequence.Next() % CHANNEL_RANGE, g = sequence.Next() % CHANNEL_RANGE, b = sequence.Next() % CHANNEL_RANGE;
    int width = sequence.Next() % PEN_WIDTHS;
    HDC dc = GetDC(window);
    HPEN pen = CreatePen(PS_SOLID, width, RGB(r, g, b));
    HGDIOBJ kept = SelectObject(dc, pen);
    MoveToEx(dc, EXPECTED_START_X, EXPECTED_START_Y, nullptr);
    LineTo(dc, x, y);
    if (++sequence.sinceClear >= EXPECTED_LINES_PER_CLEAR) {
        sequence.sinceClear = 0;
        PatBlt(dc, 0, 0, client.right, client.bottom, BLACKNESS);
    }
    SelectObject(dc, kept);
    DeleteObject(pen);
    ReleaseDC(window, dc);
}
