#include "support/dialog_driver.h"

namespace ovltest {

using win9x::machine::ControlView;
using win9x::machine::DialogActions;
using win9x::machine::DialogView;
using win9x::machine::MessageBoxView;

DialogStep ClickStep(int id)
{
    return [id](DialogActions &actions, std::string *error) { return actions.Click(id, error); };
}

DialogStep OpenListStep(int id)
{
    return [id](DialogActions &actions, std::string *error) { return actions.OpenList(id, error); };
}

DialogStep PickStep(int id, int index)
{
    return [id, index](DialogActions &actions, std::string *error) { return actions.Pick(id, index, error); };
}

DialogStep CloseStep()
{
    return [](DialogActions &actions, std::string *) {
        actions.Close();
        return true;
    };
}

DialogStep EnterStep()
{
    return [](DialogActions &actions, std::string *) {
        actions.Enter();
        return true;
    };
}

DialogStep DoStep(std::function<void()> work)
{
    return [work = std::move(work)](DialogActions &, std::string *) {
        work();
        return true;
    };
}

TestDialogDriver &TestDialogDriver::Then(DialogStep step)
{
    steps_.push_back(std::move(step));
    return *this;
}

// Keeps the dialog as it waits now, then does the next step; the first
// step that fails, or the end of the steps, lets the layer close the dialog.
bool TestDialogDriver::Act(DialogActions &actions)
{
    views_.push_back(actions.View());
    if (!error_.empty())
        return false;
    if (done_ >= steps_.size()) {
        ranOut_ = true;
        return false;
    }
    running_ = done_ + 1;
    std::string reason;
    bool ok = steps_[done_](actions, &reason);
    running_ = 0;
    if (!ok) {
        error_ = "step " + std::to_string(done_ + 1) + ": " + (reason.empty() ? "failed" : reason);
        return false;
    }
    ++done_;
    return true;
}

int TestDialogDriver::AnswerMessageBox(const MessageBoxView &box, const DialogView *owner)
{
    AnsweredBox answered;
    answered.box = box;
    if (owner)
        answered.over = *owner;
    answered.step = running_;
    answered.answer = policy_ ? policy_(box) : IDOK;
    boxes_.push_back(answered);
    return answered.answer;
}

void TestDialogDriver::Changed(const DialogView &view)
{
    changes_.push_back(view);
}

INT_PTR RunWithDriver(const std::shared_ptr<TestDialogDriver> &driver, const std::function<INT_PTR()> &program)
{
    win9x::machine::SetDialogDriver(driver);
    INT_PTR result = program();
    win9x::machine::SetDialogDriver(nullptr);
    return result;
}

bool IsShown(const DialogView &view, int id)
{
    const ControlView *control = view.Find(id);
    return control && control->visible;
}

bool IsEnabled(const DialogView &view, int id)
{
    const ControlView *control = view.Find(id);
    return control && control->enabled;
}

std::string TextOf(const DialogView &view, int id)
{
    const ControlView *control = view.Find(id);
    return control ? control->text : "";
}

std::vector<std::string> ItemsOf(const DialogView &view, int id)
{
    const ControlView *control = view.Find(id);
    return control ? control->items : std::vector<std::string>{};
}

std::string SelectedOf(const DialogView &view, int id)
{
    const ControlView *control = view.Find(id);
    if (!control || control->selection < 0 || control->selection >= static_cast<int>(control->items.size()))
        return "";
    return control->items[static_cast<size_t>(control->selection)];
}

}  // namespace ovltest
