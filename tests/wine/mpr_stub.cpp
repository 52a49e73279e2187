// Stand-in for the platform's MPR.DLL, for the end-to-end run under Wine only: loaded in place of
// Wine's own through a DLL override, it records the four arguments of each password change call
// in mpr.log in the folder named by SAVER_E2E_LOG.
#include <windows.h>

#include "stub_log.h"

extern "C" __declspec(dllexport) DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND parent,
                                                                DWORD reserved1, DWORD reserved2)
{
    StubLog("mpr.log", "change provider=%s parent=%lu reserved1=%lu reserved2=%lu",
            provider ? provider : "(null)", HandleValue(parent), (unsigned long)reserved1,
            (unsigned long)reserved2);
    return 0;
}
