// The framework's one process-wide record. Window procedures receive only (window, message,
// wParam, lParam); everything one message leaves for a later one lives here.
#pragma once
#include <windows.h>
#include <imm.h>
#include "password/password.h"

#define DEFAULT_WAKE_DISTANCE 4

typedef HIMC (WINAPI *IMMASSOCIATECONTEXT)(HWND window, HIMC context);

struct SAVERSTATE {
    HINSTANCE instance = 0;
    HWND mainWindow = 0;
    BOOL isPreview = FALSE;
    BOOL isClosing = FALSE;    // once set, never cleared
    BOOL isVerifying = FALSE;  // a password check is running
    BOOL isVerifyRequested = FALSE;  // the gate's verify request is on its way, not yet answered
    HMODULE passwordModule = 0;
    VERIFYSCREENSAVEPWD verifyEntry = nullptr;  // non-null: password protection is active
    UINT autoPlayMessage = 0;
    HMODULE imeModule = 0;
    IMMASSOCIATECONTEXT imeAssociate = nullptr;
    HIMC savedImeContext = 0;
    BOOL isWin9xFamily = FALSE;
    DWORD lastVerifyTick = NO_CHECK_YET;
    POINT cursorAnchor = {0, 0};
    DWORD wakeDistance = DEFAULT_WAKE_DISTANCE;
    DWORD startTick = 0;  // the tick count as the window was about to be created (SaverGetTickCount)
};

extern SAVERSTATE SaverState;
