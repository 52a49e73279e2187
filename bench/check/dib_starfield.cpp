// The starfield's stars in a DIB section of the window's size, drawn into its pixels and blitted
// once a tick. A benchmark input of the effect checker: a large section blitted every tick.
#include "framework/saver_effect.h"

#define STAR_TIMER_ID 1
#define STAR_INTERVAL 30
#define STAR_COUNT 1500
#define STAR_SEED 0x53544152u
#define STAR_DEPTH 4096
#define STAR_SPEED 24

struct STAR {
    int x, y, z;
    int shownAt;  // the pixel's index, -1: none
};

struct STARSTATE {
    RECT client;
    DWORD random;
    HDC memory;
    HBITMAP section;
    HGDIOBJ keptBitmap;
    DWORD *pixels;
    STAR stars[STAR_COUNT];
};

static STARSTATE StarState = {{0, 0, 0, 0}, STAR_SEED, NULL, NULL, NULL, NULL, {}};

static int NextRandom(int range) {
    StarState.random = StarState.random * 1103515245u + 12345u;
    return (int)((StarState.random >> 8) % (DWORD)range);
}

static void StartStar(STAR *star) {
    star->x = NextRandom(2000) - 1000;
    star->y = NextRandom(2000) - 1000;
    star->z = STAR_DEPTH;
}

static void MoveStar(STAR *star) {
    int width = StarState.client.right, height = StarState.client.bottom;
    if (star->shownAt >= 0) StarState.pixels[star->shownAt] = 0;
    star->shownAt = -1;
    star->z -= STAR_SPEED;
    if (star->z <= 0) StartStar(star);
    int sx = width / 2 + star->x * width / star->z / 2;
    int sy = height / 2 + star->y * height / star->z / 2;
    if (sx < 0 || sy < 0 || sx >= width || sy >= height) {
        StartStar(star);
        return;
    }
    DWORD bright = 255 - (DWORD)(star->z * 200 / STAR_DEPTH);
    star->shownAt = sy * width + sx;
    StarState.pixels[star->shownAt] = bright << 16 | bright << 8 | bright;
}

static void DrawStars(HWND window) {
    for (int i = 0; i < STAR_COUNT; ++i) MoveStar(&StarState.stars[i]);
    HDC dc = GetDC(window);
    BitBlt(dc, 0, 0, StarState.client.right, StarState.client.bottom, StarState.memory, 0, 0, SRCCOPY);
    ReleaseDC(window, dc);
}

static void StartField(HWND window) {
    GetClientRect(window, &StarState.client);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = StarState.client.right;
    info.bmiHeader.biHeight = -StarState.client.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = GetDC(window);
    StarState.memory = CreateCompatibleDC(dc);
    StarState.section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, (void **)&StarState.pixels, NULL, 0);
    ReleaseDC(window, dc);
    StarState.keptBitmap = SelectObject(StarState.memory, StarState.section);
    for (int i = 0; i < STAR_COUNT; ++i) {
        StartStar(&StarState.stars[i]);
        StarState.stars[i].z = 1 + NextRandom(STAR_DEPTH);
        StarState.stars[i].shownAt = -1;
    }
    SetTimer(window, STAR_TIMER_ID, STAR_INTERVAL, NULL);
}

static void EndField(HWND window) {
    KillTimer(window, STAR_TIMER_ID);
    SelectObject(StarState.memory, StarState.keptBitmap);
    DeleteObject(StarState.section);
    DeleteDC(StarState.memory);
}

static LRESULT CALLBACK DibStarfieldProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        StartField(window);
        break;
    case WM_TIMER:
        if (wParam == STAR_TIMER_ID && StarState.pixels) DrawStars(window);
        break;
    case WM_DESTROY:
        EndField(window);
        break;
    }
    return SaverDismissProc(window, message, wParam, lParam);
}

const WNDPROC SaverEffectProc = DibStarfieldProc;
BOOL RegisterConfigClasses(HINSTANCE) { return TRUE; }
INT_PTR CALLBACK ConfigDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
