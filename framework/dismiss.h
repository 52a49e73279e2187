// The dismissal policy, and the contract of an effect.
//
// An effect is one window procedure, called by the framework's frame procedure with every
// message the framework did not consume. An effect
//   - must hand every message it receives, handled or not, to SaverDismissProc with the same
//     arguments, and return SaverDismissProc's result unchanged: the policy decides when the saver
//     ends and must see every keystroke, click and mouse move;
//   - must not call DefWindowProcA itself, and must not post WM_CLOSE or PostQuitMessage other
//     than from WM_DESTROY;
//   - draws only on WM_TIMER, with a device context it gets and releases within the tick; the
//     window's device context is its own (CS_OWNDC), so whatever a tick selects into it must be
//     put back before the tick ends;
//   - frees every GDI object it creates in the tick or at WM_DESTROY: the saver runs for hours;
//   - keeps its state in one process-wide record and reads no files, settings or clock of its own;
//   - must behave the same in a full-screen window and in a preview child as small as 152 x 112,
//     where the window may not contain the effect's fixed coordinates.
// The framework stops passing WM_TIMER once the saver may close, and yields the processor before
// every tick it passes on.
#pragma once
#include <windows.h>

// The private message by which the unlock gate asks the window to verify the password.
#define WM_VERIFY_PASSWORD WM_APP

LRESULT CALLBACK SaverDismissProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
