// The time and the date as the user's settings write them.
#include "framework/saver_effect.h"

// No time given is now, as the framework tells it: the platform's own now would be the clock.
static const SYSTEMTIME *TimeOrNow(const SYSTEMTIME *time, SYSTEMTIME *now) {
    if (time) return time;
    SaverGetLocalTime(now);
    return now;
}

int SaverGetTimeFormat(DWORD flags, const SYSTEMTIME *time, LPCSTR format, LPSTR text, int size) {
    SYSTEMTIME now;
    return GetTimeFormatA(LOCALE_USER_DEFAULT, flags, TimeOrNow(time, &now), format, text, size);
}

int SaverGetDateFormat(DWORD flags, const SYSTEMTIME *time, LPCSTR format, LPSTR text, int size) {
    SYSTEMTIME now;
    return GetDateFormatA(LOCALE_USER_DEFAULT, flags, TimeOrNow(time, &now), format, text, size);
}
