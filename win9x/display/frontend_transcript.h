// The script front end's plain transcript: what each step of a script left
// on screen, one text a line, instead of a drawn screen. It is the format
// that tests/wine/wizard_driver.cpp writes when it works the same wizard
// with window messages under Wine, so that the two can be compared line by
// line; the drawn screens wrap texts and draw boxes over the dialog, and
// could not be. It lives beside the script front end because only a front
// end sees the views at the moments the user would (a dialog waiting for
// its user, a message box shown).
#pragma once

#include <cstdio>
#include <string>

#include "win9x/machine.h"

namespace win9x::ui {

class Transcript {
public:
    // `path` is opened for writing ("-": standard output); one that cannot
    // be stops the program.
    explicit Transcript(const std::string &path);
    ~Transcript();
    Transcript(const Transcript &) = delete;
    Transcript &operator=(const Transcript &) = delete;

    // "dialog: <caption>" when a dialog first shows.
    void Shows(const machine::DialogView &dialog);
    // The dialog's visible controls, in template order: "page: <text>" for
    // a static text (not a picture), "option: <text> checked|unchecked" for
    // a radio button, "button: <text> enabled|disabled" for a push button,
    // "list: <entry>" for each entry of a drop-down list and then
    // "selected: <entry>" or "selected: none". Group boxes are left out.
    void Waits(const machine::DialogView &dialog);
    // "box: <caption>: <text>".
    void Box(const machine::MessageBoxView &box);
    // "action: <words>".
    void Action(const std::string &words);
    // "end" when the script ends with the dialog still there, "closed" when
    // the dialog went away.
    // Nothing is written after "end": what the program does once its user
    // has left (a box answered by the end of the script) is not a step.
    void Ends();
    void Closed();

private:
    void Line(const char *kind, const std::string &text);
    void Write(const std::string &line);

    std::FILE *out_ = nullptr;
    bool ended_ = false;
};

// A text on one line: a backslash as \\, line breaks and tabs as \n, \r,
// \t, other control characters as \xNN.
std::string TranscriptText(const std::string &text);

}  // namespace win9x::ui
