// Balloons: hot-air balloons drift up an evening sky. Each is a sprite from the saver's resource
// script (balloon.bmp, black where it is see-through), put on the sky through a mask of one bit a
// pixel made from it; every frame is made off screen and shown whole, so nothing flickers.
//
// Integer arithmetic only; the balloons start from a fixed seed, so every run draws the same.
#include "framework/saver_effect.h"

#define BALLOONS_TIMER_ID 1
#define BALLOONS_INTERVAL 40        // ms a tick
#define BALLOON_BITMAP_ID 1         // balloons.rc
#define BALLOON_COUNT 10
#define SLOWEST_RISE 1              // pixels a tick
#define FASTEST_RISE 4
#define BALLOONS_SEED 0x42414C4Cu   // "BALL"
#define SKY_COLOR RGB(40, 44, 110)  // the sky's two colours, in diagonal stripes
#define HAZE_COLOR RGB(64, 60, 130)

struct BALLOON {
    int x, y;  // the sprite's top left, client coordinates
    int rise;  // pixels a tick
    int sway;  // ticks into its sway from side to side
};

// A bitmap selected into a memory device context of its own, and what that held before.
struct PICTURE {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ kept;
};

struct BALLOONSSTATE {
    RECT client;
    int width, height;  // the sprite's, from its bitmap
    DWORD randomState;
    PICTURE sprite;  // the resource's balloon
    PICTURE mask;    // white where the balloon is see-through, black where it is not
    PICTURE frame;   // the next frame, the window's size
    HBITMAP skyBits;  // the sky's 8 x 8 pattern; kept while its brush lives (Windows 95 asks it)
    HBRUSH sky;
    BALLOON balloons[BALLOON_COUNT];
};

static BALLOONSSTATE Balloons = {{0, 0, 0, 0}, 0, 0, BALLOONS_SEED, {}, {}, {}, NULL, NULL, {}};

// One bit a pixel, rows of whole WORDs: two stripes running down to the right.
static const WORD SKY_PATTERN[8] = {0xC3, 0x87, 0x0F, 0x1E, 0x3C, 0x78, 0xF0, 0xE1};

static int NextBalloonRandom(int range) {
    Balloons.randomState = Balloons.randomState * 1103515245u + 12345u;
    return range > 0 ? (int)((Balloons.randomState >> 8) % (DWORD)range) : 0;
}

static void HoldPicture(PICTURE *picture, HBITMAP bitmap) {
    picture->dc = CreateCompatibleDC(NULL);
    picture->bitmap = bitmap;
    picture->kept = SelectObject(picture->dc, bitmap);
}

static void FreePicture(PICTURE *picture) {
    SelectObject(picture->dc, picture->kept);
    DeleteObject(picture->bitmap);
    DeleteDC(picture->dc);
    picture->dc = NULL;
    picture->bitmap = NULL;
}

// Copied from the colour sprite, a monochrome bitmap takes white where the sprite has its
// background colour (black) and black everywhere else.
static void MakeMask(void) {
    HoldPicture(&Balloons.mask, CreateBitmap(Balloons.width, Balloons.height, 1, 1, NULL));
    SetBkColor(Balloons.sprite.dc, RGB(0, 0, 0));
    BitBlt(Balloons.mask.dc, 0, 0, Balloons.width, Balloons.height, Balloons.sprite.dc, 0, 0, SRCCOPY);
}

static void Launch(BALLOON *balloon, int height) {
    balloon->x = NextBalloonRandom(Balloons.client.right + Balloons.width) - Balloons.width;
    balloon->y = height;
    balloon->rise = SLOWEST_RISE + NextBalloonRandom(FASTEST_RISE - SLOWEST_RISE + 1);
    balloon->sway = NextBalloonRandom(64);
}

// The monochrome pattern takes the device context's text and background colours: set for the
// sky and put back at once, since the masks need black and white there.
static void PaintSky(HDC dc) {
    int saved = SaveDC(dc);
    SetTextColor(dc, SKY_COLOR);
    SetBkColor(dc, HAZE_COLOR);
    SelectObject(dc, Balloons.sky);
    PatBlt(dc, 0, 0, Balloons.client.right, Balloons.client.bottom, PATCOPY);
    RestoreDC(dc, saved);
}

// A pixel to the side every so often, there and back.
static int Sway(const BALLOON *balloon) {
    int phase = balloon->sway % 64;
    return (phase < 32 ? phase : 64 - phase) / 8;
}

static void DrawBalloon(HDC dc, BALLOON *balloon) {
    int x = balloon->x + Sway(balloon), w = Balloons.width, h = Balloons.height;
    BitBlt(dc, x, balloon->y, w, h, Balloons.mask.dc, 0, 0, SRCAND);
    BitBlt(dc, x, balloon->y, w, h, Balloons.sprite.dc, 0, 0, SRCPAINT);
    balloon->y -= balloon->rise;
    balloon->sway++;
    if (balloon->y < -h) Launch(balloon, Balloons.client.bottom);
}

static void BalloonsTick(HWND window) {
    HDC frame = Balloons.frame.dc;
    PaintSky(frame);
    for (int i = 0; i < BALLOON_COUNT; ++i) DrawBalloon(frame, &Balloons.balloons[i]);
    HDC dc = GetDC(window);
    BitBlt(dc, 0, 0, Balloons.client.right, Balloons.client.bottom, frame, 0, 0, SRCCOPY);
    ReleaseDC(window, dc);
}

static void StartBalloons(HWND window, HINSTANCE instance) {
    GetClientRect(window, &Balloons.client);
    HoldPicture(&Balloons.sprite, LoadBitmapA(instance, MAKEINTRESOURCEA(BALLOON_BITMAP_ID)));
    BITMAP facts;
    if (GetObjectA(Balloons.sprite.bitmap, sizeof facts, &facts)) {
        Balloons.width = facts.bmWidth;
        Balloons.height = facts.bmHeight;
    }
    MakeMask();
    // Compatible with the window, not with a memory device context (that would be monochrome).
    HDC dc = GetDC(window);
    HoldPicture(&Balloons.frame, CreateCompatibleBitmap(dc, Balloons.client.right, Balloons.client.bottom));
    ReleaseDC(window, dc);
    Balloons.skyBits = CreateBitmap(8, 8, 1, 1, SKY_PATTERN);
    Balloons.sky = CreatePatternBrush(Balloons.skyBits);
    // Balloons already under way, all up the sky.
    for (int i = 0; i < BALLOON_COUNT; ++i)
        Launch(&Balloons.balloons[i], NextBalloonRandom(Balloons.client.bottom + Balloons.height));
    SetTimer(window, BALLOONS_TIMER_ID, BALLOONS_INTERVAL, NULL);
}

static void EndBalloons(HWND window) {
    KillTimer(window, BALLOONS_TIMER_ID);
    FreePicture(&Balloons.frame);
    FreePicture(&Balloons.mask);
    FreePicture(&Balloons.sprite);
    DeleteObject(Balloons.sky);
    DeleteObject(Balloons.skyBits);
    Balloons.sky = NULL;
    Balloons.skyBits = NULL;
}

LRESULT CALLBACK BalloonsEffectProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        StartBalloons(window, ((const CREATESTRUCTA *)lParam)->hInstance);
        break;
    case WM_TIMER:
        if (wParam == BALLOONS_TIMER_ID) BalloonsTick(window);
        break;
    case WM_DESTROY:
        EndBalloons(window);
        break;
    }
    return SaverDismissProc(window, message, wParam, lParam);
}

const WNDPROC SaverEffectProc = BalloonsEffectProc;

// No settings, no dialog of its own.
BOOL RegisterConfigClasses(HINSTANCE) { return TRUE; }

INT_PTR CALLBACK ConfigDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
