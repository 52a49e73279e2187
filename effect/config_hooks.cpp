// The configure mode's hooks. The line effect has no settings: nothing to register, nothing to
// handle. The module ships no dialog template, so the dialog never appears.
#include "effect/effect.h"

BOOL RegisterConfigClasses(HINSTANCE) { return TRUE; }

INT_PTR CALLBACK ConfigDialogProc(HWND, UINT, WPARAM, LPARAM) { return TRUE; }
