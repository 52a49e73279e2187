// Rings: drops fall into a dark pool and send out rings that fade as they widen.
//
// A whole saver in one file: the window procedure, the two configure hooks, the table of its
// settings and the lines that bind them to the framework. Integer arithmetic only, as the saver
// links no C runtime; the pseudo-random sequence starts from a fixed seed, so every run with the
// same settings draws the same picture.
#include "framework/saver_effect.h"

#define RINGS_TIMER_ID 1
#define MOST_RINGS 16               // rings under way at once, at most
#define SPEED_INTERVAL 150          // ms a tick at speed 1; speed 5 ticks every 30 ms
#define RINGS_SEED 0x52494E47u      // "RING"
#define SCALE_DIVISOR 48            // the window's smaller side over this is one unit
#define SPLASH_POINTS 7             // a crown of three spikes over the drop

struct RING {
    int x, y;        // centre, client coordinates
    int radius;      // 0: a drop about to land
    int maxRadius;
    COLORREF color;
};

// What the user chose in the settings dialog; the framework fills it in before WM_CREATE.
struct RINGSSETTINGS {
    DWORD ringCount;
    DWORD speed;
    DWORD palette;    // which of PALETTES
    DWORD splashes;   // drops splash as they land
    DWORD poolColor;
};

struct RINGSSTATE {
    RINGSSETTINGS settings;
    RECT client;
    int unit;                  // one unit of size, at least 1 pixel
    DWORD randomState;
    HBRUSH poolBrush;          // lives from WM_CREATE to WM_DESTROY
    BOOL isPoolFilled;         // the first tick fills the window with the pool's colour
    RING rings[MOST_RINGS];
};

static RINGSSTATE RingsState = {{}, {0, 0, 0, 0}, 1, RINGS_SEED, NULL, FALSE, {}};

// The rings' colours to choose from: bright ones round the colour wheel, or some of them.
static const COLORREF EVERY_COLOR[] = {
    RGB(255, 96, 64), RGB(255, 200, 40), RGB(140, 255, 80), RGB(40, 230, 200),
    RGB(70, 150, 255), RGB(180, 110, 255), RGB(255, 90, 200), RGB(250, 250, 250),
};
static const COLORREF COOL_COLORS[] = {RGB(140, 255, 80), RGB(40, 230, 200), RGB(70, 150, 255),
                                       RGB(180, 110, 255)};
static const COLORREF WARM_COLORS[] = {RGB(255, 96, 64), RGB(255, 200, 40), RGB(255, 90, 200)};
static const COLORREF WHITE_ONLY[] = {RGB(250, 250, 250)};

struct PALETTE {
    const COLORREF *colors;
    int count;
};
#define PALETTE_OF(colors) {colors, (int)(sizeof colors / sizeof colors[0])}
static const PALETTE PALETTES[] = {
    PALETTE_OF(EVERY_COLOR), PALETTE_OF(COOL_COLORS), PALETTE_OF(WARM_COLORS), PALETTE_OF(WHITE_ONLY),
};
static const LPCSTR PALETTE_NAMES[] = {"Every colour", "Cool", "Warm", "White"};

// The settings, as the "/c" dialog shows them and the registry keeps them. The defaults draw
// what Rings drew before it had settings.
static const SAVERSETTING RINGS_SETTINGS[] = {
    SAVER_NUMBER(RingsState.settings.ringCount, "Rings", "Rings at once", 6, 1, MOST_RINGS, 1),
    SAVER_NUMBER(RingsState.settings.speed, "Speed", "Speed", 5, 1, 10, 1),
    SAVER_CHOICE(RingsState.settings.palette, "Palette", "Colours of the rings", 0, PALETTE_NAMES),
    SAVER_YES_NO(RingsState.settings.splashes, "Splashes", "Drops splash as they land", TRUE),
    SAVER_COLOR(RingsState.settings.poolColor, "Pool", "Colour of the pool", RGB(0, 18, 40)),
};
SAVER_SETTINGS(RINGS_SETTINGS);

static int NextRingRandom(int range) {
    RingsState.randomState = RingsState.randomState * 1103515245u + 12345u;
    return (int)((RingsState.randomState >> 8) % (DWORD)range);
}

// A colour part of the way from bright to the pool's colour, in 256ths.
static COLORREF Fade(COLORREF color, int towardsPool) {
    COLORREF pool = RingsState.settings.poolColor;
    int keep = 256 - towardsPool;
    int red = (GetRValue(color) * keep + GetRValue(pool) * towardsPool) / 256;
    int green = (GetGValue(color) * keep + GetGValue(pool) * towardsPool) / 256;
    int blue = (GetBValue(color) * keep + GetBValue(pool) * towardsPool) / 256;
    return RGB(red, green, blue);
}

static void StartRing(RING *ring) {
    int width = RingsState.client.right, height = RingsState.client.bottom;
    ring->x = width > 0 ? NextRingRandom(width) : 0;
    ring->y = height > 0 ? NextRingRandom(height) : 0;
    ring->radius = 0;
    ring->maxRadius = RingsState.unit * (6 + NextRingRandom(10));
    const PALETTE *palette = &PALETTES[RingsState.settings.palette];
    ring->color = palette->colors[NextRingRandom(palette->count)];
}

// A ring penWidth pixels wide, as that many outlines of one pixel, each just inside the last: an
// outline of a wider pen costs some thirty times as much under Wine, where a large screen's rings
// would not keep their pace.
static void DrawCircle(HDC dc, const RING *ring, COLORREF color, int penWidth) {
    HPEN pen = CreatePen(PS_SOLID, 1, color);
    HGDIOBJ keptPen = SelectObject(dc, pen);
    for (int r = ring->radius; r > ring->radius - penWidth && r >= 0; --r)
        Ellipse(dc, ring->x - r, ring->y - r, ring->x + r + 1, ring->y + r + 1);
    SelectObject(dc, keptPen);
    DeleteObject(pen);
}

// The drop lands: a filled dot and a crown of spikes over it.
static void DrawSplash(HDC dc, const RING *ring) {
    int u = RingsState.unit;
    HBRUSH brush = CreateSolidBrush(ring->color);
    HPEN pen = CreatePen(PS_SOLID, 1, ring->color);
    HGDIOBJ keptBrush = SelectObject(dc, brush);
    HGDIOBJ keptPen = SelectObject(dc, pen);
    Ellipse(dc, ring->x - u, ring->y - u, ring->x + u + 1, ring->y + u + 1);
    POINT crown[SPLASH_POINTS] = {
        {ring->x - 3 * u, ring->y - u}, {ring->x - 2 * u, ring->y - 4 * u},
        {ring->x - u, ring->y - 2 * u}, {ring->x, ring->y - 5 * u},
        {ring->x + u, ring->y - 2 * u}, {ring->x + 2 * u, ring->y - 4 * u},
        {ring->x + 3 * u, ring->y - u},
    };
    Polyline(dc, crown, SPLASH_POINTS);
    SelectObject(dc, keptPen);
    SelectObject(dc, keptBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

// The crown sinks back into the pool once the ring has moved on.
static void EraseSplash(HDC dc, const RING *ring) {
    int u = RingsState.unit;
    RECT splash = {ring->x - 3 * u - 1, ring->y - 5 * u - 1, ring->x + 3 * u + 2, ring->y + u + 2};
    FillRect(dc, &splash, RingsState.poolBrush);
}

static void AdvanceRing(HDC dc, RING *ring) {
    int penWidth = RingsState.unit > 4 ? 2 : 1;
    int step = RingsState.unit > 8 ? RingsState.unit / 4 : 1;
    int splashReach = 3 * RingsState.unit;
    BOOL splashes = RingsState.settings.splashes;
    if (ring->radius == 0) {
        if (splashes) DrawSplash(dc, ring);
    } else {
        DrawCircle(dc, ring, RingsState.settings.poolColor, penWidth);  // the ring's last place
    }
    if (splashes && ring->radius < splashReach && ring->radius + step >= splashReach) EraseSplash(dc, ring);
    ring->radius += step;
    if (ring->radius > ring->maxRadius) {
        StartRing(ring);
        return;
    }
    DrawCircle(dc, ring, Fade(ring->color, ring->radius * 224 / ring->maxRadius), penWidth);
}

static void DrawTick(HWND window) {
    HDC dc = GetDC(window);
    if (!RingsState.isPoolFilled) {
        FillRect(dc, &RingsState.client, RingsState.poolBrush);
        RingsState.isPoolFilled = TRUE;
    }
    // The rings' insides are left as they are: rings cross each other's wakes.
    HGDIOBJ keptBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    for (DWORD i = 0; i < RingsState.settings.ringCount; ++i) AdvanceRing(dc, &RingsState.rings[i]);
    SelectObject(dc, keptBrush);
    ReleaseDC(window, dc);
}

static void StartPool(HWND window) {
    GetClientRect(window, &RingsState.client);
    int side = RingsState.client.right < RingsState.client.bottom ? RingsState.client.right
                                                                    : RingsState.client.bottom;
    RingsState.unit = side / SCALE_DIVISOR > 1 ? side / SCALE_DIVISOR : 1;
    RingsState.poolBrush = CreateSolidBrush(RingsState.settings.poolColor);
    RingsState.isPoolFilled = FALSE;
    for (DWORD i = 0; i < RingsState.settings.ringCount; ++i) {
        StartRing(&RingsState.rings[i]);
        // Rings already under way, so the pool is busy from the first tick.
        RingsState.rings[i].radius = NextRingRandom(RingsState.rings[i].maxRadius);
    }
    SetTimer(window, RINGS_TIMER_ID, SPEED_INTERVAL / RingsState.settings.speed, NULL);
}

LRESULT CALLBACK RingsEffectProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        StartPool(window);
        break;
    case WM_TIMER:
        if (wParam == RINGS_TIMER_ID) DrawTick(window);
        break;
    case WM_DESTROY:
        KillTimer(window, RINGS_TIMER_ID);
        DeleteObject(RingsState.poolBrush);
        RingsState.poolBrush = NULL;
        break;
    }
    return SaverDismissProc(window, message, wParam, lParam);
}

const WNDPROC SaverEffectProc = RingsEffectProc;

// The settings' dialog is built from the table: no classes of its own, and no dialog in the module.
BOOL RegisterConfigClasses(HINSTANCE) { return TRUE; }

INT_PTR CALLBACK ConfigDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
