// The time and the date as the user's settings write them.
#include "framework/saver_effect.h"

// No time given is now, as the framework tells it: the platform's own now would be the clock.
int SaverGetTimeFormat(DWORD flags, const SYSTEMTIME *time, LPCSTR format, LPSTR text, int size) {
    SYSTEMTIME now;
    if (!time) {
        SaverGetLocalTime(&now);
        time = &now;
    }
    return GetTimeFormatA(LOCALE_USER_DEFAULT, flags, time, format, text, size);
}

int SaverGetDateFormat(DWORD flags, const SYSTEMTIME *time, LPCSTR format, LPSTR text, int size) {
    SYSTEMTIME now;
    if (!time) {
        SaverGetLocalTime(&now);
        time = &now;
    }
    return GetDateFormatA(LOCALE_USER_DEFAULT, flags, time, format, text, size);
}
