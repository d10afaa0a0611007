// The script front end: the user's actions read from a file (or standard
// input), one per line, and every screen written to standard output as text.
// An action that cannot be done stops the program with status 2.
#include <errno.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "display/frontend_render.h"
#include "display/frontend_transcript.h"
#include "display/frontends.h"
#include "machine/text.h"

namespace win9x::ui {

namespace {

using machine::ControlView;
using machine::DialogActions;
using machine::DialogView;
using machine::MessageBoxView;

// Text for a one-line message: line breaks and other control characters
// become spaces.
std::string OneLine(std::string text)
{
    for (char &c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return text;
}

// One action of the script: its line number, its words.
struct Action {
    int line = 0;
    std::vector<std::string> words;
    const std::string &Verb() const { return words.front(); }
    std::string Text() const
    {
        std::string text;
        for (const auto &w : words)
            text += (text.empty() ? "" : " ") + w;
        return text;
    }
};

class ScriptDriver : public machine::DialogDriver {
public:
    // A transcript on standard output ("-") takes the place of the drawn
    // screens there: the two mixed could be read as neither.
    ScriptDriver(std::string path, const std::string &transcript)
        : path_(std::move(path)), drawScreens_(transcript != "-")
    {
        if (!transcript.empty())
            transcript_ = std::make_unique<Transcript>(transcript);
    }
    ~ScriptDriver() override;

    bool Act(DialogActions &actions) override;
    int AnswerMessageBox(const MessageBoxView &box, const DialogView *owner) override;

private:
    void OpenScript();
    std::optional<Action> NextAction();
    [[noreturn]] void Stop(int line, const std::string &reason);
    void Perform(DialogActions &actions, const Action &action);
    void Require(bool ok, const Action &action, const std::string &reason);
    int Number(const Action &action, const char *what);
    void WriteScreen(const std::string &header, const DialogView *dialog, const MessageBoxView *box);

    std::recursive_mutex mutex_;
    std::string path_;
    std::FILE *in_ = nullptr;
    bool opened_ = false;
    bool ended_ = false;           // the script has no more lines
    int lineNumber_ = 0;           // the last line read
    std::string cause_ = "start";  // what led to the screen to come
    bool pending_ = false;         // something happened since the last screen
    HWND shown_ = nullptr;         // the dialog of the last screen
    bool listOpen_ = false;        // the action now is open-list
    std::unique_ptr<Transcript> transcript_;  // the plain transcript, when asked for
    bool drawScreens_ = true;                 // the screens go to standard output
};

ScriptDriver::~ScriptDriver()
{
    // The last action left no dialog waiting: say so under its heading.
    if (pending_ && drawScreens_)
        std::printf("=== %s ===\n(no dialog on screen)\n\n", cause_.c_str());
    if (pending_) {
        std::fflush(stdout);
        if (transcript_)
            transcript_->Closed();
    }
    if (in_ && in_ != stdin)
        std::fclose(in_);
}

// Opens the script on first use; one that cannot be read stops the program.
void ScriptDriver::OpenScript()
{
    if (opened_)
        return;
    opened_ = true;
    in_ = path_ == "-" ? stdin : std::fopen(path_.c_str(), "r");
    if (!in_) {
        std::string reason = std::strerror(errno);
        std::fflush(stdout);
        std::fprintf(stderr, "%s: cannot read the script %s: %s\n", ProgramName().c_str(), path_.c_str(),
                     reason.c_str());
        std::exit(2);
    }
}

// The next action, comments and blank lines skipped; none at the end.
std::optional<Action> ScriptDriver::NextAction()
{
    OpenScript();
    while (!ended_) {
        std::string line;
        int c;
        while ((c = std::fgetc(in_)) != EOF && c != '\n')
            line += static_cast<char>(c);
        if (c == EOF && line.empty()) {
            ended_ = true;
            break;
        }
        ++lineNumber_;
        if (size_t hash = line.find('#'); hash != std::string::npos)
            line.resize(hash);
        Action action;
        action.line = lineNumber_;
        size_t pos = 0;
        while (pos < line.size()) {
            size_t start = line.find_first_not_of(" \t\r", pos);
            if (start == std::string::npos)
                break;
            size_t end = line.find_first_of(" \t\r", start);
            action.words.push_back(line.substr(start, end == std::string::npos ? end : end - start));
            pos = end == std::string::npos ? line.size() : end;
        }
        if (!action.words.empty()) {
            action.words.front() = layer::ToLower(action.words.front());
            return action;
        }
    }
    return std::nullopt;
}

void ScriptDriver::Stop(int line, const std::string &reason)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%s: script line %d: %s\n", ProgramName().c_str(), line, OneLine(reason).c_str());
    std::fflush(stderr);
    std::exit(2);
}

void ScriptDriver::Require(bool ok, const Action &action, const std::string &reason)
{
    if (!ok)
        Stop(action.line, reason);
}

// The one whole-number argument of `choose` and `pick`.
int ScriptDriver::Number(const Action &action, const char *what)
{
    const std::string usage = action.Verb() + " needs " + what;
    Require(action.words.size() == 2, action, usage);
    const std::string &text = action.words[1];
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    Require(error == std::errc() && end == text.data() + text.size(), action, usage + ", not '" + text + "'");
    return value;
}

// Does one action on the waiting dialog, or stops the program with the
// reason it cannot be done.
void ScriptDriver::Perform(DialogActions &actions, const Action &action)
{
    const std::string &verb = action.Verb();
    const DialogView view = actions.View();
    std::string error;
    bool done = true;
    const bool bare = action.words.size() == 1;
    if (verb == "choose") {
        int n = Number(action, "an option number from 1 to 4");
        Require(n >= 1 && n <= 4, action, "there is no option " + std::to_string(n) + " (options are 1 to 4)");
        const ControlView *option = NthOption(view, n);
        Require(option != nullptr, action, "the dialog has no option " + std::to_string(n));
        std::string why = Unusable(*option, "option " + std::to_string(n));
        Require(why.empty(), action, why);
        done = actions.Click(option->id, &error);
    } else if (verb == "next" || verb == "back") {
        Require(bare, action, verb + " takes no argument");
        const char *word = verb == "next" ? "Next" : "Back";
        const ControlView *button = ButtonLabelled(view, word);
        Require(button != nullptr, action, std::string("the dialog has no ") + word + " button");
        std::string why = Unusable(*button, "the button \"" + ShownText(*button) + "\"");
        Require(why.empty(), action, why);
        done = actions.Click(button->id, &error);
    } else if (verb == "open-list") {
        Require(bare, action, "open-list takes no argument");
        const ControlView *list = VisibleList(view);
        Require(list != nullptr, action, "there is no list on screen");
        std::string why = Unusable(*list, "the list");
        Require(why.empty(), action, why);
        done = actions.OpenList(list->id, &error);
    } else if (verb == "pick") {
        int n = Number(action, "an entry number from 0");
        const ControlView *list = VisibleList(view);
        Require(list != nullptr, action, "there is no list on screen");
        std::string why = Unusable(*list, "the list");
        Require(why.empty(), action, why);
        const int count = static_cast<int>(list->items.size());
        Require(n >= 0 && n < count, action,
                "the list has no entry " + std::to_string(n) +
                    (count == 0 ? " (it is empty)" : " (its entries are 0 to " + std::to_string(count - 1) + ")"));
        done = actions.Pick(list->id, n, &error);
    } else if (verb == "close") {
        Require(bare, action, "close takes no argument");
        actions.Close();
    } else if (verb == "ok") {
        Stop(action.line, "there is no message box to answer with ok");
    } else {
        Stop(action.line, "unknown action '" + verb + "'");
    }
    Require(done, action, error);
}

void ScriptDriver::WriteScreen(const std::string &header, const DialogView *dialog, const MessageBoxView *box)
{
    // A list shows open only on the screens of the open-list that opened it:
    // whatever the user does next closes it, as a click elsewhere does.
    std::optional<DialogView> shown;
    if (dialog) {
        shown = *dialog;
        for (auto &control : shown->controls)
            control.dropped = control.dropped && listOpen_;
    }
    Screen screen = RenderScreen(shown ? &*shown : nullptr, box);
    if (drawScreens_)
        std::printf("=== %s ===\n%s%s\n\n", OneLine(header).c_str(), screen.Text().c_str(), kScreenLegend);
    std::fflush(stdout);
    pending_ = false;
}

// Writes the screen the last action led to (or the dialog as it first
// shows), then does the next action of the script; at the end of the
// script the dialog is closed.
bool ScriptDriver::Act(DialogActions &actions)
{
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    DialogView view = actions.View();
    if (view.handle != shown_) {
        WriteScreen(cause_ + ": dialog " + std::to_string(view.templateId) + " shows", &view, nullptr);
        if (transcript_) {
            transcript_->Shows(view);
            transcript_->Waits(view);
        }
        shown_ = view.handle;
    } else if (pending_) {
        WriteScreen(cause_, &view, nullptr);
        if (transcript_)
            transcript_->Waits(view);
    }
    std::optional<Action> action = NextAction();
    if (!action) {
        if (drawScreens_)
            std::printf("=== end of script after line %d: the dialog is closed ===\n\n", lineNumber_);
        std::fflush(stdout);
        if (transcript_)
            transcript_->Ends();
        cause_ = "end of script";
        shown_ = nullptr;
        return false;
    }
    cause_ = "line " + std::to_string(action->line) + ": " + action->Text();
    pending_ = true;
    if (transcript_)
        transcript_->Action(action->Text());
    listOpen_ = action->Verb() == "open-list";
    Perform(actions, *action);
    return true;
}

// Writes the screen with the box over its dialog; the next line must answer
// it with "ok" (the end of the script answers it so too).
int ScriptDriver::AnswerMessageBox(const MessageBoxView &box, const DialogView *owner)
{
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    WriteScreen(cause_ + ": message box \"" + box.caption + "\"", owner, &box);
    if (transcript_)
        transcript_->Box(box);
    if (owner)
        shown_ = owner->handle;
    std::optional<Action> action = NextAction();
    pending_ = true;
    if (!action) {
        cause_ = "end of script: message box answered with its first button";
        if (transcript_)
            transcript_->Ends();
        return DefaultAnswer(box.style);
    }
    if (action->Verb() != "ok") {
        static const char *const known[] = {"choose", "next", "back", "open-list", "pick", "close"};
        bool isAction = std::find(std::begin(known), std::end(known), action->Verb()) != std::end(known);
        Stop(action->line, isAction ? "a message box is waiting (\"" + box.text + "\"): answer it with ok"
                                    : "unknown action '" + action->Verb() + "'");
    }
    Require(action->words.size() == 1, *action, "ok takes no argument");
    cause_ = "line " + std::to_string(action->line) + ": ok";
    if (transcript_)
        transcript_->Action("ok");
    return DefaultAnswer(box.style);
}

}  // namespace

std::shared_ptr<machine::DialogDriver> MakeScriptDriver(const std::string &path, const std::string &transcript)
{
    return std::make_shared<ScriptDriver>(path, transcript);
}

}  // namespace win9x::ui
