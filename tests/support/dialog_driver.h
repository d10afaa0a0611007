// A dialog driver for tests: it plays the user of the layer's modal dialogs
// from a queue of steps, answers every message box by a policy (IDOK unless
// told otherwise), and keeps what it saw: the dialog after each step, every
// change the dialog reported, and every message box with the dialog it was
// shown over. It knows the layer's seam only, not any program's controls.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "win9x/machine.h"

namespace ovltest {

// One thing the user does while the dialog waits: false, with the reason in
// `error`, when it cannot be done.
using DialogStep = std::function<bool(win9x::machine::DialogActions &actions, std::string *error)>;

// Simple steps.
DialogStep ClickStep(int id);
DialogStep OpenListStep(int id);
DialogStep PickStep(int id, int index);
// Escape or the close box.
DialogStep CloseStep();
// Enter, with no control in focus.
DialogStep EnterStep();
// Runs `work` between two actions (for example to change the machine while
// the dialog is open); the dialog hears nothing.
DialogStep DoStep(std::function<void()> work);

// A message box as the driver answered it.
struct AnsweredBox {
    win9x::machine::MessageBoxView box;
    // The dialog the box was shown over, as it looked at that moment.
    std::optional<win9x::machine::DialogView> over;
    // The step during which it appeared (1 for the first); 0 when no step
    // was running (while the dialog was being initialised, or without one).
    size_t step = 0;
    int answer = IDOK;
};

// Answers a message box: the button that the user presses.
using MessageBoxPolicy = std::function<int(const win9x::machine::MessageBoxView &box)>;

class TestDialogDriver : public win9x::machine::DialogDriver {
public:
    // Queues steps; each returns the driver, so that steps can be chained.
    TestDialogDriver &Then(DialogStep step);
    TestDialogDriver &Click(int id) { return Then(ClickStep(id)); }
    TestDialogDriver &OpenList(int id) { return Then(OpenListStep(id)); }
    TestDialogDriver &Pick(int id, int index) { return Then(PickStep(id, index)); }
    TestDialogDriver &Close() { return Then(CloseStep()); }
    TestDialogDriver &Enter() { return Then(EnterStep()); }
    TestDialogDriver &Do(std::function<void()> work) { return Then(DoStep(std::move(work))); }

    // The answer to every message box from now on (IDOK by default).
    void AnswerWith(MessageBoxPolicy policy) { policy_ = std::move(policy); }

    // The dialog as the driver first found it waiting (right after its
    // initialisation), then after each step done: views()[n] is the dialog
    // after step n. A dialog that ended during a step has no view after it.
    const std::vector<win9x::machine::DialogView> &views() const { return views_; }
    // Every change the dialog reported, in order.
    const std::vector<win9x::machine::DialogView> &changes() const { return changes_; }
    const std::vector<AnsweredBox> &boxes() const { return boxes_; }
    // The steps done (a step that failed is not counted).
    size_t stepsDone() const { return done_; }
    // Why the first step that failed could not be done; empty when none failed.
    const std::string &error() const { return error_; }
    // Whether the steps ran out while the dialog still waited (the layer then
    // closes it as with Escape).
    bool ranOut() const { return ranOut_; }

    bool Act(win9x::machine::DialogActions &actions) override;
    int AnswerMessageBox(const win9x::machine::MessageBoxView &box, const win9x::machine::DialogView *owner) override;
    void Changed(const win9x::machine::DialogView &view) override;

private:
    std::vector<DialogStep> steps_;
    size_t done_ = 0;
    size_t running_ = 0;  // the step being done, 1-based; 0 for none
    bool ranOut_ = false;
    std::string error_;
    MessageBoxPolicy policy_;
    std::vector<win9x::machine::DialogView> views_;
    std::vector<win9x::machine::DialogView> changes_;
    std::vector<AnsweredBox> boxes_;
};

// Runs `program` (a program's WinMain, or a DialogBoxParamA call) in this
// process with `driver` driving its dialogs and message boxes, then takes
// the driver out again. Returns what `program` returned.
INT_PTR RunWithDriver(const std::shared_ptr<TestDialogDriver> &driver, const std::function<INT_PTR()> &program);

// Whether the control is shown, and its text ("" when the dialog has no
// such control).
bool IsShown(const win9x::machine::DialogView &view, int id);
bool IsEnabled(const win9x::machine::DialogView &view, int id);
std::string TextOf(const win9x::machine::DialogView &view, int id);
// A combo box's entries, and its selected entry ("" when none).
std::vector<std::string> ItemsOf(const win9x::machine::DialogView &view, int id);
std::string SelectedOf(const win9x::machine::DialogView &view, int id);

}  // namespace ovltest
