// The command line: strip the program name, tell the platform family, choose the mode.
#include "startup/modes.h"

#define QUOTE_MARK '"'
#define BLANK ' '
#define HANDLE_COLON ':'

static BOOL IsAboveBlank(char c) { return (unsigned char)c > 0x20; }

// The program name is stepped over by whole characters, so a double-byte character whose trail
// byte looks like a quote mark or a blank does not end it.
LPCSTR ExtractCommandTail(LPCSTR line) {
    LPCSTR p = line;
    if (*p == QUOTE_MARK) {
        p = CharNextA(p);
        while (*p && *p != QUOTE_MARK) p = CharNextA(p);
        if (*p == QUOTE_MARK) p++;
    } else if (IsAboveBlank(*p)) {
        while (IsAboveBlank(*p)) p = CharNextA(p);
    }
    while (*p && !IsAboveBlank(*p)) p = CharNextA(p);
    return p;
}

BOOL DetectPlatformFamily(void) {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

DWORD ParseWindowHandle(LPCSTR text) {
    DWORD value = 0;
    for (LPCSTR p = text; (signed char)*p >= '0' && (signed char)*p <= '9'; p++)
        value = value * 10 + (DWORD)(*p - '0');
    return value;
}

static BOOL IsSeparator(signed char c) { return c == BLANK || c == '-' || c == '/'; }

// Only blanks: a tab after the letter is not skipped.
static LPCSTR SkipBlanks(LPCSTR p) {
    while (*p == BLANK) p++;
    return p;
}

ModeRequest SelectMode(LPCSTR tail, BOOL isWin9xFamily) {
    LPCSTR p = tail;
    while (IsSeparator((signed char)*p)) p++;
    switch ((signed char)*p) {
    case 0:
        return {ModeKind::Configure, 0, ParentRule::NoParent};
    case 'C':
    case 'c':
        return {ModeKind::Configure, p[1] == HANDLE_COLON ? ParseWindowHandle(p + 2) : 0,
                ParentRule::Foreground};
    case 'A':
    case 'a':
        if (!isWin9xFamily) break;
        return {ModeKind::ChangePassword, ParseWindowHandle(SkipBlanks(p + 1)), ParentRule::Foreground};
    case 'P':
    case 'p':
    case 'L':
    case 'l':
        return {ModeKind::Preview, ParseWindowHandle(SkipBlanks(p + 1)), ParentRule::Refuse};
    case 'S':
    case 's':
        return {ModeKind::FullScreen, 0, ParentRule::NoParent};
    }
    return {ModeKind::Invalid, 0, ParentRule::NoParent};
}

// Handles are 32-bit significant on every Windows; a 64-bit process widens them with sign
// extension, as the platform's own LongToHandle does.
HWND WindowFromHandleValue(DWORD value) { return (HWND)(LONG_PTR)(LONG)value; }
