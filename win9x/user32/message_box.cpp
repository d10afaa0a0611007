// Message boxes: shown by the front end (over the dialog that owns them),
// answered by the user, and remembered for the tests.
#include <mutex>
#include <vector>

#include "machine/input_idle.h"
#include "user32/dialogs.h"
#include <windows.h>

namespace win9x::ui {

namespace {
std::mutex g_boxMutex;
std::vector<machine::MessageBoxView> g_boxes;
}  // namespace

}  // namespace win9x::ui

namespace win9x::machine {

std::vector<MessageBoxView> MessageBoxes()
{
    std::lock_guard<std::mutex> guard(ui::g_boxMutex);
    return ui::g_boxes;
}

void ClearMessageBoxes()
{
    std::lock_guard<std::mutex> guard(ui::g_boxMutex);
    ui::g_boxes.clear();
}

HCURSOR CurrentCursor()
{
    return ui::CurrentCursor();
}

}  // namespace win9x::machine

extern "C" int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    win9x::machine::MessageBoxView box;
    box.owner = hWnd;
    box.text = lpText ? lpText : "";
    // Without a caption of its own, a message box says "Error".
    box.captionGiven = lpCaption != nullptr;
    box.caption = lpCaption ? lpCaption : "Error";
    box.style = uType;
    {
        std::lock_guard<std::mutex> guard(win9x::ui::g_boxMutex);
        win9x::ui::g_boxes.push_back(box);
    }
    HWND over = hWnd ? hWnd : win9x::ui::ActiveDialog();
    auto owner = over ? win9x::ui::FindWindow(over) : nullptr;
    std::optional<win9x::machine::DialogView> view;
    // A dialog still being initialised is not on the screen yet.
    if (owner && owner->className == "#32770" && owner->visible)
        view = win9x::ui::ViewOf(*owner);
    // The box waits for its user: so does the program.
    win9x::layer::SignalInputIdle();
    return win9x::ui::CurrentDriver()->AnswerMessageBox(box, view ? &*view : nullptr);
}
