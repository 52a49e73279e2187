// The random line effect and the hooks of the configure mode.
#pragma once
#include <windows.h>

// Resources the framework asks the program's module for. The module carries none of them.
#define CONFIG_DIALOG_ID 2003
#define SAVER_ICON_ID 100

#define LINE_TIMER_ID 100

struct EFFECTSTATE {
    RECT clientRect = {0, 0, 0, 0};  // captured at WM_CREATE; the extent of the clear
    LONG linesSinceClear = 0;        // not reset when a window is created
    DWORD randomState = 1;           // never reseeded: every run draws the same lines
};

extern EFFECTSTATE EffectState;

int NextRandom(void);
LRESULT CALLBACK LineEffectProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

BOOL RegisterConfigClasses(HINSTANCE instance);
INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
