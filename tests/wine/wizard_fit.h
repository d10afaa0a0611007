// Whether every text the wizard shows fits its control, measured as the
// controls draw them.
//
// A font belongs to the process that made it, so the wizard's own fonts
// cannot be selected into a DC here. The check therefore makes, hidden in
// this process, the same dialog from usbcheck98.exe's own template: the
// same controls, with the fonts the dialog manager gives them from the
// template. At each step every visible control of the wizard that has a
// text lends that text to its copy, and the copy's font (WM_GETFONT, in the
// copy's DC) measures it against the client area the wizard's control has.
// A message box's controls are measured with the message font, the one a
// message box takes.
//
// The margin of a wrapped text is the height left below its last line (or,
// when one word is wider than the control, how far it sticks out); that of
// a one-line text is the smaller of the width and the height left.
//
// One line a text goes to the result file, tab-separated:
//   <margin in pixels> <kind> <where>, control <ID> "<text>": needs WxH, has WxH
// kind is "layout" for a size the resource script or a message box's
// buttons set, "box-text" for a message box's text, which the box sizes to
// fit the text itself. A negative margin is a text that does not fit.
#ifndef TESTS_WINE_WIZARD_FIT_H
#define TESTS_WINE_WIZARD_FIT_H

#include <windows.h>
#include <stdio.h>

#include <string>
#include <vector>

class FitCheck
{
public:
    using EntriesOf = std::vector<std::string> (*)(HWND combo);

    ~FitCheck();

    // Makes the copy of the wizard's dialog from `program` and opens
    // `resultPath`; false, with the reason in `why`, when either fails.
    bool Open(const char *program, const char *resultPath, std::string *why);

    // Measures the texts of the wizard's visible controls; `entries` reads
    // a list's entries.
    void Dialog(HWND wizard, const std::string &where, EntriesOf entries);

    // Measures the texts of a message box.
    void Box(HWND box, const std::string &where);

private:
    // What a text needs and what its control has, and by how many pixels
    // it fits (below 0: by how many it does not).
    struct Need {
        SIZE needs;
        SIZE has;
        int margin;
    };

    Need Wrapped(HDC dc, const std::string &text, SIZE client, int glyph, UINT flags) const;
    Need SingleLine(HDC dc, const std::string &text, SIZE client, int reserved) const;
    int Glyph(HDC dc) const;
    void Record(const char *kind, const std::string &where, int id, const std::string &text, const Need &need);
    void Control(HWND control, HWND copy, const std::string &where, EntriesOf entries);
    void Combo(HWND combo, HWND copy, const std::string &where, EntriesOf entries);

    HMODULE module_ = nullptr;
    HWND copy_ = nullptr;
    HFONT boxFont_ = nullptr;
    FILE *result_ = nullptr;
};

#endif
