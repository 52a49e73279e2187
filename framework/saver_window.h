// The saver's one window: class, geometry, single-instance rule, message loop, frame procedure.
#pragma once
#include <windows.h>

#define SAVER_WINDOW_CLASS "WindowsScreenSaverClass"
#define FULL_SCREEN_TITLE "Screen Saver"
#define PREVIEW_TITLE "Preview"
#define AUTOPLAY_QUERY_MESSAGE "QueryCancelAutoPlay"

// Exit code when the class cannot be registered or the window cannot be created.
#define NO_WINDOW_EXIT_CODE (-1)

// Runs full screen when parent is 0, else as a preview child of parent. Returns the exit code.
LONG RunSaverWindow(HWND parent);
LRESULT CALLBACK SaverFrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
