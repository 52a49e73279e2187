// Polar Night: the northern lights over a sleeping town.
//
// The sky is computed a pixel at a time, in integer arithmetic, into a small bitmap of our own
// (a DIB section) and stretched over the window through a clip region that leaves the town
// alone. The town is a region too, black roofs with lit windows, and its hotel has a neon sign
// in a font of our own. Every run draws the same night: the sequence starts from a fixed seed,
// and time is the count of ticks.
#include "framework/saver_effect.h"

#define NIGHT_TIMER_ID 1
#define NIGHT_TIMER_INTERVAL 40  // ms a tick
#define NIGHT_SEED 0x4E494748u   // "NIGH"
#define FIELD_MAX_SIDE 480       // the sky's pixels along the window's longer side, at most
#define TURN 0x10000             // angles are 65536ths of a turn
#define SINE_ONE 256             // what Sine gives for a quarter turn
#define ACROSS_ONE 1024          // a column's place across the sky runs from 0 to this
#define RAMP_LENGTH 256          // steps of colour from a curtain's lower edge to its top
#define FRINGE_LENGTH 32         // steps of the glow under a curtain's lower edge
#define FRINGE_DIVISOR 40        // the sky's height over this is the height of that glow
#define STAR_MAX 120
#define STAR_AREA 700            // one star to this many of the sky's pixels
#define BUILDING_MAX 64          // the last one reaches the window's right edge
#define STOREY_DIVISOR 64        // the window's smaller side over this is one storey
#define SIGN_STOREYS 3           // the hotel rises this much over the rest, for its sign
#define LIGHTS_MIN_STOREY 4      // pixels; lower storeys are too small to show a window
#define LIGHT_CHANCE 4           // one window in this many is lit
#define TOWN_REPAINT_TICKS 25    // nothing tells us when something covered the town: paint it anew
#define SIGN_TEXT "HOTEL"
#define SIGN_MIN_HEIGHT 8        // pixels; a smaller sign would be a smudge, so there is none
#define SIGN_COLOR RGB(255, 70, 150)
#define LIGHT_COLOR RGB(255, 196, 96)

// One curtain of light. Heights are 256ths of the sky's; scales across are angles per
// ACROSS_ONE; speeds are angles a tick.
struct CURTAIN {
    int edgeRow, swing;        // where its lower edge hangs, and how far the edge waves
    int waveScale, waveSpeed;  // the slow folds of the edge
    int rayScale, raySpeed;    // the fine rays along it
    int reach;                 // how high its rays go
    int brightness;            // 256ths
};

static const CURTAIN CURTAINS[] = {
    {150, 36, 80, 70, 700, 190, 90, 256},    // near: low and bright
    {96, 24, 52, -50, 1100, -260, 64, 150},  // far: higher and fainter
};
#define CURTAIN_COUNT (int)(sizeof CURTAINS / sizeof CURTAINS[0])

// A colour at a step of a ramp. The curtains' light fades as it rises, so their colours already
// carry their brightness.
struct COLORKEY {
    int at, red, green, blue;
};

static const COLORKEY CURTAIN_KEYS[] = {
    {0, 170, 255, 190}, {20, 70, 235, 130}, {80, 25, 150, 95}, {160, 45, 40, 95},
    {RAMP_LENGTH, 0, 0, 0},
};
// Under the edge the green turns pink before it fades.
static const COLORKEY FRINGE_KEYS[] = {
    {0, 170, 255, 190}, {8, 150, 60, 140}, {FRINGE_LENGTH, 0, 0, 0},
};
// The sky from its top (0) to the horizon (256), where the town's lights warm it.
static const COLORKEY SKY_KEYS[] = {{0, 1, 3, 12}, {160, 6, 12, 32}, {256, 34, 26, 44}};
#define KEY_COUNT(keys) (int)(sizeof keys / sizeof keys[0])

struct STAR {
    int x, y, brightness;
    DWORD phase, speed;
};

// A curtain's lower edge, light and ray height, column by column, for the tick at hand.
struct CURTAINCOLUMNS {
    int edge[FIELD_MAX_SIDE], light[FIELD_MAX_SIDE];
    int rayStep[FIELD_MAX_SIDE];  // ramp steps a row, in 256ths
};

struct NIGHTSTATE {
    RECT client;
    DWORD randomState, tick;
    // The sky: a top-down 32-bit DIB section, in a memory DC from WM_CREATE to WM_DESTROY.
    int cell;  // window pixels a sky pixel covers, each way
    int fieldWidth, fieldHeight;
    BITMAPINFO fieldInfo;
    HDC fieldDC;
    HBITMAP fieldBitmap;
    HGDIOBJ keptBitmap;
    DWORD *pixels;
    // Tables made at WM_CREATE, and the curtains' columns of this tick.
    DWORD curtainRamp[RAMP_LENGTH], fringeRamp[FRINGE_LENGTH], skyRows[FIELD_MAX_SIDE];
    int fringeStep;
    CURTAINCOLUMNS columns[CURTAIN_COUNT];
    STAR stars[STAR_MAX];
    int starCount;
    // The town: regions of the sky, of the dark walls and of the lit windows.
    int storey;
    HRGN skyRegion, wallRegion, lightRegion;
    HBRUSH lightBrush;
    // The hotel's neon sign; no font when the window is too small for one.
    LOGFONTA signLogFont;
    HFONT signFont;
    int signTextX, signTextY;
};

static NIGHTSTATE Night;

static int NextNightRandom(int range) {
    Night.randomState = Night.randomState * 1103515245u + 12345u;
    return range > 0 ? (int)((Night.randomState >> 8) % (DWORD)range) : 0;
}

// Each half turn a parabola: within 6 % of a sine, which no one sees in a wave of light, and
// smooth, where a table's steps would make the sum of two waves jitter by a row.
static int Sine(DWORD angle) {
    int half = (int)(angle % (TURN / 2)) >> 5, arch = (half * (TURN / 64 - half)) >> 10;
    return angle % TURN < TURN / 2 ? arch : -arch;
}

static int Clamp(int value, int low, int high) {
    return value < low ? low : value > high ? high : value;
}

static int ChannelOf(DWORD color, int shift) { return (int)(color >> shift) & 0xFF; }

static DWORD PackPixel(int red, int green, int blue) {
    return (DWORD)(Clamp(red, 0, 255) << 16 | Clamp(green, 0, 255) << 8 | Clamp(blue, 0, 255));
}

// The colour at step `at` of a ramp, as a DIB pixel.
static DWORD RampColor(const COLORKEY *keys, int keyCount, int at) {
    int k = 1;
    while (k < keyCount - 1 && keys[k].at <= at) ++k;
    const COLORKEY *from = &keys[k - 1], *to = &keys[k];
    int span = to->at - from->at, part = Clamp(at - from->at, 0, span);
    return PackPixel(from->red + (to->red - from->red) * part / span,
                     from->green + (to->green - from->green) * part / span,
                     from->blue + (to->blue - from->blue) * part / span);
}

// The sky's bitmap: as many pixels as fit FIELD_MAX_SIDE along the longer side, each one a
// square `cell` window pixels wide.
static void MakeField() {
    int width = Night.client.right, height = Night.client.bottom;
    int longer = width > height ? width : height;
    Night.cell = longer > FIELD_MAX_SIDE ? (longer + FIELD_MAX_SIDE - 1) / FIELD_MAX_SIDE : 1;
    Night.fieldWidth = (width + Night.cell - 1) / Night.cell;
    Night.fieldHeight = (height + Night.cell - 1) / Night.cell;
    BITMAPINFOHEADER *header = &Night.fieldInfo.bmiHeader;
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = Night.fieldWidth;
    header->biHeight = -Night.fieldHeight;  // top-down: row 0 is the top of the sky
    header->biPlanes = 1;
    header->biBitCount = 32;
    header->biCompression = BI_RGB;
    // Every handle made anew, none left from an earlier window, even where a call fails.
    Night.fieldBitmap = NULL;
    Night.keptBitmap = NULL;
    Night.pixels = NULL;
    Night.fieldDC = CreateCompatibleDC(NULL);
    if (!Night.fieldDC || Night.fieldWidth <= 0 || Night.fieldHeight <= 0) return;
    void *bits = NULL;
    Night.fieldBitmap =
        CreateDIBSection(Night.fieldDC, &Night.fieldInfo, DIB_RGB_COLORS, &bits, NULL, 0);
    if (!Night.fieldBitmap) return;
    Night.keptBitmap = SelectObject(Night.fieldDC, Night.fieldBitmap);
    Night.pixels = (DWORD *)bits;
}

static void MakeTables() {
    for (int u = 0; u < RAMP_LENGTH; ++u)
        Night.curtainRamp[u] = RampColor(CURTAIN_KEYS, KEY_COUNT(CURTAIN_KEYS), u);
    for (int u = 0; u < FRINGE_LENGTH; ++u)
        Night.fringeRamp[u] = RampColor(FRINGE_KEYS, KEY_COUNT(FRINGE_KEYS), u);
    int width = Night.fieldWidth, height = Night.fieldHeight;
    for (int y = 0; y < height; ++y)
        Night.skyRows[y] = RampColor(SKY_KEYS, KEY_COUNT(SKY_KEYS), y * 256 / height);
    Night.fringeStep = FRINGE_LENGTH * 256 / (height > FRINGE_DIVISOR ? height / FRINGE_DIVISOR : 1);
    Night.starCount = width * height / STAR_AREA < STAR_MAX ? width * height / STAR_AREA : STAR_MAX;
    for (int i = 0; i < Night.starCount; ++i) {
        STAR *star = &Night.stars[i];
        star->x = NextNightRandom(width);
        star->y = NextNightRandom(height * 3 / 4);
        star->brightness = 40 + NextNightRandom(110);
        star->phase = (DWORD)NextNightRandom(TURN);
        star->speed = 200 + (DWORD)NextNightRandom(900);
    }
}

// A curtain's edge, light and ray height in each column, for this tick.
static void ComputeCurtain(const CURTAIN *curtain, CURTAINCOLUMNS *columns) {
    int height = Night.fieldHeight, swing = height * curtain->swing / 256;
    DWORD t = Night.tick;
    for (int x = 0; x < Night.fieldWidth; ++x) {
        DWORD across = (DWORD)(x * ACROSS_ONE / Night.fieldWidth);
        int fold = Sine(across * curtain->waveScale + t * curtain->waveSpeed) * 3 +
                   Sine(across * curtain->waveScale * 3 + t * curtain->waveSpeed * 2);
        columns->edge[x] = height * curtain->edgeRow / 256 + swing * fold / (4 * SINE_ONE);
        int rays = Sine(across * curtain->rayScale + t * curtain->raySpeed) * 2 +
                   Sine(across * curtain->rayScale * 5 / 2 - t * curtain->raySpeed * 3 / 2);
        int glow = Clamp(150 + rays * 110 / (3 * SINE_ONE), 0, 255);
        // Slow patches of dark between the curtain's bright stretches.
        int patch = Sine(across * 40 + t * (curtain->waveSpeed / 2 + 31)) * 3 / 2 + 192;
        columns->light[x] = glow * Clamp(patch, 0, 256) / 256 * curtain->brightness / 256;
        int reach = height * curtain->reach / 256 * (2 * SINE_ONE + Sine(across * 150 - t * 37)) /
                    (2 * SINE_ONE);
        columns->rayStep[x] = RAMP_LENGTH * 256 / (reach > 1 ? reach : 1);
    }
}

// Adds one curtain's light at (x, y) to a pixel's channels.
static void AddCurtain(const CURTAINCOLUMNS *columns, int x, int y, int *red, int *green,
                       int *blue) {
    int above = columns->edge[x] - y;
    int u = above >= 0 ? above * columns->rayStep[x] >> 8 : -above * Night.fringeStep >> 8;
    if (u >= (above >= 0 ? RAMP_LENGTH : FRINGE_LENGTH)) return;
    DWORD color = above >= 0 ? Night.curtainRamp[u] : Night.fringeRamp[u];
    int light = columns->light[x];
    *red += ChannelOf(color, 16) * light >> 8;
    *green += ChannelOf(color, 8) * light >> 8;
    *blue += ChannelOf(color, 0) * light >> 8;
}

// The sky of this tick: its colour, the curtains over it, and stars that twinkle where the
// curtains' light does not drown them.
static void ComputeSky() {
    for (int c = 0; c < CURTAIN_COUNT; ++c) ComputeCurtain(&CURTAINS[c], &Night.columns[c]);
    DWORD *pixel = Night.pixels;
    for (int y = 0; y < Night.fieldHeight; ++y) {
        DWORD sky = Night.skyRows[y];
        for (int x = 0; x < Night.fieldWidth; ++x) {
            int red = ChannelOf(sky, 16), green = ChannelOf(sky, 8), blue = ChannelOf(sky, 0);
            for (int c = 0; c < CURTAIN_COUNT; ++c)
                AddCurtain(&Night.columns[c], x, y, &red, &green, &blue);
            *pixel++ = PackPixel(red, green, blue);
        }
    }
    for (int i = 0; i < Night.starCount; ++i) {
        const STAR *star = &Night.stars[i];
        int glint = star->brightness * (3 * SINE_ONE + Sine(star->phase + Night.tick * star->speed)) /
                    (4 * SINE_ONE);
        pixel = &Night.pixels[star->y * Night.fieldWidth + star->x];
        *pixel = PackPixel(ChannelOf(*pixel, 16) + glint, ChannelOf(*pixel, 8) + glint,
                           ChannelOf(*pixel, 0) + glint * 5 / 4);
    }
}

static void AddRect(HRGN region, const RECT *rect) {
    HRGN piece = CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
    if (!piece) return;
    CombineRgn(region, region, piece, RGN_OR);
    DeleteObject(piece);
}

// A building's windows: a column and a row a storey, centred across it, a quarter of them lit.
static void LightBuilding(const RECT *building) {
    int s = Night.storey, width = building->right - building->left;
    int columns = (width - s / 2) / s, rows = (building->bottom - building->top - s) / s;
    int left = building->left + (width - columns * s) / 2 + s / 4;
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            if (NextNightRandom(LIGHT_CHANCE) != 0) continue;
            int x = left + column * s, y = building->top + (row + 1) * s + s / 5;
            RECT light = {x, y, x + s / 2, y + s * 3 / 5};
            AddRect(Night.lightRegion, &light);
        }
}

// Buildings side by side along the bottom, each with its windows; the widest is the hotel,
// raised over the rest to carry the sign. The town's regions are its dark walls (less the
// windows), its lit windows, and the sky round it. Returns the hotel.
static RECT BuildTown() {
    int s = Night.storey, width = Night.client.right, height = Night.client.bottom;
    RECT hotel = {0, height, 0, height};
    Night.wallRegion = CreateRectRgn(0, 0, 0, 0);
    Night.lightRegion = CreateRectRgn(0, 0, 0, 0);
    Night.skyRegion = CreateRectRgn(0, 0, width, height);
    if (!Night.wallRegion || !Night.lightRegion || !Night.skyRegion) return hotel;
    int highest = height;
    for (int x = -NextNightRandom(2 * s), count = 0; x < width; ++count) {
        int right = count == BUILDING_MAX - 1 ? width : x + s * (3 + NextNightRandom(5));
        RECT building = {x, height - s * (4 + NextNightRandom(9)), right, height};
        AddRect(Night.wallRegion, &building);
        if (s >= LIGHTS_MIN_STOREY) LightBuilding(&building);
        if (building.top < highest) highest = building.top;
        if (right - x > hotel.right - hotel.left) hotel = building;
        x = right;
    }
    hotel.top = highest - SIGN_STOREYS * s;
    AddRect(Night.wallRegion, &hotel);
    CombineRgn(Night.skyRegion, Night.skyRegion, Night.wallRegion, RGN_DIFF);
    CombineRgn(Night.wallRegion, Night.wallRegion, Night.lightRegion, RGN_DIFF);
    return hotel;
}

// The sign's font: one and a half storeys tall, if the word then fits the hotel.
static void MakeSign(const RECT *hotel) {
    Night.signFont = NULL;
    LOGFONTA *logFont = &Night.signLogFont;
    logFont->lfHeight = -(Night.storey * 3 / 2);
    logFont->lfWeight = FW_BOLD;
    logFont->lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    if (-logFont->lfHeight < SIGN_MIN_HEIGHT || !Night.fieldDC) return;
    Night.signFont = CreateFontIndirectA(logFont);
    if (!Night.signFont) return;
    SIZE text = {0, 0};
    HGDIOBJ keptFont = SelectObject(Night.fieldDC, Night.signFont);
    GetTextExtentPoint32A(Night.fieldDC, SIGN_TEXT, sizeof SIGN_TEXT - 1, &text);
    SelectObject(Night.fieldDC, keptFont);
    Night.signTextX = hotel->left + (hotel->right - hotel->left - text.cx) / 2;
    Night.signTextY = hotel->top + (SIGN_STOREYS * Night.storey - text.cy) / 2;
    if (text.cx > hotel->right - hotel->left - Night.storey) {
        DeleteObject(Night.signFont);
        Night.signFont = NULL;
    }
}

// Over the dark walls: the town's regions first, then the sign.
static void PaintTown(HDC dc) {
    if (Night.wallRegion) FillRgn(dc, Night.wallRegion, (HBRUSH)GetStockObject(BLACK_BRUSH));
    if (Night.lightRegion && Night.lightBrush) FillRgn(dc, Night.lightRegion, Night.lightBrush);
    if (!Night.signFont) return;
    HGDIOBJ keptFont = SelectObject(dc, Night.signFont);
    int keptMode = SetBkMode(dc, TRANSPARENT);
    COLORREF keptColor = SetTextColor(dc, SIGN_COLOR);
    TextOutA(dc, Night.signTextX, Night.signTextY, SIGN_TEXT, sizeof SIGN_TEXT - 1);
    SetTextColor(dc, keptColor);
    SetBkMode(dc, keptMode);
    SelectObject(dc, keptFont);
}

// A tick: the sky anew, stretched over the window round the town; the town now and then.
static void DrawTick(HWND window) {
    BOOL hasSky = Night.pixels && Night.skyRegion;
    if (hasSky) {
        GdiFlush();  // GDI may still have work on the last tick's pixels
        ComputeSky();
    }
    HDC dc = GetDC(window);
    if (hasSky) {
        SelectClipRgn(dc, Night.skyRegion);
        StretchBlt(dc, 0, 0, Night.fieldWidth * Night.cell, Night.fieldHeight * Night.cell,
                   Night.fieldDC, 0, 0, Night.fieldWidth, Night.fieldHeight, SRCCOPY);
        SelectClipRgn(dc, NULL);
    }
    if (Night.tick % TOWN_REPAINT_TICKS == 0) PaintTown(dc);
    ReleaseDC(window, dc);
    ++Night.tick;
}

static void StartNight(HWND window) {
    GetClientRect(window, &Night.client);
    Night.randomState = NIGHT_SEED;
    Night.tick = 0;
    int smaller = Night.client.right < Night.client.bottom ? Night.client.right : Night.client.bottom;
    Night.storey = smaller / STOREY_DIVISOR > 1 ? smaller / STOREY_DIVISOR : 1;
    MakeField();
    MakeTables();
    RECT hotel = BuildTown();
    Night.lightBrush = CreateSolidBrush(LIGHT_COLOR);
    MakeSign(&hotel);
    SetTimer(window, NIGHT_TIMER_ID, NIGHT_TIMER_INTERVAL, NULL);
}

static void EndNight(HWND window) {
    KillTimer(window, NIGHT_TIMER_ID);
    if (Night.keptBitmap) SelectObject(Night.fieldDC, Night.keptBitmap);
    if (Night.fieldBitmap) DeleteObject(Night.fieldBitmap);
    if (Night.fieldDC) DeleteDC(Night.fieldDC);
    HGDIOBJ others[] = {Night.signFont, Night.lightBrush, Night.skyRegion, Night.wallRegion,
                        Night.lightRegion};
    for (HGDIOBJ object : others)
        if (object) DeleteObject(object);
}

LRESULT CALLBACK NightEffectProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        StartNight(window);
        break;
    case WM_TIMER:
        if (wParam == NIGHT_TIMER_ID) DrawTick(window);
        break;
    case WM_DESTROY:
        EndNight(window);
        break;
    }
    return SaverDismissProc(window, message, wParam, lParam);
}

const WNDPROC SaverEffectProc = NightEffectProc;

// Polar Night has no settings: no dialog classes to register, and no dialog in the module.
BOOL RegisterConfigClasses(HINSTANCE) { return TRUE; }

INT_PTR CALLBACK ConfigDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
