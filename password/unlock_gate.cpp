// The unlock gate between a close request and the end of a password-protected saver.
#include "framework/dismiss.h"
#include "framework/saver_state.h"
#include "password/password.h"

#define PENDING_TICKS_TO_DROP 2

DWORD ElapsedTicks(DWORD from, DWORD to) { return to - from; }

static BOOL WithinRepeatWindow(DWORD now) {
    return SaverState.lastVerifyTick != NO_CHECK_YET &&
           ElapsedTicks(SaverState.lastVerifyTick, now) < UNLOCK_REPEAT_WINDOW_MS;
}

// Ticks that queued up while the close request travelled would otherwise be drawn the moment the
// password dialog appears.
static void DropPendingTicks(HWND window) {
    MSG discarded;
    for (int i = 0; i < PENDING_TICKS_TO_DROP; i++)
        PeekMessageA(&discarded, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
}

BOOL ConfirmUnlock(HWND window) {
    if (SaverState.isVerifying || SaverState.isClosing) return FALSE;
    if (!SaverState.verifyEntry) {
        SaverState.isClosing = TRUE;
        return TRUE;
    }
    if (WithinRepeatWindow(GetTickCount())) return SaverState.isClosing;

    // Set before the first point at which the check can re-enter the window procedures.
    SaverState.isVerifying = TRUE;
    DropPendingTicks(window);
    SaverState.isVerifyRequested = TRUE;
    LRESULT accepted = SendMessageA(window, WM_VERIFY_PASSWORD, 0, 0);
    SaverState.isVerifyRequested = FALSE;
    SaverState.isClosing = accepted != 0;
    SaverState.isVerifying = FALSE;
    if (!accepted) SetCursor(NULL);
    // Counted from the end of the check, so close requests queued during it start no other.
    SaverState.lastVerifyTick = GetTickCount();
    return SaverState.isClosing;
}
