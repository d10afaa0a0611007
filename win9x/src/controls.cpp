// Controls of dialogs: push buttons, radio buttons, group boxes, statics
// and drop-down combo boxes, answering the messages programs send them.
#include "ui.h"

namespace win9x::ui {

LRESULT ControlMessage(Window &control, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)control, (void)message, (void)wParam, (void)lParam;
    return 0;
}

}  // namespace win9x::ui
