// Drawing dialogs and message boxes as characters for the front ends.
#include "display/frontend_render.h"

#include <errno.h>

#include <algorithm>
#include <initializer_list>

#include "machine/text.h"

namespace win9x::ui {

using machine::ControlView;
using machine::DialogView;
using machine::MessageBoxView;

const char kScreenLegend[] = "Legend: (*) chosen  [ Next ] button  { Back } greyed  > selected entry";

namespace {

constexpr int kUnitsPerColumn = 3;
constexpr int kUnitsPerRow = 8;
// Bounds on a dialog's size in cells, so that a wild template cannot make
// the screen huge.
constexpr int kMaxColumns = 400;
constexpr int kMaxRows = 200;
// The longest line of message box text before it is wrapped.
constexpr int kBoxTextColumns = 56;

// Rows of a dialog's frame around its client area: the top border, the
// caption bar and the line under it, and the bottom border.
constexpr int kClientTop = 3;
constexpr int kFrameRows = 4;

struct Cells {
    int x = 0, y = 0, width = 1, height = 1;
};

// Texts joined in order. Built by appending: GCC 12 at -O3 takes a chain of
// operator+ that starts with a literal for overlapping copies (-Wrestrict).
std::string Concat(std::initializer_list<std::string_view> parts)
{
    std::string text;
    for (std::string_view part : parts)
        text.append(part);
    return text;
}

// A frame's edge: `inner` fill characters between two corners, "+----+".
std::string Edge(char fill, int inner)
{
    std::string edge(1, '+');
    edge.append(static_cast<size_t>(std::max(inner, 0)), fill);
    edge += '+';
    return edge;
}

int FloorDiv(LONG value, int unit)
{
    return static_cast<int>(std::max<LONG>(value, 0) / unit);
}

int CeilDiv(LONG value, int unit)
{
    return static_cast<int>((std::max<LONG>(value, 0) + unit - 1) / unit);
}

// The cells a rectangle in dialog units covers: every cell it touches.
Cells ToCells(const RECT &rect, int originX, int originY)
{
    Cells c;
    c.x = originX + std::min(FloorDiv(rect.left, kUnitsPerColumn), kMaxColumns);
    c.y = originY + std::min(FloorDiv(rect.top, kUnitsPerRow), kMaxRows);
    c.width = std::clamp(CeilDiv(rect.right, kUnitsPerColumn) - FloorDiv(rect.left, kUnitsPerColumn), 1, kMaxColumns);
    c.height = std::clamp(CeilDiv(rect.bottom, kUnitsPerRow) - FloorDiv(rect.top, kUnitsPerRow), 1, kMaxRows);
    return c;
}

// Size of a dialog's client area in cells.
void ClientSize(const DialogView &dialog, int *columns, int *rows)
{
    LONG width = dialog.rect.right - dialog.rect.left;
    LONG height = dialog.rect.bottom - dialog.rect.top;
    *columns = std::clamp(CeilDiv(width, kUnitsPerColumn), 12, kMaxColumns);
    *rows = std::clamp(CeilDiv(height, kUnitsPerRow), 1, kMaxRows);
}

// Text cut to at most `width` columns.
std::string Cut(std::string_view text, int width)
{
    return std::string(text.substr(0, static_cast<size_t>(std::max(width, 0))));
}

bool IsButtonKind(const ControlView &c, DWORD kind)
{
    return layer::EqualsIgnoreCase(c.className, "Button") && (c.style & 0x0F) == kind;
}

bool IsStatic(const ControlView &c)
{
    return layer::EqualsIgnoreCase(c.className, "Static");
}

// A push button: "[ text ]", or "{ text }" when greyed, centred in its cells.
void DrawPushButton(Screen &s, const ControlView &c, const Cells &at)
{
    Ink ink = c.enabled ? Ink::Normal : Ink::Greyed;
    std::string label = Cut(ShownText(c), at.width - 4);
    label = (c.enabled ? "[ " : "{ ") + label + (c.enabled ? " ]" : " }");
    label = Cut(label, at.width);
    int x = at.x + (at.width - static_cast<int>(label.size())) / 2;
    s.Put(x, at.y + (at.height - 1) / 2, label, ink);
}

// A radio button or check box: its mark, then its text wrapped beside it.
void DrawMarkedButton(Screen &s, const ControlView &c, const Cells &at, bool radio)
{
    Ink ink = c.enabled ? Ink::Normal : Ink::Greyed;
    bool checked = c.check == BST_CHECKED;
    std::string mark = radio ? (checked ? "(*) " : "( ) ") : (checked ? "[x] " : "[ ] ");
    auto lines = WrapText(ShownText(c), std::max(at.width - 4, 1));
    if (lines.empty())
        lines.emplace_back();
    for (int row = 0; row < at.height && row < static_cast<int>(lines.size()); ++row)
        s.Put(at.x, at.y + row, (row == 0 ? mark : std::string(4, ' ')) + lines[static_cast<size_t>(row)], ink);
}

// A group box: a frame with its text in the top edge.
void DrawGroupBox(Screen &s, const ControlView &c, const Cells &at)
{
    Ink ink = c.enabled ? Ink::Normal : Ink::Greyed;
    s.Frame(at.x, at.y, at.width, std::max(at.height, 2), ink);
    std::string text = ShownText(c);
    if (!text.empty())
        s.Put(at.x + 2, at.y, Concat({" ", Cut(text, at.width - 6), " "}), ink);
}

// Static text: its lines wrapped within its cells, aligned as its style says.
void DrawStaticText(Screen &s, const ControlView &c, const Cells &at)
{
    Ink ink = c.enabled ? Ink::Normal : Ink::Greyed;
    const DWORD align = c.style & 0x1F;  // SS_LEFT 0, SS_CENTER 1, SS_RIGHT 2
    auto lines = WrapText(ShownText(c), at.width);
    for (int row = 0; row < at.height && row < static_cast<int>(lines.size()); ++row) {
        const std::string &line = lines[static_cast<size_t>(row)];
        int spare = at.width - static_cast<int>(line.size());
        int x = at.x + (align == 1 ? spare / 2 : align == 2 ? spare : 0);
        s.Put(x, at.y + row, line, ink);
    }
}

// An SS_BITMAP static: a box that says which picture it shows.
void DrawPicture(Screen &s, const ControlView &c, const Cells &at)
{
    std::string label = c.bitmap ? "picture " + std::to_string(c.bitmap) : "picture";
    if (at.height == 1) {
        s.Put(at.x, at.y, Cut("[" + label + "]", at.width));
        return;
    }
    s.Frame(at.x, at.y, at.width, at.height);
    label = Cut(label, at.width - 2);
    int x = at.x + (at.width - static_cast<int>(label.size())) / 2;
    s.Put(x, at.height >= 3 ? at.y + at.height / 2 : at.y, label);
}

// A drop-down list as one line: its selected entry, cut, and the arrow.
void DrawComboLine(Screen &s, const ControlView &c, const Cells &at)
{
    Ink ink = c.enabled ? Ink::Normal : Ink::Greyed;
    std::string shown;
    if (c.selection >= 0 && c.selection < static_cast<int>(c.items.size()))
        shown = c.items[static_cast<size_t>(c.selection)];
    int room = std::max(at.width - 4, 0);
    shown = Cut(shown, room);
    shown.resize(static_cast<size_t>(room), ' ');
    s.Put(at.x, at.y, Cut("[" + shown + " v]", std::max(at.width, 3)), ink);
}

// Where an open list lies: below the list's line, or above it when there
// is more room there, and how many entries it shows.
struct DropPlace {
    bool downward = true;
    int shown = 1;
};

DropPlace PlaceDroppedList(const ControlView &c, const Cells &at, int clientBottom)
{
    const int count = static_cast<int>(c.items.size());
    const int below = clientBottom - (at.y + 1);
    const int above = at.y - kClientTop;
    DropPlace place;
    place.shown = std::clamp(std::max(count, 1), 1, std::max(at.height - 1, 1));
    place.downward = place.shown + 1 <= below || below >= above;
    place.shown = std::max(1, std::min(place.shown, (place.downward ? below : above) - 1));
    return place;
}

// The open list of a drop-down list: its entries numbered from 0, the
// selected one marked, in a box where PlaceDroppedList puts it, scrolled to
// show the entry in focus.
void DrawDroppedList(Screen &s, const ControlView &c, const Cells &at, int clientBottom, int cursor)
{
    const int count = static_cast<int>(c.items.size());
    const auto [downward, shown] = PlaceDroppedList(c, at, clientBottom);
    int focus = cursor >= 0 ? cursor : std::max(c.selection, 0);
    int first = std::clamp(focus - shown + 1, 0, std::max(count - shown, 0));
    int digits = static_cast<int>(std::to_string(std::max(count - 1, 0)).size());
    int top = downward ? at.y + 1 : at.y - shown - 1;
    int rowOfEntries = downward ? top : top + 1;
    std::string edge = Edge('-', at.width - 2);
    if (count > shown) {
        std::string where = Concat({" ", std::to_string(first), "-", std::to_string(first + shown - 1), " of ",
                                    std::to_string(count), " "});
        if (static_cast<int>(where.size()) + 4 <= at.width)
            edge.replace(2, where.size(), where);
    }
    s.Put(at.x, downward ? top + shown : top, Cut(edge, at.width));
    for (int row = 0; row < shown; ++row) {
        int index = first + row;
        std::string line;
        Ink ink = Ink::Normal;
        if (count == 0) {
            line = "(empty)";
        } else {
            std::string number = std::to_string(index);
            line = Concat({index == c.selection ? ">" : " ", std::string(static_cast<size_t>(digits) - number.size(), ' '),
                           number, " ", c.items[static_cast<size_t>(index)]});
            if (index == cursor)
                ink = Ink::Cursor;
        }
        line = Cut(line, std::max(at.width - 2, 0));
        line.resize(static_cast<size_t>(std::max(at.width - 2, 0)), ' ');
        s.Put(at.x, rowOfEntries + row, Cut("|" + line + "|", at.width), ink);
    }
}

void DrawControl(Screen &s, const ControlView &c, const Cells &at)
{
    if (layer::EqualsIgnoreCase(c.className, "Button")) {
        switch (c.style & 0x0F) {
        case BS_GROUPBOX: DrawGroupBox(s, c, at); return;
        case 0x4:  // BS_RADIOBUTTON
        case BS_AUTORADIOBUTTON: DrawMarkedButton(s, c, at, true); return;
        case 0x2:  // BS_CHECKBOX, BS_AUTOCHECKBOX, BS_3STATE, BS_AUTO3STATE
        case 0x3:
        case 0x5:
        case 0x6: DrawMarkedButton(s, c, at, false); return;
        default: DrawPushButton(s, c, at); return;
        }
    }
    if (IsComboBox(c))
        DrawComboLine(s, c, at);
    else if (IsStatic(c) && (c.style & 0x1F) == SS_BITMAP)
        DrawPicture(s, c, at);
    else
        DrawStaticText(s, c, at);
}

// The dialog in its frame, with its caption bar and its visible controls.
void DrawDialog(Screen &s, const DialogView &dialog, const RenderOptions &options)
{
    int columns = 0, rows = 0;
    ClientSize(dialog, &columns, &rows);
    s.Frame(0, 0, columns + 2, rows + kFrameRows);
    s.Fill(1, 1, columns, 1, ' ', Ink::Caption);
    s.Put(2, 1, Cut(dialog.caption, columns - 6), Ink::Caption);
    s.Put(columns - 3, 1, "[X]", Ink::Caption);
    s.Put(0, 2, Edge('=', columns));
    s.Clip(1, kClientTop, columns, rows);
    for (const auto &c : dialog.controls) {
        if (c.visible)
            DrawControl(s, c, ToCells(c.rect, 1, kClientTop));
    }
    // Open lists lie over every other control.
    for (const auto &c : dialog.controls) {
        if (c.visible && c.dropped && IsComboBox(c))
            DrawDroppedList(s, c, ToCells(c.rect, 1, kClientTop), kClientTop + rows, options.listCursor);
    }
    s.Unclip();
}

const char *IconMarker(UINT style)
{
    switch (style & MB_ICONMASK) {
    case MB_ICONERROR: return "(X)";
    case MB_ICONQUESTION: return "(?)";
    case MB_ICONWARNING: return "/!\\";
    case MB_ICONINFORMATION: return "(i)";
    default: return "";
    }
}

// The buttons of a message box, left to right.
std::string BoxButtons(UINT style)
{
    switch (style & 0x0F) {
    case MB_OKCANCEL: return "[ OK ]  [ Cancel ]";
    case 0x2: return "[ Abort ]  [ Retry ]  [ Ignore ]";  // MB_ABORTRETRYIGNORE
    case 0x3: return "[ Yes ]  [ No ]  [ Cancel ]";      // MB_YESNOCANCEL
    case MB_YESNO: return "[ Yes ]  [ No ]";
    case 0x5: return "[ Retry ]  [ Cancel ]";  // MB_RETRYCANCEL
    default: return "[ OK ]";
    }
}

struct BoxLayout {
    std::string icon;
    std::vector<std::string> lines;
    std::string buttons;
    int width = 0, height = 0;
};

// A message box's text wrapped within `textColumns` (less its icon), and the
// box's size: its frame, caption bar, a blank line, the text, a blank line
// and the buttons.
BoxLayout LayOutBox(const MessageBoxView &box, int textColumns)
{
    BoxLayout layout;
    layout.icon = IconMarker(box.style);
    const int iconColumns = layout.icon.empty() ? 0 : static_cast<int>(layout.icon.size()) + 2;
    layout.lines = WrapText(box.text, std::max(textColumns - iconColumns, 8));
    if (layout.lines.empty())
        layout.lines.emplace_back();
    layout.buttons = BoxButtons(box.style);
    int inner = static_cast<int>(std::min<size_t>(box.caption.size(), kBoxTextColumns)) + 5;
    for (const auto &line : layout.lines)
        inner = std::max(inner, iconColumns + static_cast<int>(line.size()));
    inner = std::max({inner, static_cast<int>(layout.buttons.size()), 20}) + 4;
    layout.width = inner + 2;
    layout.height = 7 + static_cast<int>(layout.lines.size());
    return layout;
}

void DrawBox(Screen &s, const MessageBoxView &box, const BoxLayout &layout, int x, int y)
{
    const int inner = layout.width - 2;
    s.Fill(x, y, layout.width, layout.height, ' ');
    s.Frame(x, y, layout.width, layout.height);
    s.Fill(x + 1, y + 1, inner, 1, ' ', Ink::Caption);
    s.Put(x + 2, y + 1, Cut(box.caption, inner - 6), Ink::Caption);
    s.Put(x + inner - 3, y + 1, "[X]", Ink::Caption);
    s.Put(x, y + 2, Edge('=', inner));
    const int iconColumns = layout.icon.empty() ? 0 : static_cast<int>(layout.icon.size()) + 2;
    if (!layout.icon.empty())
        s.Put(x + 3, y + 4, layout.icon);
    for (size_t i = 0; i < layout.lines.size(); ++i)
        s.Put(x + 3 + iconColumns, y + 4 + static_cast<int>(i), layout.lines[i]);
    int buttonsX = x + (layout.width - static_cast<int>(layout.buttons.size())) / 2;
    s.Put(buttonsX, y + layout.height - 2, layout.buttons);
}

}  // namespace

// ---- Screen -----------------------------------------------------------------

Screen::Screen(int width, int height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)),
      cells_(static_cast<size_t>(width_) * static_cast<size_t>(height_), ' '), inks_(cells_.size(), Ink::Normal)
{
    Unclip();
}

bool Screen::Inside(int x, int y) const
{
    return x >= clip_.left && x < clip_.right && y >= clip_.top && y < clip_.bottom;
}

char Screen::CharAt(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return ' ';
    return cells_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
}

Ink Screen::InkAt(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return Ink::Normal;
    return inks_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
}

void Screen::Put(int x, int y, std::string_view text, Ink ink)
{
    for (size_t i = 0; i < text.size(); ++i) {
        int column = x + static_cast<int>(i);
        if (!Inside(column, y))
            continue;
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t at = static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(column);
        cells_[at] = c == '\t' ? ' ' : (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
        inks_[at] = ink;
    }
}

void Screen::Fill(int x, int y, int width, int height, char c, Ink ink)
{
    for (int row = 0; row < height; ++row)
        Put(x, y + row, std::string(static_cast<size_t>(std::max(width, 0)), c), ink);
}

void Screen::Frame(int x, int y, int width, int height, Ink ink)
{
    if (width < 2 || height < 2)
        return;
    std::string edge = Edge('-', width - 2);
    Put(x, y, edge, ink);
    Put(x, y + height - 1, edge, ink);
    for (int row = 1; row < height - 1; ++row) {
        Put(x, y + row, "|", ink);
        Put(x + width - 1, y + row, "|", ink);
    }
}

void Screen::Clip(int x, int y, int width, int height)
{
    clip_ = RECT{std::max(x, 0), std::max(y, 0), std::min(x + width, width_), std::min(y + height, height_)};
}

void Screen::Unclip()
{
    clip_ = RECT{0, 0, width_, height_};
}

std::string Screen::Line(int y) const
{
    if (y < 0 || y >= height_)
        return {};
    std::string line(cells_.begin() + static_cast<long>(y) * width_,
                     cells_.begin() + static_cast<long>(y + 1) * width_);
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

std::string Screen::Text() const
{
    std::string text;
    for (int y = 0; y < height_; ++y)
        text += Line(y) + "\n";
    return text;
}

// ---- Rendering ----------------------------------------------------------------

Screen RenderScreen(const DialogView *dialog, const MessageBoxView *box, const RenderOptions &options)
{
    int width = 0, height = 0;
    if (dialog) {
        ClientSize(*dialog, &width, &height);
        width += 2;
        height += kFrameRows;
    }
    BoxLayout layout;
    if (box) {
        int textColumns = dialog ? std::clamp(width - 10, 16, kBoxTextColumns) : kBoxTextColumns;
        layout = LayOutBox(*box, textColumns);
    }
    Screen screen(std::max(width, layout.width), std::max(height, layout.height));
    if (dialog)
        DrawDialog(screen, *dialog, options);
    if (box) {
        DrawBox(screen, *box, layout, (screen.Width() - layout.width) / 2, (screen.Height() - layout.height) / 2);
    }
    return screen;
}

std::vector<std::string> WrapText(std::string_view text, int width)
{
    const size_t limit = static_cast<size_t>(std::max(width, 1));
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        std::string_view paragraph = text.substr(start, end == std::string_view::npos ? end : end - start);
        std::string line;
        size_t pos = 0;
        while (pos < paragraph.size()) {
            // The next word, spaces (and carriage returns) between words dropped.
            while (pos < paragraph.size() &&
                   (paragraph[pos] == ' ' || paragraph[pos] == '\r' || paragraph[pos] == '\t'))
                ++pos;
            size_t wordEnd = pos;
            while (wordEnd < paragraph.size() && paragraph[wordEnd] != ' ' && paragraph[wordEnd] != '\r' &&
                   paragraph[wordEnd] != '\t')
                ++wordEnd;
            std::string_view word = paragraph.substr(pos, wordEnd - pos);
            pos = wordEnd;
            if (word.empty())
                break;
            if (!line.empty() && line.size() + 1 + word.size() <= limit) {
                line += ' ';
                line += word;
                continue;
            }
            if (!line.empty())
                lines.push_back(std::move(line));
            line.clear();
            // A word longer than a line is cut into pieces of a line each.
            while (word.size() > limit) {
                lines.emplace_back(word.substr(0, limit));
                word.remove_prefix(limit);
            }
            line = word;
        }
        lines.push_back(std::move(line));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return lines;
}

std::string ShownText(const ControlView &control)
{
    constexpr DWORD kNoPrefix = 0x80;  // SS_NOPREFIX
    if (IsStatic(control) && (control.style & kNoPrefix))
        return control.text;
    std::string shown;
    for (size_t i = 0; i < control.text.size(); ++i) {
        if (control.text[i] == '&' && i + 1 < control.text.size())
            ++i;
        shown += control.text[i];
    }
    return shown;
}

int DroppedListRows(const DialogView &dialog, const ControlView &list)
{
    int columns = 0, rows = 0;
    ClientSize(dialog, &columns, &rows);
    return PlaceDroppedList(list, ToCells(list.rect, 1, kClientTop), kClientTop + rows).shown;
}

std::string ProgramName()
{
    std::string name = program_invocation_short_name;
    if (name.size() > 4 && layer::EqualsIgnoreCase(name.substr(name.size() - 4), ".exe"))
        name.resize(name.size() - 4);
    return name;
}

// ---- What the user refers to -----------------------------------------------

bool IsRadioButton(const ControlView &control)
{
    return IsButtonKind(control, BS_AUTORADIOBUTTON);
}

bool IsPushButton(const ControlView &control)
{
    return IsButtonKind(control, BS_PUSHBUTTON) || IsButtonKind(control, BS_DEFPUSHBUTTON);
}

bool IsComboBox(const ControlView &control)
{
    return layer::EqualsIgnoreCase(control.className, "ComboBox");
}

const ControlView *NthOption(const DialogView &view, int n)
{
    int seen = 0;
    for (const auto &c : view.controls) {
        if (IsRadioButton(c) && ++seen == n)
            return &c;
    }
    return nullptr;
}

const ControlView *ButtonLabelled(const DialogView &view, std::string_view word)
{
    const std::string wanted = layer::ToLower(word);
    const ControlView *best = nullptr;
    auto rank = [](const ControlView &c) { return (c.visible ? 2 : 0) + (c.enabled ? 1 : 0); };
    for (const auto &c : view.controls) {
        if (!IsPushButton(c) || layer::ToLower(ShownText(c)).find(wanted) == std::string::npos)
            continue;
        if (!best || rank(c) > rank(*best))
            best = &c;
    }
    return best;
}

const ControlView *VisibleList(const DialogView &view)
{
    for (const auto &c : view.controls) {
        if (IsComboBox(c) && c.visible)
            return &c;
    }
    return nullptr;
}

std::string Unusable(const ControlView &control, const std::string &what)
{
    if (!control.visible)
        return what + " is not on screen";
    if (!control.enabled)
        return what + " is greyed (disabled)";
    return {};
}

int EscapeAnswer(UINT style)
{
    switch (style & 0x0F) {
    case MB_OK: return IDOK;
    case MB_OKCANCEL:
    case 0x3:  // MB_YESNOCANCEL
    case 0x5: return IDCANCEL;  // MB_RETRYCANCEL
    default: return 0;
    }
}

const char *AnswerName(int answer)
{
    switch (answer) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
    default: return "";
    }
}

int DefaultAnswer(UINT style)
{
    switch (style & 0x0F) {
    case 0x2: return IDABORT;  // MB_ABORTRETRYIGNORE
    case 0x3:                 // MB_YESNOCANCEL
    case MB_YESNO: return IDYES;
    case 0x5: return IDRETRY;  // MB_RETRYCANCEL
    default: return IDOK;
    }
}

}  // namespace win9x::ui
