// The desktop a desktop effect is watched on: a wallpaper of this harness's own making over the
// whole screen, and an application's window over it, as a person's screen looks when the saver
// starts.
#include "harness.h"

#define WALLPAPER_CLASS "HarnessWallpaper"
#define APPLICATION_CLASS "HarnessApplication"
#define SKY_BANDS 24

// A dusk sky from deep blue to orange, a low sun, and two green hills.
static void PaintWallpaper(HDC dc, int width, int height)
{
    for (int band = 0; band < SKY_BANDS; ++band) {
        RECT strip = {0, band * height / SKY_BANDS, width, (band + 1) * height / SKY_BANDS};
        HBRUSH brush = CreateSolidBrush(RGB(20 + band * 9, 30 + band * 4, 120 - band * 3));
        FillRect(dc, &strip, brush);
        DeleteObject(brush);
    }
    HGDIOBJ keptPen = SelectObject(dc, GetStockObject(NULL_PEN));
    HBRUSH sun = CreateSolidBrush(RGB(255, 220, 90));
    HGDIOBJ keptBrush = SelectObject(dc, sun);
    Ellipse(dc, width * 3 / 5, height / 2, width * 3 / 5 + height / 4, height * 3 / 4);
    HBRUSH hills[] = {CreateSolidBrush(RGB(40, 110, 50)), CreateSolidBrush(RGB(20, 80, 35))};
    SelectObject(dc, hills[0]);
    Ellipse(dc, -width / 3, height * 2 / 3, width * 2 / 3, height * 3 / 2);
    SelectObject(dc, hills[1]);
    Ellipse(dc, width / 3, height * 3 / 4, width * 4 / 3, height * 3 / 2);
    SelectObject(dc, keptBrush);
    SelectObject(dc, keptPen);
    DeleteObject(sun);
    DeleteObject(hills[0]);
    DeleteObject(hills[1]);
}

// A page of text, as an editor shows one.
static void PaintApplication(HDC dc, const RECT &client)
{
    static const char *const LINES[] = {"Dear diary,", "", "today the screen saver melted my desktop.",
                                        "It came back when I moved the mouse."};
    FillRect(dc, &client, (HBRUSH)GetStockObject(WHITE_BRUSH));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    for (int i = 0; i < (int)(sizeof LINES / sizeof LINES[0]); ++i)
        TextOutA(dc, 6, 4 + 18 * i, LINES[i], lstrlenA(LINES[i]));
}

static LRESULT CALLBACK DesktopProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_PAINT)
        return DefWindowProcA(window, message, wParam, lParam);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    char kind[32] = "";
    GetClassNameA(window, kind, sizeof kind);
    if (lstrcmpA(kind, WALLPAPER_CLASS) == 0)
        PaintWallpaper(dc, client.right, client.bottom);
    else
        PaintApplication(dc, client);
    EndPaint(window, &paint);
    return 0;
}

static bool RegisterDesktopClasses()
{
    static bool registered;
    if (registered)
        return true;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DesktopProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = WALLPAPER_CLASS;
    registered = RegisterClassA(&windowClass) != 0;
    windowClass.lpszClassName = APPLICATION_CLASS;
    registered = registered && RegisterClassA(&windowClass) != 0;
    return registered;
}

bool Desktop::Show()
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterDesktopClasses())
        return false;
    wallpaper = CreateWindowExA(WS_EX_TOOLWINDOW, WALLPAPER_CLASS, "Wallpaper", WS_POPUP | WS_VISIBLE, 0, 0, width,
                                height, nullptr, nullptr, instance, nullptr);
    window = CreateWindowExA(0, APPLICATION_CLASS, "Diary - Notepad", WS_OVERLAPPEDWINDOW | WS_VISIBLE, width / 8,
                             height / 8, width / 2, height / 2, nullptr, nullptr, instance, nullptr);
    if (!wallpaper || !window)
        return false;
    UpdateWindow(wallpaper);
    UpdateWindow(window);
    // Until the X server has shown them: what a saver copies at its start is what is on the screen.
    Pump(SHOWN_MS);
    return true;
}

Desktop::~Desktop()
{
    if (window)
        DestroyWindow(window);
    if (wallpaper)
        DestroyWindow(wallpaper);
}
