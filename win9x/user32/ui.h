// Windows of this process: top-level windows of registered classes,
// dialogs and their controls. Messages are delivered on the calling thread;
// posted messages wait in the queue of the window's thread.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace win9x::ui {

struct Window {
    HWND handle = nullptr;
    std::string className;  // registered class, "#32770" for dialogs, or a control class
    std::string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    int id = 0;  // control ID within a dialog
    HWND parent = nullptr;
    WNDPROC proc = nullptr;       // windows of registered classes
    DLGPROC dialogProc = nullptr; // dialogs
    DWORD thread = 0;             // the thread that created it
    bool visible = false;
    bool enabled = true;
    RECT rect{};  // dialog units for dialog controls
    // Control state.
    UINT check = BST_UNCHECKED;
    std::vector<std::string> items;  // combo box entries
    int selection = -1;
    bool dropped = false;  // the combo box's list is open
    int bitmap = 0;  // SS_BITMAP statics: the bitmap resource
    std::vector<HWND> children;
    // Dialog state.
    bool ended = false;
    INT_PTR result = 0;
};

HWND InsertWindow(std::shared_ptr<Window> window);
std::shared_ptr<Window> FindWindow(HWND handle);
// Unlinks the window; false when it was not there.
bool RemoveWindow(HWND handle);
std::vector<std::shared_ptr<Window>> TopLevelWindows();

// Sends a message to a window as SendMessageA does.
LRESULT Send(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
// What a control does with a message (buttons, combo boxes, statics);
// controls.cpp.
LRESULT ControlMessage(Window &control, UINT message, WPARAM wParam, LPARAM lParam);

// Checks an auto radio button and clears the others of its group.
void CheckRadioInGroup(Window &clicked);

// Posts to the queue of the given thread.
void PostToThread(DWORD thread, const MSG &message);

// The cursor set last with SetCursor in this process.
HCURSOR CurrentCursor();

}  // namespace win9x::ui
