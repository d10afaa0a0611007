// Where dialogs are shown: the one interface between the dialog manager and
// the front ends. The dialog manager hands the driver views of its dialogs
// and message boxes (win9x/machine.h) and receives the user's actions; the
// front ends know nothing else of windows.
#pragma once

#include <memory>
#include <string>

#include "win9x/machine.h"

namespace win9x::ui {

// The driver of this process's dialogs (the one set, or the default one
// chosen from the environment on first use).
std::shared_ptr<machine::DialogDriver> CurrentDriver();

// The front ends a person uses: the dialog drawn in the terminal (ncurses,
// from a library loaded on first use), or the same actions read from a
// script with the screen written as text.
std::shared_ptr<machine::DialogDriver> MakeTerminalDriver();
// `path` "-" reads standard input. With a `transcript` path the driver also
// writes there, one text a line, what each step left on screen
// (display/frontend_transcript.h).
std::shared_ptr<machine::DialogDriver> MakeScriptDriver(const std::string &path, const std::string &transcript = "");

}  // namespace win9x::ui
