// The random line effect and the hooks of the configure mode.
#pragma once
#include "framework/saver_effect.h"

#define LINE_TIMER_ID 100

struct EFFECTSTATE {
    RECT clientRect = {0, 0, 0, 0};  // captured at WM_CREATE; the extent of the clear
    LONG linesSinceClear = 0;        // not reset when a window is created
    DWORD randomState = 1;           // never reseeded: every run draws the same lines
};

extern EFFECTSTATE EffectState;

int NextRandom(void);
LRESULT CALLBACK LineEffectProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
