// The terminal front end: the dialog drawn with curses as the script front
// end writes it, and keys for the user's actions. Curses starts with the
// first dialog or message box and ends when the process exits, so a program
// that shows none leaves the terminal alone; when the terminal cannot be set
// up, the actions are read as a script from standard input instead.
//
// It is a library of its own, libwin9x_terminal.so, that the layer loads
// when a dialog first needs the terminal (frontend.cpp): the programs that
// show none never load curses.
#include <curses.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "display/frontend_render.h"
#include "display/frontends.h"

namespace win9x::ui {

namespace {

using machine::ControlView;
using machine::DialogActions;
using machine::DialogView;
using machine::MessageBoxView;

constexpr int kEscape = 27;
constexpr int kRedrawKey = 12;  // Ctrl+L

const char kDialogKeys[] = "Keys: 1-4 choose  o/Space open list  b/Left Back  n/Right Next  Esc close";
const char kListKeys[] = "Keys: Up/Down move  Enter pick  Esc close the list";
const char kBoxKeys[] = "Keys: Enter answer";

// Curses is ended once, at exit, if it was started.
bool g_cursesActive = false;

void EndCurses()
{
    if (g_cursesActive) {
        endwin();
        g_cursesActive = false;
    }
}

// The next key. A read cut short by a signal gives ERR once; only ERR again
// and again means that input has ended.
int ReadKey()
{
    int key = ERR;
    for (int attempt = 0; attempt < 3 && key == ERR; ++attempt)
        key = getch();
    return key;
}

bool IsEnter(int key)
{
    return key == '\n' || key == '\r' || key == KEY_ENTER;
}

class TerminalDriver : public machine::DialogDriver {
public:
    bool Act(DialogActions &actions) override;
    int AnswerMessageBox(const MessageBoxView &box, const DialogView *owner) override;
    void Changed(const DialogView &view) override;

private:
    bool Start();
    void Draw(const DialogView *dialog, const MessageBoxView *box, const char *keys, int listCursor = -1);
    void Click(DialogActions &actions, const ControlView *control, const std::string &what);
    void Complain(std::string why);
    bool ChooseFromList(DialogActions &actions, int listId);

    std::recursive_mutex mutex_;
    enum class State { NotStarted, Running, Failed } state_ = State::NotStarted;
    std::shared_ptr<machine::DialogDriver> fallback_;
    std::string status_;  // why the last key did nothing
};

// Sets the terminal up on first use; false (with the script on standard
// input as the fallback) when it cannot be.
bool TerminalDriver::Start()
{
    if (state_ == State::NotStarted) {
        SCREEN *screen = nullptr;
        if (isatty(STDIN_FILENO) && isatty(STDOUT_FILENO))
            screen = newterm(nullptr, stdout, stdin);
        if (!screen) {
            state_ = State::Failed;
            fallback_ = MakeScriptDriver("-");
            return false;
        }
        set_term(screen);
        g_cursesActive = true;
        std::atexit(EndCurses);
        cbreak();
        noecho();
        keypad(stdscr, TRUE);
        set_escdelay(25);
        curs_set(0);
        state_ = State::Running;
    }
    return state_ == State::Running;
}

// Draws the screen at the top of the terminal, centred across, with the
// legend, the keys and the last complaint under it.
void TerminalDriver::Draw(const DialogView *dialog, const MessageBoxView *box, const char *keys, int listCursor)
{
    RenderOptions options;
    options.listCursor = listCursor;
    Screen screen = RenderScreen(dialog, box, options);
    erase();
    const int left = std::max((COLS - screen.Width()) / 2, 0);
    for (int y = 0; y < screen.Height() && y < LINES; ++y) {
        for (int x = 0; x < screen.Width() && left + x < COLS; ++x) {
            chtype attribute = A_NORMAL;
            switch (screen.InkAt(x, y)) {
            case Ink::Greyed: attribute = A_DIM; break;
            case Ink::Caption: attribute = A_REVERSE; break;
            case Ink::Cursor: attribute = A_REVERSE | A_BOLD; break;
            case Ink::Normal: break;
            }
            mvaddch(y, left + x, static_cast<chtype>(static_cast<unsigned char>(screen.CharAt(x, y))) | attribute);
        }
    }
    const int below = screen.Height();
    mvaddnstr(below, left, kScreenLegend, std::max(COLS - left, 0));
    mvaddnstr(below + 1, left, keys, std::max(COLS - left, 0));
    if (!status_.empty()) {
        attron(A_BOLD);
        mvaddnstr(below + 2, left, status_.c_str(), std::max(COLS - left, 0));
        attroff(A_BOLD);
    }
    refresh();
}

// Clicks a button or an option the user named with a key, or says why not.
void TerminalDriver::Click(DialogActions &actions, const ControlView *control, const std::string &what)
{
    if (!control)
        return Complain("the dialog has no " + what);
    std::string why = Unusable(*control, what);
    std::string error;
    if (why.empty() && actions.Click(control->id, &error)) {
        status_.clear();
        return;
    }
    Complain(why.empty() ? error : why);
}

// Says under the screen why a key did nothing, with a beep.
void TerminalDriver::Complain(std::string why)
{
    if (!why.empty())
        why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
    status_ = why + ".";
    beep();
}

// The open list: Up and Down move the cursor, Enter picks the entry under
// it, Escape leaves the list as it was. True when an entry was picked.
bool TerminalDriver::ChooseFromList(DialogActions &actions, int listId)
{
    int cursor = -1;
    for (;;) {
        DialogView view = actions.View();
        const ControlView *list = nullptr;
        for (auto &control : view.controls) {
            control.dropped = control.id == listId;
            if (control.dropped)
                list = &control;
        }
        if (!list || !list->visible)
            return false;
        const int count = static_cast<int>(list->items.size());
        if (cursor < 0)
            cursor = list->selection >= 0 ? list->selection : 0;
        cursor = std::min(cursor, std::max(count - 1, 0));
        Draw(&view, nullptr, kListKeys, count ? cursor : -1);
        int key = ReadKey();
        if (key == KEY_UP || key == 'k')
            cursor = std::max(cursor - 1, 0);
        else if (key == KEY_DOWN || key == 'j')
            cursor = std::min(cursor + 1, std::max(count - 1, 0));
        else if (key == KEY_HOME || key == KEY_PPAGE)
            cursor = 0;
        else if (key == KEY_END || key == KEY_NPAGE)
            cursor = std::max(count - 1, 0);
        else if (key == kEscape || key == ERR)
            return false;
        else if (IsEnter(key)) {
            std::string error;
            if (count > 0 && actions.Pick(listId, cursor, &error))
                return true;
            Complain(count == 0 ? "the list is empty" : error);
            return false;
        }
    }
}

// Waits for a key and does what it asks; Escape closes the dialog, and so
// does the end of input.
bool TerminalDriver::Act(DialogActions &actions)
{
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (!Start())
        return fallback_->Act(actions);
    for (;;) {
        DialogView view = actions.View();
        // A list shows open only while the user is choosing from it.
        for (auto &control : view.controls)
            control.dropped = false;
        Draw(&view, nullptr, kDialogKeys);
        int key = ReadKey();
        if (key == ERR)
            return false;
        if (key == kEscape) {
            actions.Close();
            return true;
        }
        if (key >= '1' && key <= '4') {
            Click(actions, NthOption(view, key - '0'), "option " + std::string(1, static_cast<char>(key)));
            return true;
        }
        if (key == 'b' || key == 'B' || key == KEY_LEFT) {
            Click(actions, ButtonLabelled(view, "Back"), "Back button");
            return true;
        }
        if (key == 'n' || key == 'N' || key == KEY_RIGHT) {
            Click(actions, ButtonLabelled(view, "Next"), "Next button");
            return true;
        }
        if (key == 'o' || key == 'O' || key == ' ') {
            const ControlView *list = VisibleList(view);
            std::string why = list ? Unusable(*list, "the list") : "there is no list on screen";
            std::string error;
            if (why.empty() && !actions.OpenList(list->id, &error))
                why = error;
            if (!why.empty()) {
                Complain(why);
                continue;
            }
            status_.clear();
            ChooseFromList(actions, list->id);
            return true;
        }
        if (key != KEY_RESIZE && key != kRedrawKey)
            beep();
    }
}

// Draws the box over its dialog and waits for Enter; the end of input
// answers it too.
int TerminalDriver::AnswerMessageBox(const MessageBoxView &box, const DialogView *owner)
{
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (!Start())
        return fallback_->AnswerMessageBox(box, owner);
    DialogView view = owner ? *owner : DialogView{};
    for (auto &control : view.controls)
        control.dropped = false;
    for (;;) {
        Draw(owner ? &view : nullptr, &box, kBoxKeys);
        int key = ReadKey();
        if (key == ERR || IsEnter(key))
            break;
        if (key != KEY_RESIZE && key != kRedrawKey)
            beep();
    }
    return DefaultAnswer(box.style);
}

// The program changed the dialog (a text, a page): show it at once.
void TerminalDriver::Changed(const DialogView &view)
{
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (!Start())
        return fallback_->Changed(view);
    DialogView shown = view;
    for (auto &control : shown.controls)
        control.dropped = false;
    Draw(&shown, nullptr, kDialogKeys);
}

}  // namespace

}  // namespace win9x::ui

// What the layer looks up when it loads this library.
extern "C" __attribute__((visibility("default"))) win9x::machine::DialogDriver *win9x_MakeTerminalDriver()
{
    return new win9x::ui::TerminalDriver();
}
