/*
 * Start-up of the agent: the argument text, the platform check, the hidden
 * window of class "Ovluci00Class" whose creation runs the action, and the
 * message loop that ends the run. The exit code is 0 in every case.
 */
#include <windows.h>

#include "agent.h"

#define AGENT_CLASS_NAME "Ovluci00Class"

/* Windows 98 (4.10) and Windows Me (4.90) are supported; 95 and NT 4.0 are
 * not. */
BOOL IsPlatformSupported(void)
{
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info; /* 148 bytes */
    if (!GetVersionExA(&info))
        return FALSE;
    return info.dwMajorVersion == 4 && info.dwMinorVersion >= 10;
}

/* Start-up before the window: clears the codes, takes the argument text,
 * checks the platform and parses. FALSE ends the run at once without an
 * action: an empty argument text, or one longer than its 259 characters,
 * which is refused whole rather than cut and acted on. */
BOOL PrepareRun(LPCSTR argumentText)
{
    g_ErrorCode = 0;
    g_AbortFlag = 0;
    if (argumentText == NULL)
        argumentText = "";
    if (!CopyText(g_CmdLineText, sizeof g_CmdLineText, argumentText))
        return FALSE;
    if (g_CmdLineText[0] == '\0')
        return FALSE;
    if (!IsPlatformSupported()) {
        /* The action still runs; the setup program learns of it. */
        g_ErrorCode = ERROR_CALL_NOT_IMPLEMENTED;
        g_DialogCode = DIALOG_PLATFORM;
        g_AbortFlag = 1;
    }
    ParseCommandLine();
    return TRUE;
}

/* Registers the agent window's class: no icon, no brush, no menu. */
BOOL RegisterAgentClass(HINSTANCE instance)
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.style = 0;
    windowClass.lpfnWndProc = AgentWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.lpszClassName = AGENT_CLASS_NAME;
    return RegisterClassA(&windowClass) != 0;
}

/* Creates the agent window; the whole action runs inside this call. */
HWND CreateAgentWindow(HINSTANCE instance)
{
    return CreateWindowExA(0, AGENT_CLASS_NAME, "", 0, 0, 0, 0, 0, NULL, NULL, instance, NULL);
}

/* The agent window runs the action when it is created and ends the message
 * loop when it is destroyed. */
LRESULT CALLBACK AgentWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        DispatchAction();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

/* Pumps messages until the quit message (or a failing GetMessageA) and
 * gives the quit message's value. */
int RunMessageLoop(void)
{
    MSG message;
    ZeroMemory(&message, sizeof message);
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}

/* The agent's entry: one action for one printer, then exit code 0. */
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd)
{
    HWND window;
    (void)hPrevInstance;
    (void)nShowCmd;
    if (!PrepareRun(lpCmdLine))
        return 0;
    if (!RegisterAgentClass(hInstance))
        return 0;
    window = CreateAgentWindow(hInstance);
    if (window == NULL)
        return 0;
    ShowWindow(window, SW_HIDE);
    /* Without the destruction no quit message would ever come. */
    if (!DestroyWindow(window))
        return 0;
    RunMessageLoop();
    return 0; /* the quit message carries 0; the result is never reported */
}
