// The stand-ins' DLL entry. They link no C runtime (a saver process may have none to give), so
// the system calls this directly; there is nothing to set up or tear down.
#include <windows.h>

extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
