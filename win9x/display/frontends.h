// The front ends a person uses: the dialog drawn in the terminal (ncurses),
// or the same actions read from a script with the screen written as text.
#pragma once

#include <memory>
#include <string>

#include "win9x/machine.h"

namespace win9x::ui {

std::shared_ptr<machine::DialogDriver> MakeTerminalDriver();
// `path` "-" reads standard input.
std::shared_ptr<machine::DialogDriver> MakeScriptDriver(const std::string &path);

}  // namespace win9x::ui
