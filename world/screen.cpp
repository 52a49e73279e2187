// Where the saver's window lies, the virtual screen and its monitors.
#include "framework/saver_effect.h"

// GetSystemMetrics indices of Windows 98 and 2000 on; earlier systems answer them with 0.
#define VIRTUAL_SCREEN_X 76
#define VIRTUAL_SCREEN_Y 77
#define VIRTUAL_SCREEN_WIDTH 78
#define VIRTUAL_SCREEN_HEIGHT 79
#define MONITOR_MODULE "USER32.DLL"
#define ENUM_MONITORS_NAME "EnumDisplayMonitors"

BOOL SaverGetWindowRect(HWND window, RECT *rect) { return GetWindowRect(window, rect); }

// Windows 95 and NT 4.0 know one monitor: the screen.
static RECT PrimaryScreen(void) {
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return screen;
}

void SaverGetVirtualScreen(RECT *screen) {
    int width = GetSystemMetrics(VIRTUAL_SCREEN_WIDTH);
    if (width == 0) {
        *screen = PrimaryScreen();
        return;
    }
    screen->left = GetSystemMetrics(VIRTUAL_SCREEN_X);
    screen->top = GetSystemMetrics(VIRTUAL_SCREEN_Y);
    screen->right = screen->left + width;
    screen->bottom = screen->top + GetSystemMetrics(VIRTUAL_SCREEN_HEIGHT);
}

// EnumDisplayMonitors as Windows 98 and 2000 define it; the headers of older systems have none.
typedef BOOL(CALLBACK *MONITORRECTPROC)(HANDLE monitor, HDC dc, RECT *rect, LPARAM data);
typedef BOOL(WINAPI *ENUMMONITORS)(HDC dc, const RECT *clip, MONITORRECTPROC proc, LPARAM data);

struct MONITORLIST {
    RECT *rects;
    int count;  // room in rects
    int found;
};

// The primary monitor is the one at the origin: it goes first, the others after it in the
// system's order.
static BOOL CALLBACK AddMonitor(HANDLE, HDC, RECT *rect, LPARAM data) {
    MONITORLIST *list = (MONITORLIST *)data;
    int at = list->found++;
    if (rect->left == 0 && rect->top == 0 && at > 0) {
        if (at < list->count) list->rects[at] = list->rects[0];
        at = 0;
    }
    if (at < list->count) list->rects[at] = *rect;
    return TRUE;
}

int SaverGetMonitorRects(RECT *monitors, int count) {
    HMODULE user = GetModuleHandleA(MONITOR_MODULE);
    ENUMMONITORS enumerate = user ? (ENUMMONITORS)(void *)GetProcAddress(user, ENUM_MONITORS_NAME) : NULL;
    MONITORLIST list = {monitors, count, 0};
    if (enumerate) enumerate(NULL, NULL, AddMonitor, (LPARAM)&list);
    if (list.found > 0) return list.found;
    if (count > 0) monitors[0] = PrimaryScreen();
    return 1;
}
