// What an effect supplies to the framework, and the contract it keeps. Read this first.
//
// A saver is the framework (the modes, the one window, the dismissal rules, the password gate,
// the exception guard) and one effect. An effect supplies three things, in one source file if it
// likes:
//   - its window procedure, bound to the framework once:
//         const WNDPROC SaverEffectProc = MyEffectProc;
//   - BOOL RegisterConfigClasses(HINSTANCE): registers the window classes its configuration
//     dialog needs; returns TRUE to go on to the dialog;
//   - INT_PTR CALLBACK ConfigDialogProc(HWND, UINT, WPARAM, LPARAM): the procedure of dialog
//     CONFIG_DIALOG_ID, shown for "/c". A module without that dialog ends "/c" with -1.
//
// The window procedure is called by the framework's frame procedure with every message the
// framework did not consume. It
//   1. hands every message it receives, handled or not, to SaverDismissProc with the same
//      arguments, and returns SaverDismissProc's result unchanged: the dismissal policy decides
//      when the saver ends and must see every keystroke, click and mouse move;
//   2. never calls DefWindowProcA itself, never posts WM_CLOSE, never destroys the window, and
//      calls PostQuitMessage only from WM_DESTROY; WM_CLOSE only asks (a password may refuse it),
//      so it stops its timer and frees what it keeps at WM_DESTROY, not at WM_CLOSE;
//   3. draws only on WM_TIMER (its own timer, set at WM_CREATE), on its own window, with a device
//      context it gets and releases within the tick (ReleaseDC naming the window GetDC named);
//   4. puts back, before the tick ends, whatever a tick selects into the window's device
//      context: the window's device context is its own (CS_OWNDC) and keeps its selections from
//      one tick to the next;
//   5. frees every GDI object it creates, in the tick or at WM_DESTROY, and keeps as many timers
//      as it started with (SetTimer with the same id replaces a timer, a new id adds one): the
//      saver runs for hours;
//   6. keeps its state in one process-wide record and reads no clock, registry, file or system
//      setting of its own: the same session draws the same picture;
//   7. draws something a window sees, full screen and in a preview child as small as 152 x 112,
//      which may not contain the effect's fixed coordinates.
// The framework stops passing WM_TIMER once the saver may close, and yields the processor before
// every tick it passes on.
//
// This header is also read by resource scripts (RC_INVOKED), for the identifiers of the
// resources the framework asks the module for.
#pragma once

// The dialog of "/c" and the icon of the saver's window class, if the module has them.
#define CONFIG_DIALOG_ID 2003
#define SAVER_ICON_ID 100

#ifndef RC_INVOKED
#include <windows.h>

#include "framework/dismiss.h"

// C linkage: the names an effect supplies are the same whatever compiler builds it.
extern "C" {
extern const WNDPROC SaverEffectProc;
BOOL RegisterConfigClasses(HINSTANCE instance);
INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
}
#endif
