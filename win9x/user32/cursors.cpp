// The system cursors a program asks for and the one it sets.
#include <atomic>

#include <windows.h>
#include "user32/ui.h"

namespace win9x::ui {

namespace {
std::atomic<HCURSOR> g_cursor{nullptr};
}

HCURSOR CurrentCursor()
{
    return g_cursor.load();
}

}  // namespace win9x::ui

extern "C" {

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName)
{
    // The system cursors (no instance) stand for themselves: their handle
    // is their number, as good as any for a program that only sets them.
    if (hInstance || !IS_INTRESOURCE(lpCursorName)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HCURSOR>(const_cast<LPSTR>(lpCursorName));
}

HCURSOR WINAPI SetCursor(HCURSOR hCursor)
{
    return win9x::ui::g_cursor.exchange(hCursor);
}

}  // extern "C"
