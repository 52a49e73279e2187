// Clock: the time of day, on a clock face with hands or in figures, with the date beneath.
//
// A whole saver in one file. The time comes from the framework (SaverGetLocalTime), written as
// the user's settings write it (SaverGetTimeFormat, SaverGetDateFormat) or on a 12- or 24-hour
// clock as the settings say; the clock moves to another place of the screen every minute, so
// that it burns nothing in, along a path that the start's seed (SaverGetSeed) chooses. Each
// picture is drawn into a bitmap of its own and put on the window at once: no flicker.
#include "framework/saver_effect.h"

#define CLOCK_TIMER_ID 1
#define CLOCK_INTERVAL 200     // ms: a new second shows within a fifth of a second
#define FACE_SHARE 3           // the face's diameter is two thirds of the window's smaller side
#define SINE_ONE 1024          // the sine table's 1
#define HAND_SHARE 40          // the minute hand is the face's radius over this wide, the hour hand twice
#define SMALLEST_DATE 7        // pixels: a date in a smaller font is not written (a small preview)
#define TEXT_LENGTH 64
#define BACKGROUND_COLOR RGB(0, 0, 0)
#define FACE_COLOR RGB(90, 110, 140)
#define HAND_COLOR RGB(230, 235, 245)
#define SECOND_COLOR RGB(255, 80, 60)
#define DATE_COLOR RGB(140, 150, 170)

enum CLOCKFACE { FACE_ANALOG, FACE_DIGITAL };
enum CLOCKHOURS { HOURS_AS_WINDOWS, HOURS_12, HOURS_24 };

struct CLOCKSETTINGS {
    DWORD face;      // CLOCKFACE
    DWORD hours;     // CLOCKHOURS: how the figures write the hour
    DWORD seconds;   // a second hand, or the seconds among the figures
    DWORD showDate;
};

struct CLOCKSTATE {
    CLOCKSETTINGS settings;
    RECT client;
    int size;               // the face's diameter, or the width of the figures
    RECT place;             // where the clock is drawn now, client coordinates
    DWORD randomState;      // chooses the clock's places; seeded at every start
    HDC memoryDc;           // the picture is drawn here, then put on the window
    HBITMAP picture;
    HGDIOBJ keptBitmap, keptFont;
    HFONT timeFont, dateFont;
    HBRUSH background;
    WORD shownSecond;       // the second (or minute) now on the window; 0xFFFF: none yet
    WORD placedMinute;      // the minute the place was chosen in
};

static CLOCKSTATE Clock = {{}, {0, 0, 0, 0}, 0, {0, 0, 0, 0}, 1, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
                           0xFFFF, 0xFFFF};

static const LPCSTR FACE_NAMES[] = {"Hands", "Figures"};
static const LPCSTR HOURS_NAMES[] = {"As Windows writes the time", "12 hours", "24 hours"};

static const SAVERSETTING CLOCK_SETTINGS[] = {
    SAVER_CHOICE(Clock.settings.face, "Face", "Clock face", FACE_ANALOG, FACE_NAMES),
    SAVER_CHOICE(Clock.settings.hours, "Hours", "Figures written", HOURS_AS_WINDOWS, HOURS_NAMES),
    SAVER_YES_NO(Clock.settings.seconds, "Seconds", "Show the seconds", TRUE),
    SAVER_YES_NO(Clock.settings.showDate, "Date", "Show the date", TRUE),
};
SAVER_SETTINGS(CLOCK_SETTINGS);

static int NextClockRandom(int range) {
    Clock.randomState = Clock.randomState * 1103515245u + 12345u;
    return range > 0 ? (int)((Clock.randomState >> 8) % (DWORD)range) : 0;
}

// ---------------------------------------------------------------------------------------------
// Integer trigonometry: the sine of each sixtieth of a turn, in SINE_ONE parts.

static const int QUARTER_SINES[16] = {0, 107, 213, 316, 416, 512, 602, 685, 761, 828, 887, 935, 974, 1002, 1018, 1024};

static int SixtiethSine(int step) {
    step = ((step % 60) + 60) % 60;
    if (step <= 15) return QUARTER_SINES[step];
    if (step <= 30) return QUARTER_SINES[30 - step];
    if (step <= 45) return -QUARTER_SINES[step - 30];
    return -QUARTER_SINES[60 - step];
}

// The point at length from the centre towards step of 60, clockwise from twelve.
static POINT TowardsStep(POINT centre, int step, int length) {
    POINT end = {centre.x + SixtiethSine(step) * length / SINE_ONE,
                 centre.y - SixtiethSine(step + 15) * length / SINE_ONE};
    return end;
}

// ---------------------------------------------------------------------------------------------
// The picture

static void StrokeLine(HDC dc, POINT from, POINT to, int width, COLORREF color) {
    HPEN pen = CreatePen(PS_SOLID, width, color);
    HGDIOBJ kept = SelectObject(dc, pen);
    MoveToEx(dc, from.x, from.y, NULL);
    LineTo(dc, to.x, to.y);
    SelectObject(dc, kept);
    DeleteObject(pen);
}

static void DrawFace(HDC dc, POINT centre, int radius) {
    for (int step = 0; step < 60; step += 5) {
        int inner = step % 15 == 0 ? radius * 8 / 10 : radius * 9 / 10;
        StrokeLine(dc, TowardsStep(centre, step, inner), TowardsStep(centre, step, radius), step % 15 == 0 ? 3 : 1,
             FACE_COLOR);
    }
}

static void DrawHands(HDC dc, const SYSTEMTIME *time) {
    RECT *p = &Clock.place;
    POINT centre = {(p->left + p->right) / 2, (p->top + p->bottom) / 2};
    int radius = (p->right - p->left) / 2;
    int wide = radius / HAND_SHARE > 1 ? radius / HAND_SHARE : 1;
    DrawFace(dc, centre, radius);
    StrokeLine(dc, centre, TowardsStep(centre, (time->wHour % 12) * 5 + time->wMinute / 12, radius / 2), 2 * wide,
         HAND_COLOR);
    StrokeLine(dc, centre, TowardsStep(centre, time->wMinute, radius * 3 / 4), wide, HAND_COLOR);
    if (Clock.settings.seconds)
        StrokeLine(dc, TowardsStep(centre, time->wSecond + 30, radius / 6), TowardsStep(centre, time->wSecond, radius * 85 / 100),
             1, SECOND_COLOR);
}

// The figures as the user's settings write them, or on the clock the settings name.
static void WriteTime(const SYSTEMTIME *time, LPSTR text) {
    BOOL seconds = Clock.settings.seconds;
    LPCSTR picture = NULL;
    if (Clock.settings.hours == HOURS_12) picture = seconds ? "h':'mm':'ss tt" : "h':'mm tt";
    if (Clock.settings.hours == HOURS_24) picture = seconds ? "HH':'mm':'ss" : "HH':'mm";
    if (!SaverGetTimeFormat(seconds ? 0 : TIME_NOSECONDS, time, picture, text, TEXT_LENGTH)) text[0] = 0;
}

static void DrawLabel(HDC dc, HFONT font, COLORREF color, LPCSTR text, RECT *box) {
    SelectObject(dc, font);
    SetTextColor(dc, color);
    DrawTextA(dc, text, -1, box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

// The clock's own height (the face, or the band of figures) and the date's beneath it.
static int ClockHeight(void) { return Clock.settings.face == FACE_ANALOG ? Clock.size : Clock.size / 4; }
static int DateHeight(void) {
    return Clock.settings.showDate && Clock.size / 16 >= SMALLEST_DATE ? Clock.size / 8 : 0;
}

static void DrawPicture(const SYSTEMTIME *time) {
    HDC dc = Clock.memoryDc;
    FillRect(dc, &Clock.client, Clock.background);
    RECT band = Clock.place;
    band.bottom = band.top + ClockHeight();
    if (Clock.settings.face == FACE_ANALOG) {
        DrawHands(dc, time);
    } else {
        char text[TEXT_LENGTH];
        WriteTime(time, text);
        DrawLabel(dc, Clock.timeFont, HAND_COLOR, text, &band);
    }
    if (DateHeight() > 0) {
        char text[TEXT_LENGTH];
        if (!SaverGetDateFormat(DATE_LONGDATE, time, NULL, text, TEXT_LENGTH)) text[0] = 0;
        band.top = band.bottom;
        band.bottom = band.top + DateHeight();
        DrawLabel(dc, Clock.dateFont, DATE_COLOR, text, &band);
    }
}

// ---------------------------------------------------------------------------------------------
// Where the clock is

// A place for the clock and its date anywhere inside the window.
static void ChoosePlace(void) {
    int height = ClockHeight() + DateHeight();
    int left = NextClockRandom(Clock.client.right - Clock.size + 1);
    int top = NextClockRandom(Clock.client.bottom - height + 1);
    SetRect(&Clock.place, left, top, left + Clock.size, top + height);
}

static HFONT CreateClockFont(int height, int weight) {
    return CreateFontA(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, "Arial");
}

static void StartClock(HWND window) {
    GetClientRect(window, &Clock.client);
    int side = Clock.client.right < Clock.client.bottom ? Clock.client.right : Clock.client.bottom;
    Clock.size = Clock.settings.face == FACE_ANALOG ? side * 2 / FACE_SHARE : Clock.client.right * 3 / 4;
    Clock.randomState = SaverGetSeed();
    Clock.shownSecond = Clock.placedMinute = 0xFFFF;
    Clock.background = CreateSolidBrush(BACKGROUND_COLOR);
    // "12:59:59 PM" is some seven heights wide, a long date some thirteen of its.
    Clock.timeFont = CreateClockFont(Clock.size / 7 > 1 ? Clock.size / 7 : 1, FW_BOLD);
    Clock.dateFont = CreateClockFont(DateHeight() / 2 > 1 ? DateHeight() / 2 : 1, FW_NORMAL);
    HDC dc = GetDC(window);
    Clock.memoryDc = CreateCompatibleDC(dc);
    Clock.picture = CreateCompatibleBitmap(dc, Clock.client.right, Clock.client.bottom);
    ReleaseDC(window, dc);
    Clock.keptBitmap = SelectObject(Clock.memoryDc, Clock.picture);
    Clock.keptFont = SelectObject(Clock.memoryDc, GetStockObject(ANSI_VAR_FONT));
    SetBkMode(Clock.memoryDc, TRANSPARENT);
    SetTimer(window, CLOCK_TIMER_ID, CLOCK_INTERVAL, NULL);
}

static void StopClock(HWND window) {
    KillTimer(window, CLOCK_TIMER_ID);
    SelectObject(Clock.memoryDc, Clock.keptFont);
    SelectObject(Clock.memoryDc, Clock.keptBitmap);
    DeleteDC(Clock.memoryDc);
    DeleteObject(Clock.picture);
    DeleteObject(Clock.timeFont);
    DeleteObject(Clock.dateFont);
    DeleteObject(Clock.background);
    Clock.memoryDc = NULL;
}

// A new picture only when what it shows has changed: the second, or the minute without seconds.
static void Tick(HWND window) {
    SYSTEMTIME time;
    SaverGetLocalTime(&time);
    WORD shown = Clock.settings.seconds ? (WORD)(time.wMinute * 60 + time.wSecond) : time.wMinute;
    if (shown == Clock.shownSecond) return;
    Clock.shownSecond = shown;
    if (time.wMinute != Clock.placedMinute) {
        Clock.placedMinute = time.wMinute;
        ChoosePlace();
    }
    DrawPicture(&time);
    HDC dc = GetDC(window);
    BitBlt(dc, 0, 0, Clock.client.right, Clock.client.bottom, Clock.memoryDc, 0, 0, SRCCOPY);
    ReleaseDC(window, dc);
}

LRESULT CALLBACK ClockEffectProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        StartClock(window);
        break;
    case WM_TIMER:
        if (wParam == CLOCK_TIMER_ID) Tick(window);
        break;
    case WM_PAINT:
        // Uncovered, the window gets its picture again at the next tick.
        Clock.shownSecond = 0xFFFF;
        break;
    case WM_DESTROY:
        StopClock(window);
        break;
    }
    return SaverDismissProc(window, message, wParam, lParam);
}

const WNDPROC SaverEffectProc = ClockEffectProc;

// The settings' dialog is built from the table.
BOOL RegisterConfigClasses(HINSTANCE) { return TRUE; }

INT_PTR CALLBACK ConfigDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
