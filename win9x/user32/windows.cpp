// Window classes and windows: RegisterClassA, CreateWindowExA (WM_CREATE
// is sent inside the call; -1 from it fails the creation), ShowWindow,
// EnableWindow, DestroyWindow (WM_DESTROY), FindWindowA (windows of this
// process by class, and the desktop shell's "Progman" while the machine's
// shell runs), SendMessageA, DefWindowProcA.
#include <map>
#include <mutex>

#include "user32/dialogs.h"
#include <windows.h>
#include "user32/ui.h"

namespace win9x::ui {

namespace {

std::mutex g_windowMutex;
std::map<uintptr_t, std::shared_ptr<Window>> g_windows;
uintptr_t g_nextWindow = 0x20000;

struct WindowClass {
    std::string name;
    WNDPROC proc = nullptr;
    ATOM atom = 0;
};
std::vector<WindowClass> g_classes;
ATOM g_nextAtom = 0xC000;

// The desktop shell's window: it belongs to no process of the machine.
HWND ShellWindow()
{
    static int shell;
    return reinterpret_cast<HWND>(&shell);
}

bool SameText(const std::string &a, const char *b)
{
    return lstrcmpiA(a.c_str(), b) == 0;
}

bool FindClass(const char *name, WindowClass *out)
{
    std::lock_guard<std::mutex> guard(g_windowMutex);
    for (const auto &c : g_classes) {
        if (SameText(c.name, name)) {
            *out = c;
            return true;
        }
    }
    return false;
}

}  // namespace

HWND InsertWindow(std::shared_ptr<Window> window)
{
    std::lock_guard<std::mutex> guard(g_windowMutex);
    uintptr_t value = g_nextWindow;
    g_nextWindow += 4;
    window->handle = reinterpret_cast<HWND>(value);
    g_windows[value] = window;
    return window->handle;
}

std::shared_ptr<Window> FindWindow(HWND handle)
{
    std::lock_guard<std::mutex> guard(g_windowMutex);
    auto found = g_windows.find(reinterpret_cast<uintptr_t>(handle));
    return found == g_windows.end() ? nullptr : found->second;
}

bool RemoveWindow(HWND handle)
{
    std::lock_guard<std::mutex> guard(g_windowMutex);
    return g_windows.erase(reinterpret_cast<uintptr_t>(handle)) > 0;
}

std::vector<std::shared_ptr<Window>> TopLevelWindows()
{
    std::lock_guard<std::mutex> guard(g_windowMutex);
    std::vector<std::shared_ptr<Window>> list;
    for (auto &[value, window] : g_windows) {
        if (!window->parent)
            list.push_back(window);
    }
    return list;
}

LRESULT Send(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto window = FindWindow(handle);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (window->proc)
        return window->proc(handle, message, wParam, lParam);
    if (window->dialogProc)
        return window->dialogProc(handle, message, wParam, lParam);
    return ControlMessage(*window, message, wParam, lParam);
}

}  // namespace win9x::ui

using win9x::ui::Window;

extern "C" {

ATOM WINAPI RegisterClassA(const WNDCLASSA *lpWndClass)
{
    if (!lpWndClass || !lpWndClass->lpszClassName || !*lpWndClass->lpszClassName || !lpWndClass->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::mutex> guard(win9x::ui::g_windowMutex);
    for (const auto &c : win9x::ui::g_classes) {
        if (win9x::ui::SameText(c.name, lpWndClass->lpszClassName)) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    win9x::ui::WindowClass entry{lpWndClass->lpszClassName, lpWndClass->lpfnWndProc, win9x::ui::g_nextAtom++};
    win9x::ui::g_classes.push_back(entry);
    return entry.atom;
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam)
{
    win9x::ui::WindowClass windowClass;
    if (!lpClassName || !win9x::ui::FindClass(lpClassName, &windowClass)) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    auto window = std::make_shared<Window>();
    window->className = windowClass.name;
    window->text = lpWindowName ? lpWindowName : "";
    window->style = dwStyle;
    window->exStyle = dwExStyle;
    window->parent = hWndParent;
    window->proc = windowClass.proc;
    window->thread = GetCurrentThreadId();
    window->visible = (dwStyle & WS_VISIBLE) != 0;
    window->rect = RECT{X, Y, X + nWidth, Y + nHeight};
    HWND handle = win9x::ui::InsertWindow(window);
    CREATESTRUCTA create{lpParam, hInstance, hMenu, hWndParent, nHeight, nWidth, Y, X,
                         static_cast<LONG>(dwStyle), lpWindowName, lpClassName, dwExStyle};
    if (window->proc(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    return handle;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow)
{
    auto window = win9x::ui::FindWindow(hWnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    BOOL wasVisible = window->visible;
    window->visible = nCmdShow != SW_HIDE;
    // A control shown or hidden changes what the dialog's front end shows.
    if (window->parent && window->visible != (wasVisible != FALSE))
        win9x::ui::NotifyChanged();
    return wasVisible;
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable)
{
    auto window = win9x::ui::FindWindow(hWnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    BOOL wasDisabled = !window->enabled;
    window->enabled = bEnable != FALSE;
    if (window->parent && window->enabled == (wasDisabled != FALSE))
        win9x::ui::NotifyChanged();
    return wasDisabled;
}

// Visible: shown itself, and every window it lies in shown too.
BOOL WINAPI IsWindowVisible(HWND hWnd)
{
    for (auto window = win9x::ui::FindWindow(hWnd); window; window = win9x::ui::FindWindow(window->parent)) {
        if (!window->visible)
            return FALSE;
        if (!window->parent)
            return TRUE;
    }
    return FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd)
{
    auto window = win9x::ui::FindWindow(hWnd);
    return window && window->enabled;
}

BOOL WINAPI DestroyWindow(HWND hWnd)
{
    auto window = win9x::ui::FindWindow(hWnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // The window hears of it first, then its children go with it.
    win9x::ui::Send(hWnd, WM_DESTROY, 0, 0);
    for (HWND child : window->children)
        DestroyWindow(child);
    win9x::ui::RemoveWindow(hWnd);
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return win9x::ui::Send(hWnd, Msg, wParam, lParam);
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    (void)wParam;
    (void)lParam;
    if (Msg == WM_CLOSE)
        DestroyWindow(hWnd);
    return 0;
}

HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName)
{
    if (lpClassName && lstrcmpiA(lpClassName, "Progman") == 0 && win9x::machine::ShellRunning())
        return win9x::ui::ShellWindow();
    for (const auto &window : win9x::ui::TopLevelWindows()) {
        if (lpClassName && !win9x::ui::SameText(window->className, lpClassName))
            continue;
        if (lpWindowName && window->text != lpWindowName)
            continue;
        return window->handle;
    }
    return nullptr;
}

}  // extern "C"
