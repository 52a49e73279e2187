// The dismissal policy: which events end the saver, and what a close request must pass first.
#include "framework/dismiss.h"
#include "framework/saver_state.h"
#include "password/password.h"

static void PostCloseRequest(HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }

// What every message that gets this far ends in, in every state.
static LRESULT AnswerOrDefault(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (SaverState.autoPlayMessage && message == SaverState.autoPlayMessage) {
        PostCloseRequest(window);
        // The shell reads 1 as "cancel AutoPlay": nothing may run past a locked screen.
        return SaverState.verifyEntry ? 1 : 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static DWORD Difference(LONG a, LONG b) { return a > b ? (DWORD)a - (DWORD)b : (DWORD)b - (DWORD)a; }

// Horizontal plus vertical distance; saturates rather than wrapping to a small distance.
static DWORD DistanceFromAnchor(POINT p) {
    DWORD dx = Difference(p.x, SaverState.cursorAnchor.x);
    DWORD dy = Difference(p.y, SaverState.cursorAnchor.y);
    return dx > 0xFFFFFFFFu - dy ? 0xFFFFFFFFu : dx + dy;
}

// The message's own coordinates are not used: the cursor's screen position is what the anchor
// was taken in. A cursor that cannot be read counts as not moved.
static void ApplyWakeRule(HWND window) {
    POINT cursor = SaverState.cursorAnchor;
    GetCursorPos(&cursor);
    if (DistanceFromAnchor(cursor) > SaverState.wakeDistance) {
        PostCloseRequest(window);
        SaverState.cursorAnchor = cursor;
    }
}

// Returns TRUE when the message is answered here and must not go on.
static BOOL ApplySaverRule(HWND window, UINT message, WPARAM wParam) {
    switch (message) {
    case WM_SHOWWINDOW:
        if (wParam) SetCursor(NULL);
        break;
    case WM_ACTIVATEAPP:
        if (!wParam) PostCloseRequest(window);
        break;
    case WM_SETCURSOR:
        SetCursor(NULL);
        return TRUE;
    case WM_POWER:
        if (wParam == PWR_CRITICALRESUME) PostCloseRequest(window);
        break;
    case WM_POWERBROADCAST:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        PostCloseRequest(window);
        break;
    case WM_MOUSEMOVE:
        ApplyWakeRule(window);
        break;
    }
    return FALSE;
}

LRESULT CALLBACK SaverDismissProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (SaverState.isPreview || SaverState.isClosing)
        return AnswerOrDefault(window, message, wParam, lParam);

    if (message == WM_CLOSE && SaverState.isWin9xFamily && !ConfirmUnlock(window)) {
        // The window stays; the mouse must move again from where it is now.
        GetCursorPos(&SaverState.cursorAnchor);
        return 0;
    }
    // Only the gate's own request is answered, once: the same message posted by another program,
    // or dispatched by the password dialog's loop, must not start a check past the gate.
    if (message == WM_VERIFY_PASSWORD && SaverState.isWin9xFamily && SaverState.isVerifyRequested) {
        SaverState.isVerifyRequested = FALSE;
        return SaverState.verifyEntry ? SaverState.verifyEntry(window) : 1;
    }

    // During a check, input is neither a close request nor a reason to hide the cursor.
    if (message != WM_CLOSE && !SaverState.isVerifying && ApplySaverRule(window, message, wParam))
        return 1;
    return AnswerOrDefault(window, message, wParam, lParam);
}
