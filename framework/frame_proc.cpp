// The saver window's class procedure: the framework's own work, then the effect.
#include "framework/saver_effect.h"
#include "framework/saver_state.h"
#include "framework/saver_window.h"

#define IME_MODULE_NAME "IMM32.DLL"
#define IME_ASSOCIATE_NAME "ImmAssociateContext"

// The input method is only looked up, never loaded: a saver must not bring it into the process.
static void DetachInputMethod(HWND window) {
    SaverState.imeModule = GetModuleHandleA(IME_MODULE_NAME);
    if (!SaverState.imeModule) return;
    SaverState.imeAssociate =
        (IMMASSOCIATECONTEXT)(void *)GetProcAddress(SaverState.imeModule, IME_ASSOCIATE_NAME);
    if (!SaverState.imeAssociate) return;
    SaverState.savedImeContext = SaverState.imeAssociate(window, NULL);
}

static void RestoreInputMethod(HWND window) {
    if (SaverState.imeModule && SaverState.imeAssociate && SaverState.savedImeContext)
        SaverState.imeAssociate(window, SaverState.savedImeContext);
}

static void HideCursorFullScreen(void) {
    if (!SaverState.isPreview) SetCursor(NULL);
}

// In preview the control panel that owns the parent answers help and context menus.
static LRESULT ForwardToPreviewParent(HWND window, UINT message, LPARAM lParam) {
    HWND parent = GetParent(window);
    if (parent && IsWindow(parent)) PostMessageA(parent, message, (WPARAM)parent, lParam);
    return 1;
}

static BOOL IsSwallowedSystemCommand(WPARAM command) {
    return !SaverState.isPreview &&
           (command == SC_NEXTWINDOW || command == SC_PREVWINDOW || command == SC_SCREENSAVE);
}

LRESULT CALLBACK SaverFrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        DetachInputMethod(window);
        GetCursorPos(&SaverState.cursorAnchor);
        HideCursorFullScreen();
        break;
    case WM_DESTROY:
        RestoreInputMethod(window);
        PostQuitMessage(0);
        break;
    case WM_SETTEXT:
        return 0;
    case WM_PAINT:
        if (SaverState.isClosing) return DefWindowProcA(window, message, wParam, lParam);
        HideCursorFullScreen();
        break;
    case WM_HELP:
    case WM_CONTEXTMENU:
        if (SaverState.isPreview) return ForwardToPreviewParent(window, message, lParam);
        break;
    case WM_SYSCOMMAND:
        if (IsSwallowedSystemCommand(wParam)) return 0;
        break;
    case WM_TIMER:
        if (SaverState.isClosing) return 0;
        Sleep(0);
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (SaverState.isClosing) return DefWindowProcA(window, message, wParam, lParam);
        break;
    }
    return SaverEffectProc(window, message, wParam, lParam);
}
