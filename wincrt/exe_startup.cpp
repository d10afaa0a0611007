// Entry of a Windows program: WinMain with the module handle, the argument
// text of the command line and the window state the starter asked for;
// its result is the exit code.
#include <windows.h>

#include "constructors.h"
#include "wincrt.h"

extern "C" void WinMainCRTStartup(void)
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;

    wincrt::RunConstructors();
    int result = WinMain(GetModuleHandleA(NULL), NULL, wincrt::ArgumentText(GetCommandLineA()), show);
    ExitProcess((UINT)result);
}
