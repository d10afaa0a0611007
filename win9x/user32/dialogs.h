// The dialog manager shared by the dialog functions, the message boxes and
// the front ends.
#pragma once

#include <memory>

#include "display/frontends.h"
#include "user32/ui.h"
#include "win9x/machine.h"

namespace win9x::ui {

// The view of a dialog window, for front ends and tests.
machine::DialogView ViewOf(const Window &dialog);

// The modal dialog now waiting, if any (for message boxes to draw over).
HWND ActiveDialog();

// Tells the driver that the active dialog changed.
void NotifyChanged();

}  // namespace win9x::ui
