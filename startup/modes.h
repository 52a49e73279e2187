// Start-up: the command line, the choice of mode, and carrying it out.
#pragma once
#include <windows.h>

enum class ModeKind { Configure, ChangePassword, Preview, FullScreen, Invalid };

// What RunMode does when the parent is 0 or names no window.
enum class ParentRule { NoParent, Foreground, Refuse };

struct ModeRequest {
    ModeKind kind;
    DWORD parent;  // the handle written on the command line, 0 when none
    ParentRule parentRule;
};

#define INVALID_MODE_EXIT_CODE (-1)
#define CHANGE_PASSWORD_EXIT_CODE 0
// Exit code after the exception guard handled an escaped exception: never 0, so a crash does not
// read as success.
#define FAULT_EXIT_CODE 2

LPCSTR ExtractCommandTail(LPCSTR line);
BOOL DetectPlatformFamily(void);
ModeRequest SelectMode(LPCSTR tail, BOOL isWin9xFamily);
DWORD ParseWindowHandle(LPCSTR text);

// Window handles travel on the command line as 32-bit values.
HWND WindowFromHandleValue(DWORD value);

void SaverMain(void);
LONG RunMode(const ModeRequest &request);
LONG ShowConfigDialog(HWND parent);
