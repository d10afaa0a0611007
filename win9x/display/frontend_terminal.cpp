// The terminal front end: the dialog drawn with curses as the script front
// end writes it, and keys for the user's actions. Curses starts with the
// first dialog or message box and ends when the process exits, so a program
// that shows none leaves the terminal alone. A terminal that curses cannot
// drive stops the program with one line that points to the script front end.
//
// It is a library of its own, libwin9x_terminal.so, that the layer loads
// when a dialog first needs the terminal (frontend.cpp): the programs that
// show none never load curses.
#include <curses.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "display/frontend_render.h"
#include "display/frontends.h"
// Last: its capability names are macros (lines, columns, ...).
#include <term.h>

namespace win9x::ui {

namespace {

using machine::ControlView;
using machine::DialogActions;
using machine::DialogView;
using machine::MessageBoxView;

constexpr int kEscape = 27;
constexpr int kRedrawKey = 12;  // Ctrl+L
// The screen keeps a column free at either side, and three rows under it:
// the legend, the keys and the last complaint.
constexpr int kMarginColumns = 1;
constexpr int kRowsBelow = 3;

const char kListKeys[] = "Keys: Up/Down move  PgUp/PgDn page  Enter pick  Esc close the list";

// What the keys do on one screen: the keys line, and what Escape does
// there (empty when it does nothing), which stays at hand when the terminal
// is too small to show the screen.
struct Keys {
    std::string line;
    std::string escape;
};

// Curses is ended once, at exit, if it was started.
bool g_cursesActive = false;

void EndCurses()
{
    if (g_cursesActive) {
        endwin();
        g_cursesActive = false;
    }
}

// Why curses cannot drive the terminal, or "" when it can: both ends must
// be terminals whose type terminfo knows and which can move the cursor.
std::string WhyNoTerminal()
{
    if (!isatty(STDIN_FILENO))
        return "standard input is not a terminal";
    if (!isatty(STDOUT_FILENO))
        return "standard output is not a terminal";
    const char *type = std::getenv("TERM");
    if (!type || !*type)
        return "TERM is not set";
    int error = 0;
    if (setupterm(type, STDOUT_FILENO, &error) != OK)
        return std::string("the terminal type TERM=") + type + " is unknown";
    const char *move = tigetstr("cup");
    const bool canMove = move != nullptr && move != reinterpret_cast<char *>(-1);
    del_curterm(cur_term);
    if (!canMove)
        return std::string("TERM=") + type + " cannot move the cursor";
    return {};
}

[[noreturn]] void CannotDrive(const std::string &why)
{
    std::fflush(stdout);
    std::fprintf(stderr,
                 "%s: cannot show dialogs in this terminal (%s); give the actions in a script instead: "
                 "ovlsim usbcheck --script FILE (or OVLSIM_FRONTEND=script:FILE)\n",
                 ProgramName().c_str(), why.c_str());
    std::fflush(stderr);
    std::exit(2);
}

// Whether the terminal has another size than curses knows; if so, curses
// takes it on.
bool TerminalResized()
{
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0)
        return false;
    if (size.ws_row == LINES && size.ws_col == COLS)
        return false;
    resizeterm(size.ws_row, size.ws_col);
    return true;
}

// The next key, KEY_RESIZE when the terminal's size changed, or ERR when
// input has ended. Curses reports a new size only when the signal of it
// interrupts its read; one that comes between reads would go unseen until
// the next key, so the size is checked while no key comes.
int ReadKey()
{
    constexpr int kSizeCheckMs = 200;
    nodelay(stdscr, TRUE);
    for (;;) {
        int key = getch();
        if (key != ERR)
            return key;
        if (TerminalResized())
            return KEY_RESIZE;
        pollfd input{STDIN_FILENO, POLLIN, 0};
        int ready = poll(&input, 1, kSizeCheckMs);
        if (ready < 0 && errno != EINTR)
            return ERR;
        // Hung up: what is left, then the end.
        if (ready > 0 && (input.revents & (POLLHUP | POLLERR | POLLNVAL)))
            return getch();
    }
}

bool IsEnter(int key)
{
    return key == '\n' || key == '\r' || key == KEY_ENTER;
}

// A new size or Ctrl+L: the next refresh repaints the whole terminal, so
// that whatever else wrote to it goes away.
bool AsksForRepaint(int key)
{
    if (key != KEY_RESIZE && key != kRedrawKey)
        return false;
    clearok(curscr, TRUE);
    return true;
}

int CountOptions(const DialogView &view)
{
    int count = 0;
    while (NthOption(view, count + 1))
        ++count;
    return std::min(count, 9);
}

bool IsUsable(const ControlView *control)
{
    return control && control->visible && control->enabled;
}

// The keys the dialog has now: options, list and buttons only when usable.
Keys DialogKeys(const DialogView &view)
{
    const int options = CountOptions(view);
    bool anyOption = false;
    for (int n = 1; n <= options; ++n)
        anyOption = anyOption || IsUsable(NthOption(view, n));
    std::string line = "Keys: ";
    if (anyOption)
        line += (options == 1 ? std::string("1") : "1-" + std::to_string(options)) + " choose  ";
    if (IsUsable(VisibleList(view)))
        line += "o open list  ";
    if (IsUsable(ButtonLabelled(view, "Back")))
        line += "b Back  ";
    if (IsUsable(ButtonLabelled(view, "Next")))
        line += "n Next  ";
    line += "Enter OK  Esc Cancel";
    return {line, "Cancel"};
}

// A message box's keys: Enter answers its first button, Escape its Cancel
// button, or OK when that is its only one.
Keys BoxKeys(const MessageBoxView &box)
{
    const std::string enter = AnswerName(DefaultAnswer(box.style));
    const int escape = EscapeAnswer(box.style);
    if (escape == 0)
        return {"Keys: Enter " + enter, ""};
    const std::string escapeName = AnswerName(escape);
    if (escapeName == enter)
        return {"Keys: Enter/Esc " + enter, enter};
    return {"Keys: Enter " + enter + "  Esc " + escapeName, escapeName};
}

class TerminalDriver : public machine::DialogDriver {
public:
    bool Act(DialogActions &actions) override;
    int AnswerMessageBox(const MessageBoxView &box, const DialogView *owner) override;
    void Changed(const DialogView &view) override;

private:
    void Start();
    bool Draw(const DialogView *dialog, const MessageBoxView *box, const Keys &keys, int listCursor = -1);
    void DrawTooSmall(int width, int height, const Keys &keys);
    void Click(DialogActions &actions, const ControlView *control, const std::string &what);
    void Complain(std::string why);
    bool ChooseFromList(DialogActions &actions, int listId);

    std::recursive_mutex mutex_;
    bool started_ = false;
    std::string status_;  // why the last key did nothing
};

// Sets the terminal up on first use; one that curses cannot drive stops the
// program.
void TerminalDriver::Start()
{
    if (started_)
        return;
    std::string why = WhyNoTerminal();
    SCREEN *screen = why.empty() ? newterm(nullptr, stdout, stdin) : nullptr;
    if (!screen)
        CannotDrive(why.empty() ? "curses cannot set it up" : why);
    set_term(screen);
    g_cursesActive = true;
    std::atexit(EndCurses);
    cbreak();
    noecho();
    keypad(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);
    started_ = true;
}

// Draws the screen at the top of the terminal, centred across, with the
// legend, the keys and the last complaint under it; false (and a word on
// the size instead) when the terminal is too small for it.
bool TerminalDriver::Draw(const DialogView *dialog, const MessageBoxView *box, const Keys &keys, int listCursor)
{
    RenderOptions options;
    options.listCursor = listCursor;
    Screen screen = RenderScreen(dialog, box, options);
    const int width = screen.Width() + 2 * kMarginColumns;
    const int height = screen.Height() + kRowsBelow;
    if (COLS < width || LINES < height) {
        DrawTooSmall(width, height, keys);
        return false;
    }
    erase();
    const int left = (COLS - screen.Width()) / 2;
    for (int y = 0; y < screen.Height(); ++y) {
        for (int x = 0; x < screen.Width(); ++x) {
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
    const int room = COLS - left;
    mvaddnstr(below, left, kScreenLegend, room);
    mvaddnstr(below + 1, left, keys.line.c_str(), room);
    if (!status_.empty()) {
        attron(A_BOLD);
        mvaddnstr(below + 2, left, status_.c_str(), room);
        attroff(A_BOLD);
    }
    refresh();
    return true;
}

// In place of a screen that does not fit: the terminal's size and the size
// needed, wrapped to the terminal's width, and what Escape still does.
void TerminalDriver::DrawTooSmall(int width, int height, const Keys &keys)
{
    std::string text = "The terminal is " + std::to_string(COLS) + "x" + std::to_string(LINES) +
                       "; the wizard needs at least " + std::to_string(width) + "x" + std::to_string(height) +
                       ".\nMake it larger to go on" + (keys.escape.empty() ? "." : " (Esc: " + keys.escape + ").");
    erase();
    int row = 0;
    for (const std::string &line : WrapText(text, COLS))
        mvaddnstr(row++, 0, line.c_str(), COLS);
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

// The open list: Up and Down move the cursor, PgUp and PgDn by the entries
// the list shows at once, Enter picks the entry under it, Escape leaves the
// list as it was. True when an entry was picked.
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
        const int last = std::max(count - 1, 0);
        const int page = DroppedListRows(view, *list);
        if (cursor < 0)
            cursor = list->selection >= 0 ? list->selection : 0;
        cursor = std::min(cursor, last);
        const bool fits = Draw(&view, nullptr, {kListKeys, "close the list"}, count ? cursor : -1);
        int key = ReadKey();
        if (key == kEscape || key == ERR)
            return false;
        if (AsksForRepaint(key))
            continue;
        if (!fits) {
            beep();
            continue;
        }
        if (key == KEY_UP || key == 'k')
            cursor = std::max(cursor - 1, 0);
        else if (key == KEY_DOWN || key == 'j')
            cursor = std::min(cursor + 1, last);
        else if (key == KEY_PPAGE)
            cursor = std::max(cursor - page, 0);
        else if (key == KEY_NPAGE)
            cursor = std::min(cursor + page, last);
        else if (key == KEY_HOME)
            cursor = 0;
        else if (key == KEY_END)
            cursor = last;
        else if (IsEnter(key)) {
            std::string error;
            if (count > 0 && actions.Pick(listId, cursor, &error))
                return true;
            Complain(count == 0 ? "the list is empty" : error);
            return false;
        } else
            beep();
    }
}

// Waits for a key and does what it asks. Escape and Enter are the dialog
// manager's: IDCANCEL and IDOK to the dialog. The end of input closes the
// dialog.
bool TerminalDriver::Act(DialogActions &actions)
{
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    Start();
    for (;;) {
        DialogView view = actions.View();
        // A list shows open only while the user is choosing from it.
        for (auto &control : view.controls)
            control.dropped = false;
        const bool fits = Draw(&view, nullptr, DialogKeys(view));
        int key = ReadKey();
        if (key == ERR)
            return false;
        if (key == kEscape) {
            status_.clear();
            actions.Close();
            return true;
        }
        if (AsksForRepaint(key))
            continue;
        if (!fits) {
            beep();
            continue;
        }
        if (IsEnter(key)) {
            status_.clear();
            actions.Enter();
            return true;
        }
        if (key >= '1' && key <= '0' + CountOptions(view)) {
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
        beep();
    }
}

// Draws the box over its dialog and waits for Enter (its first button) or
// Escape (its Cancel button, or OK when that is its only one); the end of
// input answers it as Enter does.
int TerminalDriver::AnswerMessageBox(const MessageBoxView &box, const DialogView *owner)
{
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    Start();
    DialogView view = owner ? *owner : DialogView{};
    for (auto &control : view.controls)
        control.dropped = false;
    const Keys keys = BoxKeys(box);
    for (;;) {
        const bool fits = Draw(owner ? &view : nullptr, &box, keys);
        int key = ReadKey();
        if (key == ERR)
            return DefaultAnswer(box.style);
        if (key == kEscape && EscapeAnswer(box.style) != 0)
            return EscapeAnswer(box.style);
        if (AsksForRepaint(key))
            continue;
        if (fits && IsEnter(key))
            return DefaultAnswer(box.style);
        beep();
    }
}

// The program changed the dialog (a text, a page): show it at once.
void TerminalDriver::Changed(const DialogView &view)
{
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    Start();
    DialogView shown = view;
    for (auto &control : shown.controls)
        control.dropped = false;
    Draw(&shown, nullptr, DialogKeys(shown));
}

}  // namespace

}  // namespace win9x::ui

// What the layer looks up when it loads this library.
extern "C" __attribute__((visibility("default"))) win9x::machine::DialogDriver *win9x_MakeTerminalDriver()
{
    return new win9x::ui::TerminalDriver();
}
