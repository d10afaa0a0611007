#include "wizard_fit.h"

#include <string.h>

#include <algorithm>

#include "transcript_text.h"
#include "usbcheck.h"

namespace {

INT_PTR CALLBACK CopyProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

std::string TextOf(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

bool IsClass(HWND window, const char *name)
{
    char found[64] = "";
    GetClassNameA(window, found, sizeof found);
    return lstrcmpiA(found, name) == 0;
}

SIZE ClientSize(HWND window)
{
    RECT client = {0, 0, 0, 0};
    GetClientRect(window, &client);
    return SIZE{client.right - client.left, client.bottom - client.top};
}

// What a printer entry shows in its list: the port name. Its padding and the
// device path behind column 128 lie past the right edge on purpose.
std::string ShownPart(const std::string &entry)
{
    std::string shown = entry.substr(0, std::min<size_t>(entry.size(), DEVICE_NAME_COLUMNS));
    shown.erase(shown.find_last_not_of(' ') + 1);
    return shown;
}

// A DC of `window` with `font` in it, given back when it goes.
class FontDc
{
public:
    FontDc(HWND window, HFONT font) : window_(window), dc_(GetDC(window))
    {
        old_ = SelectObject(dc_, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    }
    ~FontDc()
    {
        SelectObject(dc_, old_);
        ReleaseDC(window_, dc_);
    }
    HDC dc() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
    HGDIOBJ old_;
};

HFONT FontOf(HWND control)
{
    return reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
}

}  // namespace

FitCheck::~FitCheck()
{
    if (copy_)
        DestroyWindow(copy_);
    if (module_)
        FreeLibrary(module_);
    if (boxFont_)
        DeleteObject(boxFont_);
    if (result_)
        fclose(result_);
}

bool FitCheck::Open(const char *program, const char *resultPath, std::string *why)
{
    module_ = LoadLibraryExA(program, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module_) {
        *why = std::string("cannot read the resources of ") + program;
        return false;
    }
    copy_ = CreateDialogParamA(module_, MAKEINTRESOURCEA(IDD_WIZARD), nullptr, CopyProc, 0);
    if (!copy_) {
        *why = "cannot make a copy of the wizard's dialog";
        return false;
    }
    NONCLIENTMETRICSA metrics;
    memset(&metrics, 0, sizeof metrics);
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) ||
        !(boxFont_ = CreateFontIndirectA(&metrics.lfMessageFont))) {
        *why = "cannot make the message font";
        return false;
    }
    result_ = fopen(resultPath, "w");
    if (!result_) {
        *why = std::string("cannot write ") + resultPath;
        return false;
    }
    return true;
}

// A check box or radio button keeps the left of its client area for its
// glyph: a box of 12 pixels at 96 dpi and one more, then half a digit's
// width, and its label starts one pixel further in.
int FitCheck::Glyph(HDC dc) const
{
    int digit = 0;
    GetCharWidth32A(dc, '0', '0', &digit);
    return 12 * GetDeviceCaps(dc, LOGPIXELSX) / 96 + 1 + digit / 2 + 1;
}

// A text that wraps: DrawTextA works out the lines at the width left beside
// the glyph, and they must fit that width and the client height.
FitCheck::Need FitCheck::Wrapped(HDC dc, const std::string &text, SIZE client, int glyph, UINT flags) const
{
    RECT needs = {0, 0, client.cx - glyph, 0};
    DrawTextA(dc, text.c_str(), -1, &needs, DT_CALCRECT | DT_WORDBREAK | flags);
    SIZE size = {needs.right + glyph, needs.bottom};
    int margin = size.cx > client.cx ? client.cx - size.cx : client.cy - size.cy;
    return Need{size, client, margin};
}

// A text on one line: its extent and what the control keeps for itself
// (a glyph, a frame, a drop-down button) must fit the client area.
FitCheck::Need FitCheck::SingleLine(HDC dc, const std::string &text, SIZE client, int reserved) const
{
    SIZE extent = {0, 0};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SIZE size = {extent.cx + reserved, extent.cy};
    return Need{size, client, std::min(client.cx - size.cx, client.cy - size.cy)};
}

void FitCheck::Record(const char *kind, const std::string &where, int id, const std::string &text, const Need &need)
{
    fprintf(result_, "%d\t%s\t%s, control %d \"%s\": needs %ldx%ld, has %ldx%ld\n", need.margin, kind, where.c_str(),
            id, Escaped(text).c_str(), need.needs.cx, need.needs.cy, need.has.cx, need.has.cy);
    fflush(result_);
}

void FitCheck::Combo(HWND combo, HWND copy, const std::string &where, EntriesOf entries)
{
    COMBOBOXINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    GetComboBoxInfo(copy, &info);
    SIZE item = {info.rcItem.right - info.rcItem.left, info.rcItem.bottom - info.rcItem.top};
    FontDc dc(copy, FontOf(copy));
    for (const std::string &entry : entries(combo)) {
        std::string shown = ShownPart(entry);
        Record("layout", where, GetDlgCtrlID(combo), shown, SingleLine(dc.dc(), shown, item, 0));
    }
}

void FitCheck::Control(HWND control, HWND copy, const std::string &where, EntriesOf entries)
{
    int id = GetDlgCtrlID(control);
    SIZE client = ClientSize(control);
    SIZE copied = ClientSize(copy);
    if (client.cx != copied.cx || client.cy != copied.cy) {
        Record("layout", where, id, "(the copy of this control has another size)", Need{copied, client, -1});
        return;
    }
    if (IsClass(control, "ComboBox")) {
        Combo(control, copy, where, entries);
        return;
    }
    std::string text = TextOf(control);
    if (text.empty())
        return;
    SetWindowTextA(copy, text.c_str());
    LONG style = GetWindowLongA(control, GWL_STYLE);
    FontDc dc(copy, FontOf(copy));
    if (IsClass(control, "Static")) {
        Record("layout", where, id, text, Wrapped(dc.dc(), text, client, 0, DT_EXPANDTABS));
        return;
    }
    LONG type = style & BS_TYPEMASK;
    bool glyph = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                 type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE;
    int reserved = glyph ? Glyph(dc.dc()) : 2 * GetSystemMetrics(SM_CXEDGE);
    if (style & BS_MULTILINE)
        Record("layout", where, id, text, Wrapped(dc.dc(), text, client, reserved, 0));
    else
        Record("layout", where, id, text, SingleLine(dc.dc(), text, client, reserved));
}

void FitCheck::Dialog(HWND wizard, const std::string &where, EntriesOf entries)
{
    for (HWND control = GetWindow(wizard, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        if (!IsWindowVisible(control))
            continue;
        LONG style = GetWindowLongA(control, GWL_STYLE);
        if (IsClass(control, "Static") && (style & SS_TYPEMASK) == SS_BITMAP)
            continue;
        HWND copy = GetDlgItem(copy_, GetDlgCtrlID(control));
        if (!copy) {
            Record("layout", where, GetDlgCtrlID(control), "(no such control in the template)", Need{{1, 1}, {0, 0}, -1});
            continue;
        }
        Control(control, copy, where, entries);
    }
}

void FitCheck::Box(HWND box, const std::string &where)
{
    HWND desktop = GetDesktopWindow();
    FontDc dc(desktop, boxFont_);
    for (HWND control = GetWindow(box, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        std::string text = TextOf(control);
        if (!IsWindowVisible(control) || text.empty())
            continue;
        SIZE client = ClientSize(control);
        int id = GetDlgCtrlID(control);
        if (IsClass(control, "Static"))
            Record("box-text", where, id, text, Wrapped(dc.dc(), text, client, 0, DT_EXPANDTABS | DT_NOPREFIX));
        else
            Record("layout", where, id, text, SingleLine(dc.dc(), text, client, 2 * GetSystemMetrics(SM_CXEDGE)));
    }
}
