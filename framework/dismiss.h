// The dismissal policy: the last link of the saver window's message chain, which every effect
// ends in (framework/saver_effect.h says how).
#pragma once
#include <windows.h>

// The private message by which the unlock gate asks the window to verify the password.
#define WM_VERIFY_PASSWORD WM_APP

// C linkage, like everything an effect sees of the framework.
extern "C" LRESULT CALLBACK SaverDismissProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
