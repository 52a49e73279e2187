// The saver window: its class, its place, the single full-screen instance, and the message loop.
#include "framework/saver_effect.h"
#include "framework/saver_state.h"
#include "framework/saver_window.h"
#include "password/password.h"

#define SAVER_CLASS_STYLE (CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC)
#define FULL_SCREEN_STYLE (WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN)
#define FULL_SCREEN_EX_STYLE WS_EX_TOPMOST
#define PREVIEW_STYLE (WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN)
#define PREVIEW_EX_STYLE 0

struct SAVERPLACE {
    int x, y, width, height;
    DWORD style, exStyle;
    LPCSTR title;
};

static void FillSaverClass(WNDCLASSA *windowClass) {
    *windowClass = {};
    windowClass->style = SAVER_CLASS_STYLE;
    windowClass->lpfnWndProc = SaverFrameProc;
    windowClass->hInstance = SaverState.instance;
    windowClass->hIcon = LoadIconA(SaverState.instance, MAKEINTRESOURCEA(SAVER_ICON_ID));
    windowClass->hCursor = NULL;
    windowClass->hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    windowClass->lpszClassName = SAVER_WINDOW_CLASS;
}

static SAVERPLACE FullScreenPlace(void) {
    RECT screen = {};
    HDC dc = GetDC(NULL);
    GetClipBox(dc, &screen);
    ReleaseDC(NULL, dc);
    return {screen.left, screen.top, screen.right - screen.left, screen.bottom - screen.top,
            FULL_SCREEN_STYLE, FULL_SCREEN_EX_STYLE, FULL_SCREEN_TITLE};
}

static SAVERPLACE PreviewPlace(HWND parent) {
    RECT client = {};
    GetClientRect(parent, &client);
    return {0, 0, client.right, client.bottom, PREVIEW_STYLE, PREVIEW_EX_STYLE, PREVIEW_TITLE};
}

// A preview is titled differently, so a running preview never stops a full-screen start.
static BOOL BringRunningSaverToFront(void) {
    HWND running = FindWindowA(SAVER_WINDOW_CLASS, FULL_SCREEN_TITLE);
    if (!running || !IsWindow(running)) return FALSE;
    SetForegroundWindow(running);
    return TRUE;
}

// A failed retrieval dispatches nothing: its record holds no message. The loop goes on rather
// than ending, since ending would end a password-protected saver without a check.
static LONG RunMessageLoop(void) {
    MSG msg = {};
    BOOL got;
    while ((got = GetMessageA(&msg, NULL, 0, 0)) != 0) {
        if (got == -1) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (LONG)msg.wParam;
}

LONG RunSaverWindow(HWND parent) {
    WNDCLASSA windowClass;
    FillSaverClass(&windowClass);
    SAVERPLACE place;
    if (parent) {
        place = PreviewPlace(parent);
        SaverState.isPreview = TRUE;
    } else {
        place = FullScreenPlace();
        if (BringRunningSaverToFront()) return 0;
        BindPasswordProvider();
    }
    SaverState.autoPlayMessage =
        SaverState.isWin9xFamily ? RegisterWindowMessageA(AUTOPLAY_QUERY_MESSAGE) : 0;

    // The effect finds its settings in its record from WM_CREATE on.
    if (SaverEffectSettings.load) SaverEffectSettings.load(&SaverEffectSettings);

    SaverState.startTick = GetTickCount();
    if (RegisterClassA(&windowClass))
        SaverState.mainWindow = CreateWindowExA(place.exStyle, SAVER_WINDOW_CLASS, place.title,
                                                place.style, place.x, place.y, place.width,
                                                place.height, parent, NULL, SaverState.instance, NULL);
    LONG exitCode = NO_WINDOW_EXIT_CODE;
    if (SaverState.mainWindow) {
        if (!parent) SetForegroundWindow(SaverState.mainWindow);
        exitCode = RunMessageLoop();
    }
    ReleasePasswordProvider();
    return exitCode;
}
