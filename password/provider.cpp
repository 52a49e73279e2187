// Binding the system's password module for a full-screen run, the running-saver flag, and the
// change-password operation.
#include "framework/saver_state.h"
#include "password/password.h"

#define DESKTOP_SETTINGS_KEY "Control Panel\\Desktop"
#define USE_PASSWORD_VALUE "ScreenSaveUsePassword"

void SetSaverRunning(UINT flag) {
    if (!SaverState.isWin9xFamily) return;
    BOOL previous;
    SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, flag, &previous, 0);
}

// Read into a zeroed 32-bit number: a shorter value counts as its bytes followed by zeros, and a
// longer one fails the query and so asks for no password.
static BOOL UserWantsPassword(HKEY key) {
    DWORD value = 0;
    DWORD size = sizeof value;
    return RegQueryValueExA(key, USE_PASSWORD_VALUE, NULL, NULL, (LPBYTE)&value, &size) ==
               ERROR_SUCCESS &&
           value != 0;
}

static void LoadVerifier(void) {
    SaverState.passwordModule = LoadLibraryA(PASSWORD_MODULE_NAME);
    if (!SaverState.passwordModule) return;
    SaverState.verifyEntry =
        (VERIFYSCREENSAVEPWD)(void *)GetProcAddress(SaverState.passwordModule, VERIFY_ENTRY_NAME);
    if (SaverState.verifyEntry)
        SetSaverRunning(1);
    else
        ReleasePasswordProvider();
}

void BindPasswordProvider(void) {
    if (!SaverState.isWin9xFamily) return;
    if (SaverState.passwordModule) ReleasePasswordProvider();
    HKEY key;
    if (RegOpenKeyA(HKEY_CURRENT_USER, DESKTOP_SETTINGS_KEY, &key) != ERROR_SUCCESS) return;
    if (UserWantsPassword(key)) LoadVerifier();
    RegCloseKey(key);
}

void ReleasePasswordProvider(void) {
    if (!SaverState.isWin9xFamily || !SaverState.passwordModule) return;
    FreeLibrary(SaverState.passwordModule);
    SaverState.passwordModule = 0;
    if (SaverState.verifyEntry) {
        SaverState.verifyEntry = NULL;
        SetSaverRunning(0);
    }
}

void ChangeSaverPassword(HWND parent) {
    HMODULE module = LoadLibraryA(CHANGER_MODULE_NAME);
    if (!module) return;
    PWDCHANGEPASSWORDA change = (PWDCHANGEPASSWORDA)(void *)GetProcAddress(module, CHANGE_ENTRY_NAME);
    if (change) change(PASSWORD_PROVIDER_NAME, parent, 0, 0);
    FreeLibrary(module);
}
