// Carrying out the chosen mode, and the top of the program.
#include "framework/saver_effect.h"
#include "framework/saver_state.h"
#include "framework/saver_window.h"
#include "password/password.h"
#include "startup/exception_guard.h"
#include "startup/modes.h"

static HWND ResolveParent(const ModeRequest &request) {
    HWND parent = WindowFromHandleValue(request.parent);
    switch (request.parentRule) {
    case ParentRule::NoParent:
        return 0;
    case ParentRule::Foreground:
        if (!request.parent || !IsWindow(parent)) parent = GetForegroundWindow();
        return parent;
    case ParentRule::Refuse:
        break;
    }
    return parent;
}

static LONG RunPreview(const ModeRequest &request) {
    HWND parent = WindowFromHandleValue(request.parent);
    if (!request.parent || !IsWindow(parent)) return INVALID_MODE_EXIT_CODE;
    return RunSaverWindow(parent);
}

LONG RunMode(const ModeRequest &request) {
    switch (request.kind) {
    case ModeKind::Configure:
        return ShowConfigDialog(ResolveParent(request));
    case ModeKind::ChangePassword:
        ChangeSaverPassword(ResolveParent(request));
        return CHANGE_PASSWORD_EXIT_CODE;
    case ModeKind::Preview:
        return RunPreview(request);
    case ModeKind::FullScreen:
        return RunSaverWindow(0);
    case ModeKind::Invalid:
        break;
    }
    return INVALID_MODE_EXIT_CODE;
}

LONG ShowConfigDialog(HWND parent) {
    if (!RegisterConfigClasses(SaverState.instance)) return 0;
    if (SaverEffectSettings.configure)
        return (LONG)SaverEffectSettings.configure(&SaverEffectSettings, parent);
    return (LONG)DialogBoxParamA(SaverState.instance, MAKEINTRESOURCEA(CONFIG_DIALOG_ID), parent,
                                 ConfigDialogProc, 0);
}

static LONG SelectAndRunMode(void *tail) {
    return RunMode(SelectMode((LPCSTR)tail, SaverState.isWin9xFamily));
}

static LONG GuardFilter(EXCEPTION_POINTERS *info) { return UnhandledExceptionFilter(info); }

void SaverMain(void) {
    LPCSTR tail = ExtractCommandTail(GetCommandLineA());
    SaverState.instance = GetModuleHandleA(NULL);
    SaverState.isWin9xFamily = DetectPlatformFamily();
    LONG code;
    if (!RunGuarded(SelectAndRunMode, (void *)tail, GuardFilter, &code)) {
        // The password module stays loaded: code of it may be what faulted.
        SetSaverRunning(0);
        code = FAULT_EXIT_CODE;
    }
    ExitProcess((UINT)code);
}
