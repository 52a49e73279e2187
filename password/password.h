// Password protection on the Windows 95 family: the system's password modules, the provider that
// binds them, and the gate that stands between a close request and the end of the saver.
#pragma once
#include <windows.h>

// ---------------------------------------------------------------------------------------------
// The platform's password modules. Both are found by name at run time and never imported. Every
// entry point found with GetProcAddress uses the platform's calling convention: on i686 a cdecl
// pointer to a stdcall entry would leave the stack unbalanced after each call, so callers use
// only these types.
//
// VerifyScreenSavePwd(window) asks for the password with the saver window as owner and returns
// non-zero when it was accepted. It may run a modal loop that dispatches the saver window's
// messages before it returns.
// PwdChangePasswordA("SCRSAVE", parent, 0, 0) lets the user change the saver's password; its
// result is not used.
// Neither module is used on the NT family.
#define PASSWORD_MODULE_NAME "PASSWORD.CPL"
#define VERIFY_ENTRY_NAME "VerifyScreenSavePwd"
#define CHANGER_MODULE_NAME "MPR.DLL"
#define CHANGE_ENTRY_NAME "PwdChangePasswordA"
#define PASSWORD_PROVIDER_NAME "SCRSAVE"

typedef BOOL (WINAPI *VERIFYSCREENSAVEPWD)(HWND window);
typedef DWORD (WINAPI *PWDCHANGEPASSWORDA)(LPCSTR provider, HWND parent, DWORD reserved1,
                                           DWORD reserved2);

// ---------------------------------------------------------------------------------------------
// The provider: binds PASSWORD.CPL for a full-screen run when the current user asked for a
// password, and keeps the platform's running-saver flag in step with the binding. Every failure
// silently means "no password".
void BindPasswordProvider(void);
void ReleasePasswordProvider(void);
void SetSaverRunning(UINT flag);
void ChangeSaverPassword(HWND parent);

// ---------------------------------------------------------------------------------------------
// The unlock gate. ConfirmUnlock returns non-zero when the saver may close; with a provider bound
// it runs one password check, refused while another runs and for 200 ms after the last one ended.
#define UNLOCK_REPEAT_WINDOW_MS 200
#define NO_CHECK_YET 0xFFFFFFFFu

BOOL ConfirmUnlock(HWND window);
DWORD ElapsedTicks(DWORD from, DWORD to);
