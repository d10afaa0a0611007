// The screen of a dialog as characters, shared by the terminal and the
// script front ends: one column per 3 dialog units across, one row per 8
// down, the dialog in a frame under its caption bar, and a message box, when
// one is on screen, framed and centred over it. Also the lookups both front
// ends use to find what the user means (the Nth option, the Next button, the
// list on screen).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "win9x/machine.h"

namespace win9x::ui {

// How a cell is drawn where the terminal can show it: greyed controls dim,
// the caption bar and the entry under the list cursor in reverse.
enum class Ink : uint8_t { Normal, Greyed, Caption, Cursor };

// A grid of printable ASCII characters, each with its ink. Drawing outside
// the grid, or outside the clip rectangle, is dropped.
class Screen {
public:
    Screen(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    char CharAt(int x, int y) const;
    Ink InkAt(int x, int y) const;

    // Writes text from (x, y) to the right; other than printable ASCII shows
    // as '?', so that no program text reaches the terminal as a control code.
    void Put(int x, int y, std::string_view text, Ink ink = Ink::Normal);
    void Fill(int x, int y, int width, int height, char c, Ink ink = Ink::Normal);
    // A frame of '+' corners, '-' across and '|' down.
    void Frame(int x, int y, int width, int height, Ink ink = Ink::Normal);
    // Drawing is kept inside this rectangle (x, y, width, height) until reset.
    void Clip(int x, int y, int width, int height);
    void Unclip();

    // Row y without its trailing blanks.
    std::string Line(int y) const;
    // Every row, each ended by a line feed.
    std::string Text() const;

private:
    bool Inside(int x, int y) const;

    int width_;
    int height_;
    std::vector<char> cells_;
    std::vector<Ink> inks_;
    RECT clip_{};
};

// What the legend under every screen says about the markings.
extern const char kScreenLegend[];

// How a screen is drawn beyond what the views say.
struct RenderOptions {
    int listCursor = -1;  // the entry of the open list under the cursor
};

// Draws the dialog (or nothing) and over it the message box (or nothing).
Screen RenderScreen(const machine::DialogView *dialog, const machine::MessageBoxView *box,
                    const RenderOptions &options = {});

// How many entries the open list shows at once: a page of it.
int DroppedListRows(const machine::DialogView &dialog, const machine::ControlView &list);

// Splits text into lines of at most `width` columns: its own line breaks
// kept, long lines broken between words (a word longer than a line is cut).
std::vector<std::string> WrapText(std::string_view text, int width);

// A control's text as shown: '&' marks the next letter as a shortcut (and
// is not shown), "&&" shows one '&'.
std::string ShownText(const machine::ControlView &control);

// The program's name as the user knows it, for the front ends' one-line
// messages: "usbcheck98" for usbcheck98.exe.
std::string ProgramName();

// ---- What the user refers to -----------------------------------------------

bool IsRadioButton(const machine::ControlView &control);
bool IsPushButton(const machine::ControlView &control);
bool IsComboBox(const machine::ControlView &control);

// The nth radio button (from 1) in template order, or null.
const machine::ControlView *NthOption(const machine::DialogView &view, int n);
// The push button whose text contains `word` (without regard to case), the
// visible one first, or null.
const machine::ControlView *ButtonLabelled(const machine::DialogView &view, std::string_view word);
// The first visible drop-down list, or null.
const machine::ControlView *VisibleList(const machine::DialogView &view);

// Why the user cannot use the control now ("" when it is usable): it is
// hidden or greyed. `what` names it in the reason.
std::string Unusable(const machine::ControlView &control, const std::string &what);

// The button a message box's Enter (or a script's "ok") answers: the first
// of its buttons.
int DefaultAnswer(UINT style);
// The button Escape answers, as in Windows: Cancel when the box has one, OK
// when OK is its only button, else none (0).
int EscapeAnswer(UINT style);
// A message box button's text ("OK" for IDOK).
const char *AnswerName(int answer);

}  // namespace win9x::ui
