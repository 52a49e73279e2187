// The world the framework hands an effect, as a session has it: the link routes the framework's
// calls SaverGetLocalTime, SaverGetSeed and the rest through here (add_effect_check's --wrap).
// The time and the seed are the session's, the same in both of its runs, while the clock and the
// other raw sources that these calls stand for differ between the runs. The calls that only look
// at what the session already set the same (its window's place, the screen, the user's formats)
// are the framework's own, made as the framework.
#include "effect_check/effect_check.h"
#include "framework/saver_effect.h"

#include <cstdio>

extern "C" {
DWORD __real_SaverGetTickCount(void);
BOOL __real_SaverGetWindowRect(HWND window, RECT *rect);
void __real_SaverGetVirtualScreen(RECT *screen);
int __real_SaverGetMonitorRects(RECT *monitors, int count);
int __real_SaverGetTimeFormat(DWORD flags, const SYSTEMTIME *time, LPCSTR format, LPSTR text, int size);
int __real_SaverGetDateFormat(DWORD flags, const SYSTEMTIME *time, LPCSTR format, LPSTR text, int size);
}

namespace effect_check {

namespace {

#define MS_PER_DAY 86400000ull
#define DEFAULT_DATE "1999-12-31"
// 1 January 1601, day 0 of the count, was a Monday; the calendar below counts from 1 March of
// the year 0, this many days before it.
#define FIRST_DAY_OF_WEEK 1
#define DAYS_BEFORE_1601 584694

SessionWorld world;
DWORD worldStartTick;

// Days since 1 January 1601 of a date of the Gregorian calendar, and back.
long long DaysOf(int year, int month, int day) {
    year -= month <= 2;
    long long era = year / 400;
    int yearOfEra = year - (int)(era * 400);
    int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - DAYS_BEFORE_1601;
}

SYSTEMTIME TimeOf(ULONGLONG time) {
    long long days = (long long)(time / MS_PER_DAY) + DAYS_BEFORE_1601;
    ULONGLONG ms = time % MS_PER_DAY;
    long long era = days / 146097;
    long long dayOfEra = days - era * 146097;
    long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    long long monthIndex = (5 * dayOfYear + 2) / 153;
    int month = (int)(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    SYSTEMTIME out = {};
    out.wYear = (WORD)(yearOfEra + era * 400 + (month <= 2));
    out.wMonth = (WORD)month;
    out.wDay = (WORD)(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    out.wDayOfWeek = (WORD)((time / MS_PER_DAY + FIRST_DAY_OF_WEEK) % 7);
    out.wHour = (WORD)(ms / 3600000);
    out.wMinute = (WORD)(ms / 60000 % 60);
    out.wSecond = (WORD)(ms / 1000 % 60);
    out.wMilliseconds = (WORD)(ms % 1000);
    return out;
}

// Its calls are the framework's; what it returns is the session's.
struct AsFramework {
    AsFramework() { FrameworkActs(true); }
    ~AsFramework() { FrameworkActs(false); }
};

}  // namespace

std::string FormatSessionTime(ULONGLONG time) {
    SYSTEMTIME t = TimeOf(time);
    char text[64];
    snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
             t.wSecond);
    return text;
}

bool ParseSessionTime(const std::string &text, ULONGLONG *time) {
    std::string full = text.find('T') == std::string::npos ? DEFAULT_DATE "T" + text : text;
    int year, month, day, hour, minute, second;
    char end;
    if (sscanf(full.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day, &hour, &minute, &second, &end) != 6)
        return false;
    if (year < 1601 || year > 9999 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 ||
        second > 59 || hour < 0 || minute < 0 || second < 0)
        return false;
    long long days = DaysOf(year, month, day);
    if (TimeOf((ULONGLONG)days * MS_PER_DAY).wDay != day) return false;  // 31 April
    *time = (ULONGLONG)days * MS_PER_DAY + ((hour * 60 + minute) * 60 + second) * 1000ull;
    return true;
}

std::string WorldStory(const SessionWorld &at) {
    std::string time = FormatSessionTime(at.startTime);
    std::string seed = Hex(at.seed);
    return " (at " + time + ", seed " + seed + ": --time " + time + " --seed " + seed + " replays it)";
}

void HandWorld(const SessionWorld &session, DWORD startTick) {
    world = session;
    worldStartTick = startTick;
}

}  // namespace effect_check

using namespace effect_check;

extern "C" {

void __wrap_SaverGetLocalTime(SYSTEMTIME *time) { *time = TimeOf(world.startTime + (sim::Now() - worldStartTick)); }

DWORD __wrap_SaverGetTickCount(void) {
    AsFramework framework;
    return __real_SaverGetTickCount();
}

DWORD __wrap_SaverGetSeed(void) { return world.seed; }

BOOL __wrap_SaverGetWindowRect(HWND window, RECT *rect) {
    AsFramework framework;
    return __real_SaverGetWindowRect(window, rect);
}

void __wrap_SaverGetVirtualScreen(RECT *screen) {
    AsFramework framework;
    __real_SaverGetVirtualScreen(screen);
}

int __wrap_SaverGetMonitorRects(RECT *monitors, int count) {
    AsFramework framework;
    return __real_SaverGetMonitorRects(monitors, count);
}

int __wrap_SaverGetTimeFormat(DWORD flags, const SYSTEMTIME *time, LPCSTR format, LPSTR text, int size) {
    AsFramework framework;
    return __real_SaverGetTimeFormat(flags, time, format, text, size);
}

int __wrap_SaverGetDateFormat(DWORD flags, const SYSTEMTIME *time, LPCSTR format, LPSTR text, int size) {
    AsFramework framework;
    return __real_SaverGetDateFormat(flags, time, format, text, size);
}
}
