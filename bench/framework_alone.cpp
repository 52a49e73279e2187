// The framework alone: a saver built from the real framework exactly as add_screen_saver builds
// one, whose effect only keeps the timers of the saver it is measured beside and draws nothing.
// What a saver costs beyond it is its effect's own. The benchmark learns the saver's timers from
// the saver's own run and passes them in the environment variable BENCH_TIMERS, "id:interval"
// pairs separated by commas (e.g. "1:30"); without it there is no timer. Never part of the product.
#include "framework/saver_effect.h"

#define TIMERS_VARIABLE "BENCH_TIMERS"
#define TIMERS_TEXT_SIZE 256

// A decimal number at *text, which is left after it.
static UINT_PTR ReadNumber(const char **text)
{
    UINT_PTR value = 0;
    for (; **text >= '0' && **text <= '9'; (*text)++)
        value = value * 10 + (UINT_PTR)(**text - '0');
    return value;
}

static void SetTheSaversTimers(HWND window)
{
    char text[TIMERS_TEXT_SIZE];
    DWORD length = GetEnvironmentVariableA(TIMERS_VARIABLE, text, sizeof text);
    if (length == 0 || length >= sizeof text)
        return;
    for (const char *p = text; *p;) {
        UINT_PTR id = ReadNumber(&p);
        if (*p++ != ':')
            return;
        UINT interval = (UINT)ReadNumber(&p);
        SetTimer(window, id, interval, NULL);
        if (*p == ',')
            p++;
        else if (*p)
            return;
    }
}

static LRESULT CALLBACK FrameworkAloneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE)
        SetTheSaversTimers(window);
    return SaverDismissProc(window, message, wParam, lParam);
}

const WNDPROC SaverEffectProc = FrameworkAloneProc;

BOOL RegisterConfigClasses(HINSTANCE) { return TRUE; }
INT_PTR CALLBACK ConfigDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
