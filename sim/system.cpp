// Simulated modules, registry, system parameters, and files (there are none).
#include "sim/machine.h"

#include <algorithm>
#include <cstring>

namespace sim {

static const ULONG_PTR PROGRAM_MODULE = 0x400000;
static const ULONG_PTR FIRST_MODULE = 0x10000000;
static const ULONG_PTR MODULE_STRIDE = 0x10000;

void InstallProgramModule() {}

HINSTANCE ProgramInstance() { return (HINSTANCE)PROGRAM_MODULE; }

static Module *FindModule(HMODULE handle) {
    ULONG_PTR value = (ULONG_PTR)handle;
    if (value < FIRST_MODULE || (value - FIRST_MODULE) % MODULE_STRIDE) return nullptr;
    size_t index = (value - FIRST_MODULE) / MODULE_STRIDE;
    return index < M.modules.size() ? &M.modules[index] : nullptr;
}

// A name without an extension is a DLL's, as the platform takes it ("KERNEL32" is KERNEL32.DLL).
static Module *FindModuleNamed(const char *name) {
    std::string wanted = Lower(name);
    if (wanted.find('.') == std::string::npos) wanted += ".dll";
    for (Module &module : M.modules)
        if (module.name == wanted) return &module;
    return nullptr;
}

HMODULE InstallModule(const char *name, const std::vector<Export> &exports, bool alreadyLoaded) {
    HMODULE handle = (HMODULE)(FIRST_MODULE + MODULE_STRIDE * M.modules.size());
    M.modules.push_back({Lower(name), handle, exports, alreadyLoaded ? 1 : 0});
    return handle;
}

HMODULE InstallModule(const char *name, std::initializer_list<Export> exports, bool alreadyLoaded) {
    return InstallModule(name, std::vector<Export>(exports), alreadyLoaded);
}

int ModuleReferences(const char *name) {
    Module *module = FindModuleNamed(name);
    return module ? module->references : 0;
}

int LoadedModules() {
    int loaded = 0;
    for (const Module &module : M.modules) loaded += module.references > 0;
    return loaded;
}

// Keys are stored by their full path, "root\\sub\\key", lower-cased as the registry compares
// names without regard to case.
static std::string RootName(HKEY root) {
    char buffer[32];
    snprintf(buffer, sizeof buffer, "%lx", (unsigned long)(ULONG_PTR)root);
    return buffer;
}

static std::string KeyPath(HKEY root, const char *key) { return RootName(root) + "\\" + Lower(key); }

void CreateRegistryKey(HKEY root, const char *key) { M.registry[KeyPath(root, key)]; }

void SetRegistryValue(HKEY root, const char *key, const char *name, DWORD type, const void *data,
                      DWORD size) {
    const BYTE *bytes = (const BYTE *)data;
    M.registry[KeyPath(root, key)].values[Lower(name)] = {type, std::vector<BYTE>(bytes, bytes + size)};
}

void SetRegistryDword(HKEY root, const char *key, const char *name, DWORD value) {
    SetRegistryValue(root, key, name, REG_DWORD, &value, sizeof value);
}

int OpenRegistryKeys() { return (int)M.openKeys.size(); }

StoredRegistryValue RegistryValueOf(HKEY root, const char *key, const char *name) {
    auto found = M.registry.find(KeyPath(root, key));
    if (found == M.registry.end()) return {false, 0, {}};
    auto value = found->second.values.find(Lower(name));
    if (value == found->second.values.end()) return {false, 0, {}};
    return {true, value->second.type, value->second.data};
}

bool RegistryKeyExists(HKEY root, const char *key) { return M.registry.count(KeyPath(root, key)) > 0; }


bool ScreenSaverRunning() { return M.screenSaverRunning != FALSE; }

}  // namespace sim

using namespace sim;

// ---------------------------------------------------------------------------------------------
// Modules

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    if (Enter("GetModuleHandleA", {name})) return 0;
    if (!name) return (HMODULE)PROGRAM_MODULE;
    Module *module = FindModuleNamed(name);
    return module && module->references > 0 ? module->handle : 0;
}

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
    if (Enter("LoadLibraryA", {name})) return 0;
    Module *module = FindModuleNamed(name);
    if (!module) return 0;
    module->references++;
    return module->handle;
}

FARPROC WINAPI GetProcAddress(HMODULE handle, LPCSTR name) {
    if (Enter("GetProcAddress", {handle, name})) return nullptr;
    Module *module = FindModule(handle);
    if (!module || module->references == 0) return nullptr;
    for (const Export &entry : module->exports)
        if (strcmp(entry.name, name) == 0) return entry.address;
    return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE handle) {
    if (Enter("FreeLibrary", {handle})) return FALSE;
    Module *module = FindModule(handle);
    if (!module || module->references == 0) return FALSE;
    module->references--;
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Registry

static std::string *OpenKeyPath(HKEY key) {
    auto found = M.openKeys.find((ULONG_PTR)key);
    return found == M.openKeys.end() ? nullptr : &found->second;
}

static LSTATUS OpenKey(HKEY root, LPCSTR subKey, PHKEY result) {
    std::string base = OpenKeyPath(root) ? *OpenKeyPath(root) : RootName(root);
    std::string path = subKey && *subKey ? base + "\\" + Lower(subKey) : base;
    if (!M.registry.count(path)) return ERROR_FILE_NOT_FOUND;
    HKEY key = (HKEY)M.nextKey;
    M.nextKey += 4;
    M.openKeys[(ULONG_PTR)key] = path;
    *result = key;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegOpenKeyA(HKEY root, LPCSTR subKey, PHKEY result) {
    if (Enter("RegOpenKeyA", {root, subKey})) return ERROR_ACCESS_DENIED;
    return OpenKey(root, subKey, result);
}

// Every key may be opened for any access.
LSTATUS WINAPI RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    if (Enter("RegOpenKeyExA", {root, subKey, options, access})) return ERROR_ACCESS_DENIED;
    return OpenKey(root, subKey, result);
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD size) {
    if (Enter("RegQueryValueExA", {key, name, reserved, type, data, size ? *size : 0ul}))
        return ERROR_ACCESS_DENIED;
    std::string *path = OpenKeyPath(key);
    if (!path) return ERROR_INVALID_HANDLE;
    RegistryKey &record = M.registry[*path];
    auto found = record.values.find(Lower(name ? name : ""));
    if (found == record.values.end()) return ERROR_FILE_NOT_FOUND;
    const RegistryValue &value = found->second;
    DWORD length = (DWORD)value.data.size();
    if (type) *type = value.type;
    if (data) {
        if (!size) return ERROR_INVALID_PARAMETER;
        if (*size < length) {
            *size = length;
            return ERROR_MORE_DATA;
        }
        if (length) memcpy(data, value.data.data(), length);
    }
    if (size) *size = length;
    return ERROR_SUCCESS;
}

// Every key may be created, under any other.
LSTATUS WINAPI RegCreateKeyExA(HKEY root, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                               REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                               LPDWORD disposition) {
    if (Enter("RegCreateKeyExA", {root, subKey, reserved, className, options, access,
                                  (const void *)security}))
        return ERROR_ACCESS_DENIED;
    std::string base = OpenKeyPath(root) ? *OpenKeyPath(root) : RootName(root);
    std::string path = subKey && *subKey ? base + "\\" + Lower(subKey) : base;
    bool existed = M.registry.count(path) > 0;
    M.registry[path];
    if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    return OpenKey(root, subKey, result);
}

LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data,
                              DWORD size) {
    if (Enter("RegSetValueExA", {key, name, reserved, type, (const void *)data, size}))
        return ERROR_ACCESS_DENIED;
    std::string *path = OpenKeyPath(key);
    if (!path) return ERROR_INVALID_HANDLE;
    M.registry[*path].values[Lower(name ? name : "")] = {type, std::vector<BYTE>(data, data + size)};
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    if (Enter("RegCloseKey", {key})) return ERROR_INVALID_HANDLE;
    return M.openKeys.erase((ULONG_PTR)key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// ---------------------------------------------------------------------------------------------
// System parameters, icons, dialogs and strings. The program's module carries none of them.

BOOL WINAPI SystemParametersInfoA(UINT action, UINT uiParam, PVOID pvParam, UINT winIni) {
    if (Enter("SystemParametersInfoA", {action, uiParam, pvParam, winIni})) return FALSE;
    if (action == SPI_SETSCREENSAVERRUNNING) {
        if (pvParam) *(BOOL *)pvParam = M.screenSaverRunning;
        M.screenSaverRunning = uiParam != 0;
    }
    return TRUE;
}

INT WINAPI GetSystemMetrics(INT index) {
    if (Enter("GetSystemMetrics", {index})) return 0;
    if (index == SM_CXSCREEN) return M.primary.cx;
    if (index == SM_CYSCREEN) return M.primary.cy;
    // The virtual screen is Windows 98's and 2000's: the 95 family here is 4.0, and says 0.
    if (M.family == Family::Win9x) return 0;
    if (index == SM_XVIRTUALSCREEN) return M.screen.left;
    if (index == SM_YVIRTUALSCREEN) return M.screen.top;
    if (index == SM_CXVIRTUALSCREEN) return M.screen.right - M.screen.left;
    if (index == SM_CYVIRTUALSCREEN) return M.screen.bottom - M.screen.top;
    return 0;
}

static Arg ResourceName(LPCSTR name) {
    return IS_INTRESOURCE(name) ? Arg((ULONG_PTR)name) : Arg(name);
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (Enter("LoadIconA", {instance, ResourceName(name)})) return 0;
    if (!instance && IS_INTRESOURCE(name)) return (HICON)(0x70000 + (ULONG_PTR)name);
    return 0;
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param) {
    if (Enter("DialogBoxParamA", {instance, ResourceName(name), owner, (const void *)proc, param}))
        return -1;
    return -1;
}

// The program's module has no string table: every string is missing.
INT WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, INT size) {
    if (Enter("LoadStringA", {instance, id, size})) return 0;
    if (buffer && size > 0) buffer[0] = 0;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Files. The machine has none: every open fails, and every profile value is its default.

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD sharing, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD attributes, HANDLE model) {
    Enter("CreateFileA",
          {name, access, sharing, (const void *)security, disposition, attributes, model});
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
    Enter("ReadFile", {file, buffer, size, (const void *)read, (const void *)overlapped});
    if (read) *read = 0;
    return FALSE;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    Enter("CloseHandle", {handle});
    return FALSE;
}

UINT WINAPI GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT fallback, LPCSTR file) {
    Enter("GetPrivateProfileIntA", {section, key, fallback, file});
    return (UINT)fallback;
}

INT WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR buffer,
                                    UINT size, LPCSTR file) {
    Enter("GetPrivateProfileStringA", {section, key, fallback, (const void *)buffer, size, file});
    if (!buffer || size == 0) return 0;
    size_t length = fallback ? std::min(strlen(fallback), (size_t)size - 1) : 0;
    if (length) memcpy(buffer, fallback, length);
    buffer[length] = 0;
    return (INT)length;
}

UINT WINAPI GetProfileIntA(LPCSTR section, LPCSTR key, INT fallback) {
    Enter("GetProfileIntA", {section, key, fallback});
    return (UINT)fallback;
}
