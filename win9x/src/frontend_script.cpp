// Placeholder front ends until the terminal and script front ends exist:
// dialogs close at once and message boxes are answered with their first
// button.
#include "frontends.h"

namespace win9x::ui {

namespace {
class ClosingDriver : public machine::DialogDriver {
public:
    bool Act(machine::DialogActions &) override { return false; }
    int AnswerMessageBox(const machine::MessageBoxView &box, const machine::DialogView *) override
    {
        return (box.style & 0x0F) == MB_YESNO ? IDYES : IDOK;
    }
};
}  // namespace

std::shared_ptr<machine::DialogDriver> MakeTerminalDriver()
{
    return std::make_shared<ClosingDriver>();
}

std::shared_ptr<machine::DialogDriver> MakeScriptDriver(const std::string &)
{
    return std::make_shared<ClosingDriver>();
}

}  // namespace win9x::ui
