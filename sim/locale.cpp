// The user's time and date formats, as a user of the United States has them: "h:mm:ss tt",
// "M/d/yyyy" and "dddd, MMMM d, yyyy". The pictures are read as the platform reads them: letters
// repeated, text in single quotes ('' for a quote), anything else as it stands.
#include "sim/machine.h"

#include <cstring>
#include <string>

namespace sim {

static const char USER_TIME_FORMAT[] = "h:mm:ss tt";
static const char USER_SHORT_DATE[] = "M/d/yyyy";
static const char USER_LONG_DATE[] = "dddd, MMMM d, yyyy";
static const char USER_YEAR_MONTH[] = "MMMM yyyy";
static const char *const DAY_NAMES[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
static const char *const MONTH_NAMES[] = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};

static bool ValidTime(const SYSTEMTIME &time) {
    return time.wHour < 24 && time.wMinute < 60 && time.wSecond < 60 && time.wMilliseconds < 1000;
}

static bool ValidDate(const SYSTEMTIME &time) {
    return time.wMonth >= 1 && time.wMonth <= 12 && time.wDay >= 1 && time.wDay <= 31 && time.wDayOfWeek < 7;
}

static std::string Digits(int value, size_t width) {
    std::string text = std::to_string(value);
    return text.size() < width ? std::string(width - text.size(), '0') + text : text;
}

// A letter repeated count times in a picture, written out for time.
static std::string TimeField(char letter, size_t count, const SYSTEMTIME &time, DWORD flags) {
    int hour = time.wHour;
    if (letter == 'h' && !(flags & TIME_FORCE24HOURFORMAT)) hour = hour % 12 == 0 ? 12 : hour % 12;
    switch (letter) {
    case 'h':
    case 'H': return Digits(hour, count > 1 ? 2 : 1);
    case 'm': return Digits(time.wMinute, count > 1 ? 2 : 1);
    case 's': return Digits(time.wSecond, count > 1 ? 2 : 1);
    case 't': return std::string(time.wHour < 12 ? "AM" : "PM").substr(0, count > 1 ? 2 : 1);
    }
    return "";
}

static std::string DateField(char letter, size_t count, const SYSTEMTIME &time) {
    switch (letter) {
    case 'd':
        if (count >= 4) return DAY_NAMES[time.wDayOfWeek];
        if (count == 3) return std::string(DAY_NAMES[time.wDayOfWeek]).substr(0, 3);
        return Digits(time.wDay, count);
    case 'M':
        if (count >= 4) return MONTH_NAMES[time.wMonth - 1];
        if (count == 3) return std::string(MONTH_NAMES[time.wMonth - 1]).substr(0, 3);
        return Digits(time.wMonth, count);
    case 'y':
        if (count >= 3) return Digits(time.wYear, 4);
        return Digits(time.wYear % 100, count);
    case 'g': return "A.D.";
    }
    return "";
}

// Which letters of a time picture the flags leave out, with the separator before them.
static bool TimeLetterDropped(char letter, DWORD flags) {
    if (letter == 's') return (flags & (TIME_NOSECONDS | TIME_NOMINUTESORSECONDS)) != 0;
    if (letter == 'm') return (flags & TIME_NOMINUTESORSECONDS) != 0;
    if (letter == 't') return (flags & TIME_NOTIMEMARKER) != 0;
    return false;
}

static std::string Expand(const char *picture, const SYSTEMTIME &time, DWORD flags, bool isTime) {
    std::string out;
    size_t separatorAt = std::string::npos;  // where the text since the last field began
    for (const char *at = picture; *at;) {
        if (*at == '\'') {
            // Quoted text separates fields as any other does.
            if (separatorAt == std::string::npos) separatorAt = out.size();
            if (at[1] == '\'') {
                out += '\'';
                at += 2;
                continue;
            }
            // Quoted text, in which '' is a quote.
            for (++at; *at && !(at[0] == '\'' && at[1] != '\''); ++at) {
                if (at[0] == '\'') ++at;
                out += *at;
            }
            if (*at) ++at;
            continue;
        }
        char letter = *at;
        bool field = isTime ? strchr("hHmst", letter) != nullptr : strchr("dMyg", letter) != nullptr;
        if (!field) {
            if (separatorAt == std::string::npos) separatorAt = out.size();
            out += *at++;
            continue;
        }
        size_t count = 0;
        while (*at == letter) ++at, ++count;
        if (isTime && TimeLetterDropped(letter, flags)) {
            if (separatorAt != std::string::npos) out.erase(separatorAt);
        } else {
            out += isTime ? TimeField(letter, count, time, flags) : DateField(letter, count, time);
        }
        separatorAt = std::string::npos;
    }
    return out;
}

// The platform's answer: the characters with the closing zero; with size 0, the room needed; 0
// when they do not fit. (The simulator keeps no last error.)
static int Deliver(const std::string &text, LPSTR out, int size) {
    int needed = (int)text.size() + 1;
    if (size == 0) return needed;
    if (!out || size < needed) return 0;
    memcpy(out, text.c_str(), (size_t)needed);
    return needed;
}

}  // namespace sim

using namespace sim;

int WINAPI GetTimeFormatA(LCID, DWORD flags, const SYSTEMTIME *time, LPCSTR format, LPSTR out, int size) {
    if (Enter("GetTimeFormatA", {flags, (const void *)time, format, size})) return 0;
    SYSTEMTIME now = time ? *time : ClockTime();
    if (!ValidTime(now) || size < 0) return 0;
    return Deliver(Expand(format ? format : USER_TIME_FORMAT, now, flags, true), out, size);
}

// A locale's facts are not simulated: every one is missing.
INT WINAPI GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR out, INT size) {
    Enter("GetLocaleInfoA", {locale, type, (const void *)out, size});
    return 0;
}

int WINAPI GetDateFormatA(LCID, DWORD flags, const SYSTEMTIME *time, LPCSTR format, LPSTR out, int size) {
    if (Enter("GetDateFormatA", {flags, (const void *)time, format, size})) return 0;
    SYSTEMTIME now = time ? *time : ClockTime();
    if (!ValidDate(now) || size < 0) return 0;
    const char *picture = format                     ? format
                          : (flags & DATE_LONGDATE)  ? USER_LONG_DATE
                          : (flags & DATE_YEARMONTH) ? USER_YEAR_MONTH
                                                     : USER_SHORT_DATE;
    return Deliver(Expand(picture, now, 0, false), out, size);
}
