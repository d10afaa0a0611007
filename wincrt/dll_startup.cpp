// Entry of a Windows library: the module's constructors run when a process
// loads it, then its DllMain sees every notification.
#include <windows.h>

#include "constructors.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        wincrt::RunConstructors();
    return DllMain(instance, reason, reserved);
}
