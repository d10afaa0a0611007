// Message queues, one per thread: PostMessageA, PostQuitMessage,
// GetMessageA (waits for a message; WM_QUIT makes it return FALSE),
// PeekMessageA, TranslateMessage, DispatchMessageA, and timers (SetTimer,
// KillTimer), whose WM_TIMER a thread finds when it looks for a message
// after the timer is due and nothing else waits. The first time GetMessageA
// or PeekMessageA finds no message waiting, the program waits for input:
// its starter hears of it (WinExec, WaitForInputIdle).
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include <windows.h>
#include "machine/input_idle.h"
#include "user32/ui.h"

namespace win9x::ui {

namespace {
std::mutex g_queueMutex;
std::condition_variable g_queueChanged;
std::map<DWORD, std::deque<MSG>> g_queues;

using Clock = std::chrono::steady_clock;

struct Timer {
    DWORD thread = 0;
    HWND window = nullptr;
    UINT_PTR id = 0;
    TIMERPROC proc = nullptr;
    std::chrono::milliseconds interval{0};
    Clock::time_point due;
};
std::vector<Timer> g_timers;  // under g_queueMutex
UINT_PTR g_nextTimerId = 1;

// The thread's timer that is due soonest, or null.
Timer *NextTimer(DWORD thread)
{
    Timer *next = nullptr;
    for (auto &timer : g_timers) {
        if (timer.thread == thread && (!next || timer.due < next->due))
            next = &timer;
    }
    return next;
}

// Takes the thread's next message: a posted one, else a timer that is due
// (which is then due again one interval on). False when there is none.
bool TakeMessage(DWORD thread, MSG *message, bool remove)
{
    auto &queue = g_queues[thread];
    if (!queue.empty()) {
        *message = queue.front();
        if (remove)
            queue.pop_front();
        return true;
    }
    Timer *timer = NextTimer(thread);
    if (!timer || timer->due > Clock::now())
        return false;
    *message = MSG{timer->window, WM_TIMER, timer->id, reinterpret_cast<LPARAM>(timer->proc), GetTickCount(),
                   POINT{0, 0}};
    if (remove)
        timer->due = Clock::now() + timer->interval;
    return true;
}
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
    while (!win9x::ui::TakeMessage(thread, lpMsg, true)) {
        win9x::layer::SignalInputIdle();
        if (auto *timer = win9x::ui::NextTimer(thread))
            win9x::ui::g_queueChanged.wait_until(lock, timer->due);
        else
            win9x::ui::g_queueChanged.wait(lock);
    }
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
    if (win9x::ui::TakeMessage(GetCurrentThreadId(), lpMsg, (wRemoveMsg & PM_REMOVE) != 0))
        return TRUE;
    win9x::layer::SignalInputIdle();
    return FALSE;
}

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc)
{
    DWORD thread = GetCurrentThreadId();
    if (hWnd) {
        auto window = win9x::ui::FindWindow(hWnd);
        if (!window) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        thread = window->thread;
    }
    std::lock_guard<std::mutex> lock(win9x::ui::g_queueMutex);
    // A window's timer is known by its ID; a thread's gets a new one.
    UINT_PTR id = hWnd ? nIDEvent : win9x::ui::g_nextTimerId++;
    std::erase_if(win9x::ui::g_timers,
                  [&](const win9x::ui::Timer &t) { return hWnd && t.window == hWnd && t.id == id; });
    auto interval = std::chrono::milliseconds(uElapse ? uElapse : 1);
    win9x::ui::g_timers.push_back(
        win9x::ui::Timer{thread, hWnd, id, lpTimerFunc, interval, win9x::ui::Clock::now() + interval});
    win9x::ui::g_queueChanged.notify_all();
    return id;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent)
{
    std::lock_guard<std::mutex> lock(win9x::ui::g_queueMutex);
    DWORD thread = GetCurrentThreadId();
    size_t removed = std::erase_if(win9x::ui::g_timers, [&](const win9x::ui::Timer &t) {
        return t.window == hWnd && t.id == uIDEvent && (hWnd || t.thread == thread);
    });
    return removed > 0;
}

BOOL WINAPI TranslateMessage(const MSG *lpMsg)
{
    (void)lpMsg;
    return FALSE;  // no keyboard here: nothing to translate
}

LRESULT WINAPI DispatchMessageA(const MSG *lpMsg)
{
    if (lpMsg && lpMsg->message == WM_TIMER && lpMsg->lParam) {
        reinterpret_cast<TIMERPROC>(lpMsg->lParam)(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, GetTickCount());
        return 0;
    }
    if (!lpMsg || !lpMsg->hwnd)
        return 0;
    return win9x::ui::Send(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

}  // extern "C"
