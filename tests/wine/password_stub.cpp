// Stand-in for the platform's PASSWORD.CPL, for the end-to-end run under Wine only.
//
// VerifyScreenSavePwd shows a modal dialog owned by the saver window, so the saver's own messages
// keep being dispatched while the check runs, exactly as the real module's dialog does. The driver
// finds the dialog by its title and answers it with WM_COMMAND IDOK (accept) or IDCANCEL (refuse).
// Every call is appended to password.log in the folder named by SAVER_E2E_LOG.
//
// Built with STUB_FAULTS defined, the entry point faults instead, to reach the saver's exception
// guard.
#include <windows.h>
#include "stub_log.h"

#ifndef STUB_FAULTS
static INT_PTR CALLBACK VerifyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam) == IDOK ? 1 : 0);
        return TRUE;
    }
    return FALSE;
}

// A dialog template needs WORD-aligned variable parts after the header; no controls, no font.
struct VerifyTemplate {
    DLGTEMPLATE header;
    WORD menu;
    WORD windowClass;
    WCHAR title[sizeof STUB_DIALOG_TITLE];
};
#endif

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND owner)
{
#ifdef STUB_FAULTS
    StubLog("password.log", "verify owner=%lu fault", HandleValue(owner));
    *(volatile int *)nullptr = 0;
    return FALSE;
#else
    StubLog("password.log", "verify owner=%lu begin", HandleValue(owner));
    VerifyTemplate t = {};
    t.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_MODALFRAME;
    t.header.x = 10;
    t.header.y = 10;
    t.header.cx = 160;
    t.header.cy = 40;
    for (size_t i = 0; i < sizeof STUB_DIALOG_TITLE; i++)
        t.title[i] = (WCHAR)STUB_DIALOG_TITLE[i];
    INT_PTR answer = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), &t.header, owner,
                                             VerifyDialogProc, 0);
    StubLog("password.log", "verify owner=%lu result=%ld", HandleValue(owner), (long)answer);
    return answer == 1;
#endif
}
