// Message queues, one per thread: PostMessageA, PostQuitMessage,
// GetMessageA (waits for a message; WM_QUIT makes it return FALSE),
// PeekMessageA, TranslateMessage, DispatchMessageA. The first time either
// finds no message waiting, the program waits for input: its starter hears
// of it (WinExec, WaitForInputIdle).
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include <windows.h>
#include "machine/input_idle.h"
#include "user32/ui.h"

namespace win9x::ui {

namespace {
std::mutex g_queueMutex;
std::condition_variable g_queueChanged;
std::map<DWORD, std::deque<MSG>> g_queues;
}  // namespace

void PostToThread(DWORD thread, const MSG &message)
{
    {
        std::lock_guard<std::mutex> guard(g_queueMutex);
        g_queues[thread].push_back(message);
    }
    g_queueChanged.notify_all();
}

}  // namespace win9x::ui

extern "C" {

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    DWORD thread = GetCurrentThreadId();
    if (hWnd) {
        auto window = win9x::ui::FindWindow(hWnd);
        if (!window) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        thread = window->thread;
    }
    win9x::ui::PostToThread(thread, MSG{hWnd, Msg, wParam, lParam, GetTickCount(), POINT{0, 0}});
    return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode)
{
    win9x::ui::PostToThread(GetCurrentThreadId(),
                            MSG{nullptr, WM_QUIT, static_cast<WPARAM>(nExitCode), 0, GetTickCount(), POINT{0, 0}});
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    (void)hWnd;
    (void)wMsgFilterMin;
    (void)wMsgFilterMax;
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    DWORD thread = GetCurrentThreadId();
    std::unique_lock<std::mutex> lock(win9x::ui::g_queueMutex);
    auto &queue = win9x::ui::g_queues[thread];
    if (queue.empty())
        win9x::layer::SignalInputIdle();
    win9x::ui::g_queueChanged.wait(lock, [&] { return !queue.empty(); });
    *lpMsg = queue.front();
    queue.pop_front();
    return lpMsg->message != WM_QUIT;
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg)
{
    (void)hWnd;
    (void)wMsgFilterMin;
    (void)wMsgFilterMax;
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(win9x::ui::g_queueMutex);
    auto &queue = win9x::ui::g_queues[GetCurrentThreadId()];
    if (queue.empty()) {
        win9x::layer::SignalInputIdle();
        return FALSE;
    }
    *lpMsg = queue.front();
    if (wRemoveMsg & PM_REMOVE)
        queue.pop_front();
    return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG *lpMsg)
{
    (void)lpMsg;
    return FALSE;  // no keyboard here: nothing to translate
}

LRESULT WINAPI DispatchMessageA(const MSG *lpMsg)
{
    if (!lpMsg || !lpMsg->hwnd)
        return 0;
    return win9x::ui::Send(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

}  // extern "C"
