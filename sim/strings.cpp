// Simulated strings of the platform: the lstr... functions and wsprintfA. They work on the
// program's own memory and fail only by their arguments, so FailCall does not reach them. A
// string is recorded as its text; the buffer written to is not.
#include "sim/machine.h"

#include <cstring>
#include <string>

namespace sim {

// wsprintfA writes at most this many characters, the terminating zero included.
static const size_t WSPRINTF_LIMIT = 1024;

// One conversion of a format: %[-][#][0][width][.precision][h|l]type.
struct Conversion {
    bool left = false, prefix = false, zeros = false;
    size_t width = 0;
    bool hasPrecision = false;
    size_t precision = 0;
    char size = 0;  // 'h', 'l' or none
    char type = 0;
};

static size_t Number(const char **cursor) {
    size_t value = 0;
    while (**cursor >= '0' && **cursor <= '9') value = value * 10 + (size_t)(*(*cursor)++ - '0');
    return value;
}

static Conversion Parse(const char **cursor) {
    Conversion c;
    for (;; ++*cursor) {
        if (**cursor == '-') c.left = true;
        else if (**cursor == '#') c.prefix = true;
        else if (**cursor == '0') c.zeros = true;
        else break;
    }
    c.width = Number(cursor);
    if (**cursor == '.') {
        ++*cursor;
        c.hasPrecision = true;
        c.precision = Number(cursor);
    }
    if (**cursor == 'h' || **cursor == 'l') c.size = *(*cursor)++;
    c.type = **cursor;
    if (**cursor) ++*cursor;
    return c;
}

// A wide character shown in an ANSI string: itself when it is one, '?' otherwise.
static char Narrow(unsigned wide) { return wide < 0x100 ? (char)wide : '?'; }

// The text of one conversion before padding, and the sign or prefix that zeros go after.
static std::string Digits(unsigned long value, unsigned base, bool upper, const Conversion &c) {
    const char *digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), digits[value % base]);
        value /= base;
    } while (value);
    if (c.hasPrecision && text.size() < c.precision) text.insert(0, c.precision - text.size(), '0');
    return text;
}

static std::string Padded(const std::string &head, const std::string &body, const Conversion &c) {
    size_t length = head.size() + body.size();
    if (length >= c.width) return head + body;
    std::string fill(c.width - length, ' ');
    if (c.left) return head + body + fill;
    if (c.zeros && c.type != 's' && c.type != 'S' && c.type != 'c' && c.type != 'C')
        return head + std::string(c.width - length, '0') + body;
    return fill + head + body;
}

static std::string Text(const char *text, const Conversion &c) {
    if (!text) text = "(null)";
    size_t length = c.hasPrecision ? strnlen(text, c.precision) : strlen(text);
    return std::string(text, length);
}

static std::string WideText(const WCHAR *text, const Conversion &c) {
    if (!text) return Text(nullptr, c);
    std::string narrow;
    for (; *text && (!c.hasPrecision || narrow.size() < c.precision); ++text) narrow += Narrow(*text);
    return narrow;
}

// Windows' wsprintf: the types c, C, d, i, u, x, X, s, S (C and S, and hc, hs, lc, ls, the other
// width of character), the flags '-', '#' (0x or 0X before hexadecimal), '0', a width and a
// precision, no '*'; no floating point. long is 32 bits on Windows: 'l' reads the same int.
// An unknown type stands for itself, "%%" for one '%'.
static std::string Format(const char *format, __ms_va_list *args) {
    std::string out;
    while (*format) {
        if (*format != '%') {
            out += *format++;
            continue;
        }
        ++format;
        Conversion c = Parse(&format);
        std::string head, body;
        bool wide = c.size == 'l' || (c.size != 'h' && (c.type == 'C' || c.type == 'S'));
        switch (c.type) {
        case 'c':
        case 'C':
            body = std::string(1, wide ? Narrow((unsigned)__builtin_va_arg(*args, int) & 0xFFFF)
                                       : (char)__builtin_va_arg(*args, int));
            break;
        case 's':
        case 'S':
            body = wide ? WideText(__builtin_va_arg(*args, const WCHAR *), c)
                        : Text(__builtin_va_arg(*args, const char *), c);
            break;
        case 'd':
        case 'i': {
            int value = __builtin_va_arg(*args, int);
            if (value < 0) head = "-";
            body = Digits(value < 0 ? 0ul - (unsigned long)(long)value : (unsigned long)value, 10, false, c);
            break;
        }
        case 'u':
            body = Digits(__builtin_va_arg(*args, unsigned), 10, false, c);
            break;
        case 'x':
        case 'X':
            if (c.prefix) head = c.type == 'x' ? "0x" : "0X";
            body = Digits(__builtin_va_arg(*args, unsigned), 16, c.type == 'X', c);
            break;
        case 0:
            break;
        default:
            body = std::string(1, c.type);
            break;
        }
        out += Padded(head, body, c);
    }
    return out;
}

static INT Store(LPSTR buffer, const std::string &text) {
    size_t length = std::min(text.size(), WSPRINTF_LIMIT - 1);
    memcpy(buffer, text.data(), length);
    buffer[length] = 0;
    return (INT)length;
}

}  // namespace sim

using namespace sim;

// ---------------------------------------------------------------------------------------------
// Platform functions

// A null string counts as empty.
INT WINAPI lstrlenA(LPCSTR text) {
    Enter("lstrlenA", {text});
    return text ? (INT)strlen(text) : 0;
}

LPSTR WINAPI lstrcpyA(LPSTR target, LPCSTR source) {
    Enter("lstrcpyA", {source});
    if (!target || !source) return nullptr;
    return strcpy(target, source);
}

// At most size - 1 characters, and always the terminating zero (when size is at least 1).
LPSTR WINAPI lstrcpynA(LPSTR target, LPCSTR source, INT size) {
    std::string shown = source && size > 0 ? std::string(source, strnlen(source, (size_t)size - 1)) : "";
    Enter("lstrcpynA", {shown.c_str(), size});
    if (!target || !source) return nullptr;
    if (size <= 0) return target;
    memcpy(target, shown.data(), shown.size());
    target[shown.size()] = 0;
    return target;
}

LPSTR WINAPI lstrcatA(LPSTR target, LPCSTR source) {
    Enter("lstrcatA", {(LPCSTR)target, source});
    if (!target || !source) return nullptr;
    return strcat(target, source);
}

// The platform compares by the user's locale (where, for one, a hyphen weighs less than a
// letter); the simulator compares as the C locale does, character by character, and lstrcmpiA
// folds the case of ASCII letters only. A null string is less than any other.
static int Compare(LPCSTR a, LPCSTR b, bool foldCase) {
    if (!a || !b) return a ? 1 : b ? -1 : 0;
    int difference = foldCase ? strcasecmp(a, b) : strcmp(a, b);
    return difference < 0 ? -1 : difference > 0 ? 1 : 0;
}

INT WINAPI lstrcmpA(LPCSTR a, LPCSTR b) {
    Enter("lstrcmpA", {a, b});
    return Compare(a, b, false);
}

INT WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
    Enter("lstrcmpiA", {a, b});
    return Compare(a, b, true);
}

// Recorded with the format and the text it made: the arguments themselves cannot be told apart.
INT WINAPI wvsprintfA(LPSTR buffer, LPCSTR format, __ms_va_list args) {
    std::string text = format ? Format(format, &args) : "";
    Enter("wvsprintfA", {format, text.c_str()});
    if (!buffer || !format) return -1;
    return Store(buffer, text);
}

INT WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    __ms_va_list args;
    __ms_va_start(args, format);
    std::string text = format ? Format(format, &args) : "";
    __ms_va_end(args);
    Enter("wsprintfA", {format, text.c_str()});
    if (!buffer || !format) return -1;
    return Store(buffer, text);
}
