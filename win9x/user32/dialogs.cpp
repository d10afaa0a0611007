// Modal dialogs from the program's resource script: DialogBoxParamA builds
// the dialog and its controls from the template, sends WM_INITDIALOG, then
// lets the front end act until EndDialog; the dialog item functions work on
// the controls through the messages a real dialog's controls answer.
#include "user32/dialogs.h"

#include <mutex>
#include <vector>

#include "machine/api.h"
#include "machine/input_idle.h"
#include "machine/text.h"
#include "user32/rc_script.h"

namespace win9x::ui {

namespace {

std::mutex g_activeMutex;
std::vector<HWND> g_activeDialogs;  // innermost last

bool IsButtonKind(const Window &w, DWORD kind)
{
    return layer::EqualsIgnoreCase(w.className, "Button") && (w.style & 0x0F) == kind;
}

bool IsComboBox(const Window &w)
{
    return layer::EqualsIgnoreCase(w.className, "ComboBox");
}

std::shared_ptr<Window> ChildById(const Window &dialog, int id)
{
    for (HWND child : dialog.children) {
        auto control = FindWindow(child);
        if (control && control->id == id)
            return control;
    }
    return nullptr;
}

// Builds the dialog window and its controls from the template.
HWND CreateDialogWindow(const resources::RcDialog &tmpl, HWND parent, DLGPROC proc)
{
    auto dialog = std::make_shared<Window>();
    dialog->className = "#32770";
    dialog->text = tmpl.caption;
    dialog->style = tmpl.style;
    dialog->exStyle = tmpl.exStyle;
    dialog->parent = parent;
    dialog->dialogProc = proc;
    dialog->thread = GetCurrentThreadId();
    dialog->visible = false;  // shown once WM_INITDIALOG has returned
    dialog->rect = tmpl.rect;
    dialog->id = tmpl.id;
    HWND handle = InsertWindow(dialog);
    for (const auto &c : tmpl.controls) {
        auto control = std::make_shared<Window>();
        control->className = c.className;
        control->text = c.text;
        control->style = c.style;
        control->exStyle = c.exStyle;
        control->id = c.id;
        control->parent = handle;
        control->thread = dialog->thread;
        control->visible = (c.style & WS_VISIBLE) != 0;
        control->enabled = (c.style & WS_DISABLED) == 0;
        control->rect = c.rect;
        if ((c.style & 0x1F) == SS_BITMAP && layer::EqualsIgnoreCase(c.className, "Static"))
            control->bitmap = c.textId;
        dialog->children.push_back(InsertWindow(control));
    }
    return handle;
}

// What the front end does to the dialog that waits.
class ModalActions : public machine::DialogActions {
public:
    explicit ModalActions(HWND dialog) : dialog_(dialog) {}

    machine::DialogView View() const override
    {
        auto w = FindWindow(dialog_);
        return w ? ViewOf(*w) : machine::DialogView{};
    }

    bool Click(int id, std::string *error) override
    {
        auto control = Usable(id, error);
        if (!control)
            return false;
        CloseOpenLists();
        if (!layer::EqualsIgnoreCase(control->className, "Button") || IsButtonKind(*control, BS_GROUPBOX)) {
            *error = "control " + std::to_string(id) + " is not a button";
            return false;
        }
        if (IsButtonKind(*control, BS_AUTORADIOBUTTON))
            CheckRadioInGroup(*control);
        Command(id, BN_CLICKED, control->handle);
        return true;
    }

    bool OpenList(int id, std::string *error) override
    {
        auto control = Usable(id, error);
        if (!control)
            return false;
        if (!IsComboBox(*control)) {
            *error = "control " + std::to_string(id) + " is not a list";
            return false;
        }
        control->dropped = true;
        Command(id, CBN_DROPDOWN, control->handle);
        return true;
    }

    bool Pick(int id, int index, std::string *error) override
    {
        auto control = Usable(id, error);
        if (!control)
            return false;
        if (!IsComboBox(*control)) {
            *error = "control " + std::to_string(id) + " is not a list";
            return false;
        }
        if (index < 0 || index >= static_cast<int>(control->items.size())) {
            *error = "the list has no entry " + std::to_string(index) + " (it has " +
                     std::to_string(control->items.size()) + ")";
            return false;
        }
        control->selection = index;
        control->dropped = false;
        Command(id, CBN_SELCHANGE, control->handle);
        Command(id, CBN_CLOSEUP, control->handle);
        return true;
    }

    // The dialog manager's keys: Escape sends IDCANCEL, Enter IDOK (there
    // is no default push button), each with the control of that ID if any.
    void Close() override
    {
        CloseOpenLists();
        Command(IDCANCEL, 0, ItemHandle(IDCANCEL));
    }

    void Enter() override
    {
        CloseOpenLists();
        Command(IDOK, 0, ItemHandle(IDOK));
    }

private:
    // A click elsewhere closes an open drop-down list, which tells its dialog.
    void CloseOpenLists()
    {
        auto dialog = FindWindow(dialog_);
        if (!dialog)
            return;
        for (HWND child : dialog->children) {
            auto control = FindWindow(child);
            if (control && control->dropped) {
                control->dropped = false;
                Command(control->id, CBN_CLOSEUP, control->handle);
            }
        }
    }

    HWND ItemHandle(int id) const
    {
        auto dialog = FindWindow(dialog_);
        auto control = dialog ? ChildById(*dialog, id) : nullptr;
        return control ? control->handle : nullptr;
    }

    // A control the user can reach: visible and enabled.
    std::shared_ptr<Window> Usable(int id, std::string *error)
    {
        auto dialog = FindWindow(dialog_);
        auto control = dialog ? ChildById(*dialog, id) : nullptr;
        if (!control) {
            *error = "the dialog has no control " + std::to_string(id);
            return nullptr;
        }
        if (!control->visible) {
            *error = "control " + std::to_string(id) + " is hidden";
            return nullptr;
        }
        if (!control->enabled) {
            *error = "control " + std::to_string(id) + " (" + control->text + ") is disabled";
            return nullptr;
        }
        return control;
    }

    void Command(int id, WORD notification, HWND control)
    {
        Send(dialog_, WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(control));
        NotifyChanged();
    }

    HWND dialog_;
};

// Runs the dialog until EndDialog; the front end acts while it waits, and
// the program waits for input while it does.
void RunModalLoop(HWND handle)
{
    auto driver = CurrentDriver();
    ModalActions actions(handle);
    for (;;) {
        auto dialog = FindWindow(handle);
        if (!dialog || dialog->ended)
            return;
        layer::SignalInputIdle();
        if (driver->Act(actions))
            continue;
        actions.Close();
        dialog = FindWindow(handle);
        if (dialog && !dialog->ended) {
            // Nobody is left to answer it: it goes as with Escape.
            dialog->ended = true;
            dialog->result = IDCANCEL;
        }
    }
}

}  // namespace

machine::DialogView ViewOf(const Window &dialog)
{
    machine::DialogView view;
    view.handle = dialog.handle;
    view.templateId = dialog.id;
    view.caption = dialog.text;
    view.style = dialog.style;
    view.rect = dialog.rect;
    for (HWND child : dialog.children) {
        auto c = FindWindow(child);
        if (!c)
            continue;
        machine::ControlView control;
        control.id = c->id;
        control.className = c->className;
        control.text = c->text;
        control.style = c->style;
        control.visible = c->visible;
        control.enabled = c->enabled;
        control.check = c->check;
        control.items = c->items;
        control.selection = c->selection;
        control.dropped = c->dropped;
        control.bitmap = c->bitmap;
        control.rect = c->rect;
        view.controls.push_back(control);
    }
    return view;
}

HWND ActiveDialog()
{
    std::lock_guard<std::mutex> guard(g_activeMutex);
    return g_activeDialogs.empty() ? nullptr : g_activeDialogs.back();
}

void NotifyChanged()
{
    HWND active = ActiveDialog();
    auto dialog = active ? FindWindow(active) : nullptr;
    if (dialog && dialog->visible)
        CurrentDriver()->Changed(ViewOf(*dialog));
}

}  // namespace win9x::ui

namespace win9x::machine {

const ControlView *DialogView::Find(int id) const
{
    for (const auto &control : controls) {
        if (control.id == id)
            return &control;
    }
    return nullptr;
}

}  // namespace win9x::machine

using win9x::ui::FindWindow;
using win9x::ui::Window;

namespace {

std::shared_ptr<Window> DialogItem(HWND dialog, int id)
{
    auto window = FindWindow(dialog);
    auto control = window ? win9x::ui::ChildById(*window, id) : nullptr;
    if (!control)
        SetLastError(window ? ERROR_CONTROL_ID_NOT_FOUND : ERROR_INVALID_WINDOW_HANDLE);
    return control;
}

LRESULT SendToItem(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto control = DialogItem(dialog, id);
    if (!control)
        return 0;
    LRESULT result = win9x::ui::Send(control->handle, message, wParam, lParam);
    win9x::ui::NotifyChanged();
    return result;
}

}  // namespace

extern "C" {

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam)
{
    (void)hInstance;
    if (DWORD injected = win9x::layer::InjectedFailure("DialogBoxParamA")) {
        SetLastError(injected);
        return -1;
    }
    const win9x::resources::RcScript *script = win9x::resources::ProgramResources();
    auto found = script && IS_INTRESOURCE(lpTemplateName)
                     ? script->dialogs.find(static_cast<int>(reinterpret_cast<ULONG_PTR>(lpTemplateName)))
                     : std::map<int, win9x::resources::RcDialog>::const_iterator{};
    if (!script || !IS_INTRESOURCE(lpTemplateName) || found == script->dialogs.end()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    if (!lpDialogFunc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    HWND handle = win9x::ui::CreateDialogWindow(found->second, hWndParent, lpDialogFunc);
    {
        std::lock_guard<std::mutex> guard(win9x::ui::g_activeMutex);
        win9x::ui::g_activeDialogs.push_back(handle);
    }
    auto dialog = FindWindow(handle);
    HWND focus = dialog->children.empty() ? nullptr : dialog->children.front();
    lpDialogFunc(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), dwInitParam);
    // A dialog ended while it was being initialised is never shown.
    dialog->visible = !dialog->ended;
    win9x::ui::NotifyChanged();
    win9x::ui::RunModalLoop(handle);
    INT_PTR result = dialog->result;
    {
        std::lock_guard<std::mutex> guard(win9x::ui::g_activeMutex);
        win9x::ui::g_activeDialogs.pop_back();
    }
    DestroyWindow(handle);
    return result;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult)
{
    auto dialog = FindWindow(hDlg);
    if (!dialog || dialog->className != "#32770") {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    dialog->ended = true;
    dialog->result = nResult;
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem)
{
    auto control = DialogItem(hDlg, nIDDlgItem);
    return control ? control->handle : nullptr;
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString)
{
    if (!DialogItem(hDlg, nIDDlgItem))
        return FALSE;
    return SendToItem(hDlg, nIDDlgItem, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0;
}

UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax)
{
    if (!lpString || cchMax <= 0)
        return 0;
    lpString[0] = '\0';
    if (!DialogItem(hDlg, nIDDlgItem))
        return 0;
    return static_cast<UINT>(
        win9x::ui::Send(GetDlgItem(hDlg, nIDDlgItem), WM_GETTEXT, static_cast<WPARAM>(cchMax),
                        reinterpret_cast<LPARAM>(lpString)));
}

LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return SendToItem(hDlg, nIDDlgItem, Msg, wParam, lParam);
}

BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck)
{
    if (!DialogItem(hDlg, nIDButton))
        return FALSE;
    SendToItem(hDlg, nIDButton, BM_SETCHECK, uCheck, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton)
{
    if (!DialogItem(hDlg, nIDButton))
        return 0;
    return static_cast<UINT>(win9x::ui::Send(GetDlgItem(hDlg, nIDButton), BM_GETCHECK, 0, 0));
}

}  // extern "C"
