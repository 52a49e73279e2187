// Starfield: 1 500 stars fly out from the centre, each erased and drawn again with SetPixel
// every tick (some 3 000 calls a tick). A benchmark input of the effect checker: an effect of
// many calls a tick, as a newcomer writes one.
#include "framework/saver_effect.h"

#define STAR_TIMER_ID 1
#define STAR_INTERVAL 30
#define STAR_COUNT 1500
#define STAR_SEED 0x53544152u
#define STAR_DEPTH 4096
#define STAR_SPEED 24

struct STAR {
    int x, y, z;       // z: depth, STAR_DEPTH far, 1 near
    int shownX, shownY;
    BOOL shown;
};

struct STARSTATE {
    RECT client;
    DWORD random;
    STAR stars[STAR_COUNT];
};

static STARSTATE StarState = {{0, 0, 0, 0}, STAR_SEED, {}};

static int NextRandom(int range) {
    StarState.random = StarState.random * 1103515245u + 12345u;
    return (int)((StarState.random >> 8) % (DWORD)range);
}

static void StartStar(STAR *star) {
    star->x = NextRandom(2000) - 1000;
    star->y = NextRandom(2000) - 1000;
    star->z = STAR_DEPTH;
}

static void MoveStar(HDC dc, STAR *star) {
    int width = StarState.client.right, height = StarState.client.bottom;
    if (star->shown) SetPixel(dc, star->shownX, star->shownY, RGB(0, 0, 0));
    star->z -= STAR_SPEED;
    if (star->z <= 0) StartStar(star);
    int sx = width / 2 + star->x * width / star->z / 2;
    int sy = height / 2 + star->y * height / star->z / 2;
    if (sx < 0 || sy < 0 || sx >= width || sy >= height) {
        StartStar(star);
        star->shown = FALSE;
        return;
    }
    int bright = 255 - star->z * 200 / STAR_DEPTH;
    SetPixel(dc, sx, sy, RGB(bright, bright, bright));
    star->shownX = sx;
    star->shownY = sy;
    star->shown = TRUE;
}

static void DrawStars(HWND window) {
    HDC dc = GetDC(window);
    for (int i = 0; i < STAR_COUNT; ++i) MoveStar(dc, &StarState.stars[i]);
    ReleaseDC(window, dc);
}

static LRESULT CALLBACK StarfieldProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        GetClientRect(window, &StarState.client);
        for (int i = 0; i < STAR_COUNT; ++i) {
            StartStar(&StarState.stars[i]);
            StarState.stars[i].z = 1 + NextRandom(STAR_DEPTH);
        }
        SetTimer(window, STAR_TIMER_ID, STAR_INTERVAL, NULL);
        break;
    case WM_TIMER:
        if (wParam == STAR_TIMER_ID) DrawStars(window);
        break;
    case WM_DESTROY:
        KillTimer(window, STAR_TIMER_ID);
        break;
    }
    return SaverDismissProc(window, message, wParam, lParam);
}

const WNDPROC SaverEffectProc = StarfieldProc;
BOOL RegisterConfigClasses(HINSTANCE) { return TRUE; }
INT_PTR CALLBACK ConfigDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
