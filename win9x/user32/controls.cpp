// Controls of dialogs: push and radio buttons, group boxes, statics and
// drop-down list combo boxes, answering the messages programs send them.
#include <cstring>

#include "machine/text.h"
#include "user32/ui.h"

namespace win9x::ui {

namespace {

// WM_GETTEXT: as much of the text as fits, terminated; the count copied.
LRESULT CopyOut(const std::string &text, WPARAM capacity, LPARAM buffer)
{
    char *out = reinterpret_cast<char *>(buffer);
    if (!out || capacity == 0)
        return 0;
    size_t length = std::min(text.size(), static_cast<size_t>(capacity - 1));
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
    return static_cast<LRESULT>(length);
}

// A sorted combo box places a new entry after every entry that does not
// sort after it, comparing without regard to case.
size_t SortedPosition(const std::vector<std::string> &items, const std::string &entry)
{
    size_t pos = 0;
    while (pos < items.size() && lstrcmpiA(items[pos].c_str(), entry.c_str()) <= 0)
        ++pos;
    return pos;
}

LRESULT ComboMessage(Window &combo, UINT message, WPARAM wParam, LPARAM lParam)
{
    const int count = static_cast<int>(combo.items.size());
    const int index = static_cast<int>(wParam);
    switch (message) {
    case CB_RESETCONTENT:
        combo.items.clear();
        combo.selection = -1;
        return 0;
    case CB_ADDSTRING: {
        if (!lParam)
            return CB_ERR;
        std::string entry = reinterpret_cast<const char *>(lParam);
        size_t pos = (combo.style & CBS_SORT) ? SortedPosition(combo.items, entry) : combo.items.size();
        combo.items.insert(combo.items.begin() + static_cast<long>(pos), entry);
        if (combo.selection >= static_cast<int>(pos))
            ++combo.selection;
        return static_cast<LRESULT>(pos);
    }
    case CB_DELETESTRING:
        if (index < 0 || index >= count)
            return CB_ERR;
        combo.items.erase(combo.items.begin() + index);
        if (combo.selection == index)
            combo.selection = -1;
        else if (combo.selection > index)
            --combo.selection;
        return count - 1;
    case CB_SETCURSEL:
        // -1, or any index out of range, clears the selection.
        combo.selection = index >= 0 && index < count ? index : -1;
        return combo.selection >= 0 ? combo.selection : CB_ERR;
    case CB_GETCURSEL:
        return combo.selection >= 0 ? combo.selection : CB_ERR;
    case CB_GETCOUNT:
        return count;
    case CB_GETLBTEXTLEN:
        return index >= 0 && index < count ? static_cast<LRESULT>(combo.items[static_cast<size_t>(index)].size())
                                           : CB_ERR;
    case CB_GETLBTEXT: {
        if (index < 0 || index >= count || !lParam)
            return CB_ERR;
        const std::string &item = combo.items[static_cast<size_t>(index)];
        std::memcpy(reinterpret_cast<char *>(lParam), item.c_str(), item.size() + 1);
        return static_cast<LRESULT>(item.size());
    }
    case CB_SHOWDROPDOWN:
        combo.dropped = wParam != 0;
        return TRUE;
    case WM_GETTEXT:  // a drop-down list's text is its selected entry
        return CopyOut(combo.selection >= 0 ? combo.items[static_cast<size_t>(combo.selection)] : "", wParam, lParam);
    case WM_GETTEXTLENGTH:
        return combo.selection >= 0 ? static_cast<LRESULT>(combo.items[static_cast<size_t>(combo.selection)].size())
                                    : 0;
    default:
        return 0;
    }
}

bool IsAutoRadio(const Window &w)
{
    return layer::EqualsIgnoreCase(w.className, "Button") && (w.style & 0x0F) == BS_AUTORADIOBUTTON;
}

// BM_CLICK: as a click of the mouse, an auto radio button is checked (and
// its group cleared), and the parent hears BN_CLICKED.
void Click(Window &button)
{
    if ((button.style & 0x0F) == BS_GROUPBOX)
        return;
    if (IsAutoRadio(button))
        CheckRadioInGroup(button);
    if (button.parent)
        Send(button.parent, WM_COMMAND, MAKEWPARAM(button.id, BN_CLICKED), reinterpret_cast<LPARAM>(button.handle));
}

LRESULT ButtonMessage(Window &button, UINT message, WPARAM wParam)
{
    switch (message) {
    case BM_GETCHECK:
        return button.check;
    case BM_SETCHECK:
        button.check = static_cast<UINT>(wParam);
        return 0;
    case BM_CLICK:
        Click(button);
        return 0;
    default:
        return 0;
    }
}

}  // namespace

void CheckRadioInGroup(Window &clicked)
{
    auto dialog = FindWindow(clicked.parent);
    if (!dialog)
        return;
    // The group: the run of controls between two that carry WS_GROUP.
    std::vector<std::shared_ptr<Window>> group;
    bool inGroup = false;
    for (HWND child : dialog->children) {
        auto control = FindWindow(child);
        if (!control)
            continue;
        if (control->style & WS_GROUP) {
            if (inGroup)
                break;
            group.clear();
        }
        group.push_back(control);
        if (control.get() == &clicked)
            inGroup = true;
    }
    for (auto &control : group) {
        if (IsAutoRadio(*control))
            control->check = control.get() == &clicked ? BST_CHECKED : BST_UNCHECKED;
    }
}

LRESULT ControlMessage(Window &control, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (layer::EqualsIgnoreCase(control.className, "ComboBox"))
        return ComboMessage(control, message, wParam, lParam);
    switch (message) {
    case WM_SETTEXT:
        control.text = lParam ? reinterpret_cast<const char *>(lParam) : "";
        return TRUE;
    case WM_GETTEXT:
        return CopyOut(control.text, wParam, lParam);
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(control.text.size());
    default:
        break;
    }
    if (layer::EqualsIgnoreCase(control.className, "Button"))
        return ButtonMessage(control, message, wParam);
    return 0;
}

}  // namespace win9x::ui
