// The terminal front end on a real terminal emulation: the wizard runs
// through `ovlsim usbcheck` in a pseudo-terminal, libvterm plays the
// terminal, and the tests type keys and read back what is drawn.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vterm.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/machine_fixture.h"

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

// Long enough for a loaded machine under the sanitizers; a test that passes
// waits only as long as the program takes to draw.
constexpr auto kPatience = std::chrono::seconds(20);

// A terminal of a given size and the program that runs in it.
class Terminal {
public:
    Terminal(int columns, int rows) : vt_(vterm_new(rows, columns)), columns_(columns), rows_(rows)
    {
        vterm_set_utf8(vt_, 1);
        vterm_output_set_callback(vt_, &Terminal::Reply, this);
        screen_ = vterm_obtain_screen(vt_);
        callbacks_.bell = &Terminal::Bell;
        vterm_screen_set_callbacks(screen_, &callbacks_, this);
        vterm_screen_enable_altscreen(screen_, 1);
        vterm_screen_reset(screen_, 1);
    }

    ~Terminal()
    {
        if (pid_ > 0) {
            kill(-pid_, SIGKILL);  // the program and what it started
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0)
            close(master_);
        vterm_free(vt_);
    }

    // Starts the program with TERM set to `type` (or unset), its standard
    // error to `errorFd` when one is given, else to the terminal.
    void Start(const std::vector<std::string> &argv, const char *type, int errorFd = -1)
    {
        std::vector<std::string> env;
        for (char **e = environ; *e; ++e) {
            std::string entry = *e;
            std::string name = entry.substr(0, entry.find('='));
            if (name != "TERM" && name != "OVLSIM_FRONTEND" && name != "LINES" && name != "COLUMNS")
                env.push_back(entry);
        }
        if (type)
            env.push_back(std::string("TERM=") + type);
        std::vector<char *> args, envp;
        for (const auto &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        for (const auto &e : env)
            envp.push_back(const_cast<char *>(e.c_str()));
        envp.push_back(nullptr);

        winsize size{};
        size.ws_col = static_cast<unsigned short>(columns_);
        size.ws_row = static_cast<unsigned short>(rows_);
        pid_ = forkpty(&master_, nullptr, nullptr, &size);
        ASSERT_GE(pid_, 0) << std::strerror(errno);
        if (pid_ == 0) {
            if (errorFd >= 0)
                dup2(errorFd, STDERR_FILENO);
            execve(args[0], args.data(), envp.data());
            _exit(127);
        }
        fcntl(master_, F_SETFD, FD_CLOEXEC);
    }

    // Reads what the program draws until `holds` is true; false when the
    // time runs out first.
    bool WaitUntil(const std::function<bool()> &holds)
    {
        const auto end = Clock::now() + kPatience;
        while (!holds()) {
            if (Clock::now() > end || !Pump(50))
                return holds();
        }
        return true;
    }

    bool WaitFor(const std::string &text)
    {
        return WaitUntil([&] { return Text().find(text) != std::string::npos; });
    }

    // The times the program rang the bell.
    int Bells() const { return bells_; }

    // The screen, each row without its trailing blanks and ended by a line
    // feed; other than printable ASCII shows as '?'.
    std::string Text() const
    {
        std::string text;
        for (int row = 0; row < rows_; ++row)
            text += Row(row) + "\n";
        return text;
    }

    std::string Row(int row) const
    {
        std::string line;
        for (int col = 0; col < columns_; ++col) {
            VTermScreenCell cell{};
            vterm_screen_get_cell(screen_, VTermPos{row, col}, &cell);
            uint32_t c = cell.chars[0];
            line += c == 0 ? ' ' : (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
        }
        line.erase(line.find_last_not_of(' ') + 1);
        return line;
    }

    // Whether `text` is on screen drawn in reverse (at its first character).
    bool IsReverse(const std::string &text) const
    {
        for (int row = 0; row < rows_; ++row) {
            size_t col = Row(row).find(text);
            if (col == std::string::npos)
                continue;
            VTermScreenCell cell{};
            vterm_screen_get_cell(screen_, VTermPos{row, static_cast<int>(col)}, &cell);
            return cell.attrs.reverse;
        }
        return false;
    }

    void Press(VTermKey key) { vterm_keyboard_key(vt_, key, VTERM_MOD_NONE); }
    void Type(uint32_t c, VTermModifier mod = VTERM_MOD_NONE) { vterm_keyboard_unichar(vt_, c, mod); }

    void Resize(int columns, int rows)
    {
        columns_ = columns;
        rows_ = rows;
        vterm_set_size(vt_, rows, columns);
        winsize size{};
        size.ws_col = static_cast<unsigned short>(columns);
        size.ws_row = static_cast<unsigned short>(rows);
        ioctl(master_, TIOCSWINSZ, &size);
    }

    // Bytes that reach the terminal past the program, as from another
    // program writing to it.
    void Scribble(const std::string &bytes) { vterm_input_write(vt_, bytes.data(), bytes.size()); }

    // Waits for the program to end, reading what it draws; its exit status,
    // or -1 when it did not end in time or was killed.
    int Wait()
    {
        const auto end = Clock::now() + kPatience;
        while (Clock::now() < end) {
            int status = 0;
            pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                pid_ = -1;
                while (Pump(0)) {
                }
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (!Pump(20))
                usleep(20000);
        }
        return -1;
    }

private:
    // Feeds the terminal what the program wrote within `timeoutMs`; false
    // when the program's side is closed.
    bool Pump(int timeoutMs)
    {
        pollfd fd{master_, POLLIN, 0};
        int ready = poll(&fd, 1, timeoutMs);
        if (ready <= 0)
            return ready == 0 || errno == EINTR;
        char buffer[4096];
        ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        vterm_input_write(vt_, buffer, static_cast<size_t>(n));
        return true;
    }

    static int Bell(void *self)
    {
        ++static_cast<Terminal *>(self)->bells_;
        return 1;
    }

    // What the terminal sends: typed keys and its answers to queries.
    static void Reply(const char *bytes, size_t length, void *self)
    {
        int fd = static_cast<Terminal *>(self)->master_;
        while (length > 0) {
            ssize_t n = write(fd, bytes, length);
            if (n <= 0 && errno != EINTR)
                return;
            if (n > 0) {
                bytes += n;
                length -= static_cast<size_t>(n);
            }
        }
    }

    VTerm *vt_;
    VTermScreen *screen_ = nullptr;
    VTermScreenCallbacks callbacks_{};
    int bells_ = 0;
    int columns_;
    int rows_;
    int master_ = -1;
    pid_t pid_ = -1;
};

class TerminalFrontend : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, Sim({"init"}).status);
        // Fifteen ports to delete: more than the open list shows at once.
        std::string ports = "REGEDIT4\n\n";
        for (int i = 0; i < 15; ++i) {
            ports += "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Ports\\USB/Sorrelink 640/";
            ports += ovltest::Numbered(i < 10 ? "P0" : "P", i) + "]\n\n";
        }
        ovltest::WriteHostFile(dir_.path() + "/ports.reg", ports);
        ovltest::ProgramOutput import = Sim({"reg", "import", dir_.path() + "/ports.reg"});
        ASSERT_EQ(0, import.status) << import.err;
    }

    ovltest::ProgramOutput Sim(std::vector<std::string> args)
    {
        args.insert(args.begin(), {ovltest::TestProgram("ovlsim"), "--machine", machine_});
        return ovltest::RunProgramCaptured(machine_, args);
    }

    // The wizard in `terminal`, as `ovlsim usbcheck` runs it.
    void RunWizard(Terminal &terminal, const char *type = "xterm", int errorFd = -1)
    {
        terminal.Start({ovltest::TestProgram("ovlsim"), "--machine", machine_, "usbcheck"}, type, errorFd);
    }

    ovltest::TempDir dir_;
    std::string machine_ = dir_.path() + "/machine";
};

const char kOptionsPage[] = "(*) I want to test the communications";
const char kDeletePage[] = "Select the port that you want to delete";

TEST_F(TerminalFrontend, WizardAtEightyByTwentyFour)
{
    Terminal terminal(80, 24);
    RunWizard(terminal);
    // The dialog, the legend and the keys lie whole within 80 columns; the
    // keys line offers what the options page has.
    for (const char *text : {kOptionsPage, "| OV USB Troubleshoot Utility", "{ <- Back }", "[ Next -> ]",
                             "Legend: (*) chosen  [ Next ] button  { Back } greyed  > selected entry",
                             "Keys: 1-4 choose  n Next  Enter OK  Esc Cancel"})
        ASSERT_TRUE(terminal.WaitFor(text)) << text << "\n" << terminal.Text();

    // The delete page has a list and Back, and no options.
    terminal.Type('2');
    ASSERT_TRUE(terminal.WaitFor("(*) I want to delete"));
    terminal.Type('n');
    ASSERT_TRUE(terminal.WaitFor(kDeletePage)) << terminal.Text();
    EXPECT_TRUE(terminal.WaitFor("Keys: o open list  b Back  n Next  Enter OK  Esc Cancel")) << terminal.Text();

    // Ctrl+L repaints everything: what another program wrote goes away.
    terminal.Scribble("\x1b[2;3HSCRIBBLED OVER");
    ASSERT_TRUE(terminal.WaitFor("SCRIBBLED OVER"));
    terminal.Type('l', VTERM_MOD_CTRL);
    EXPECT_TRUE(terminal.WaitUntil([&] {
        std::string s = terminal.Text();
        return s.find("SCRIBBLED") == std::string::npos && s.find("| OV USB Troubleshoot Utility") != std::string::npos;
    })) << terminal.Text();

    // The open list shows ten of its fifteen entries; PgDn and PgUp move the
    // cursor by those ten, within the list.
    terminal.Type('o');
    ASSERT_TRUE(terminal.WaitFor("Keys: Up/Down move  PgUp/PgDn page  Enter pick  Esc close the list"))
        << terminal.Text();
    EXPECT_TRUE(terminal.WaitFor(" 0-9 of 15 ")) << terminal.Text();
    terminal.Press(VTERM_KEY_PAGEDOWN);
    EXPECT_TRUE(terminal.WaitFor(" 1-10 of 15 ")) << terminal.Text();
    EXPECT_TRUE(terminal.WaitUntil([&] { return terminal.IsReverse("10 USB/Sorrelink 640/P10"); }))
        << terminal.Text();
    terminal.Press(VTERM_KEY_PAGEDOWN);
    terminal.Press(VTERM_KEY_PAGEUP);
    terminal.Press(VTERM_KEY_ENTER);
    EXPECT_TRUE(terminal.WaitFor("[USB/Sorrelink 640/P04 ")) << terminal.Text();

    // Escape ends the wizard (IDCANCEL), which leaves the terminal as it was.
    terminal.Press(VTERM_KEY_ESCAPE);
    EXPECT_EQ(0, terminal.Wait());
    EXPECT_EQ(std::string::npos, terminal.Text().find("Keys:")) << terminal.Text();
}

// Escape answers an OK box with OK; Enter in the wizard sends IDOK, which
// ends it.
TEST_F(TerminalFrontend, EscapeAnswersTheBoxAndEnterEndsTheWizard)
{
    Terminal terminal(80, 24);
    RunWizard(terminal);
    ASSERT_TRUE(terminal.WaitFor(kOptionsPage)) << terminal.Text();
    // No printer is attached: the communication test has none to test.
    terminal.Type('n');
    ASSERT_TRUE(terminal.WaitFor("Select your printer's port")) << terminal.Text();
    terminal.Type('n');
    ASSERT_TRUE(terminal.WaitFor("No printer selected.")) << terminal.Text();
    EXPECT_TRUE(terminal.WaitFor("Keys: Enter/Esc OK")) << terminal.Text();
    terminal.Press(VTERM_KEY_ESCAPE);
    EXPECT_TRUE(terminal.WaitUntil([&] {
        std::string screen = terminal.Text();
        return screen.find("Test failed !") != std::string::npos &&
               screen.find("No printer selected.") == std::string::npos;
    })) << terminal.Text();
    terminal.Press(VTERM_KEY_ENTER);
    EXPECT_EQ(0, terminal.Wait());
}

// Too small a terminal says so instead of showing a corner of the dialog,
// and the dialog comes as soon as the terminal is large enough.
TEST_F(TerminalFrontend, TooSmallThenLargeEnough)
{
    Terminal terminal(60, 20);
    RunWizard(terminal);
    ASSERT_TRUE(terminal.WaitFor("The terminal is 60x20; the wizard needs at least 74x24.")) << terminal.Text();
    EXPECT_TRUE(terminal.WaitFor("Make it larger to go on (Esc: Cancel).")) << terminal.Text();
    EXPECT_EQ(std::string::npos, terminal.Text().find("OV USB")) << terminal.Text();
    // Keys other than Escape do nothing while the dialog cannot be seen.
    const int bells = terminal.Bells();
    terminal.Type('n');
    ASSERT_TRUE(terminal.WaitUntil([&] { return terminal.Bells() > bells; }));
    terminal.Resize(74, 24);
    EXPECT_TRUE(terminal.WaitUntil([&] {
        std::string screen = terminal.Text();
        return screen.find(kOptionsPage) != std::string::npos && screen.find("needs at least") == std::string::npos;
    })) << terminal.Text();
    terminal.Resize(73, 24);
    ASSERT_TRUE(terminal.WaitFor("The terminal is 73x24; the wizard needs at least 74x24")) << terminal.Text();
    terminal.Press(VTERM_KEY_ESCAPE);
    EXPECT_EQ(0, terminal.Wait());
}

// A terminal that curses cannot drive stops the wizard with one line that
// points to scripts, and draws nothing.
TEST_F(TerminalFrontend, TerminalWithoutCursorMovementIsRefused)
{
    const std::pair<const char *, const char *> cases[] = {
        {"dumb", "TERM=dumb cannot move the cursor"},
        {nullptr, "TERM is not set"},
    };
    for (auto [type, why] : cases) {
        SCOPED_TRACE(type ? type : "no TERM");
        int errors[2];
        ASSERT_EQ(0, pipe(errors));
        Terminal terminal(80, 24);
        RunWizard(terminal, type, errors[1]);
        close(errors[1]);
        EXPECT_EQ(2, terminal.Wait());
        std::string err;
        char buffer[512];
        for (ssize_t n; (n = read(errors[0], buffer, sizeof buffer)) > 0;)
            err.append(buffer, static_cast<size_t>(n));
        close(errors[0]);
        EXPECT_EQ(0u, err.find("usbcheck98: cannot show dialogs in this terminal")) << err;
        EXPECT_NE(std::string::npos, err.find(why)) << err;
        EXPECT_NE(std::string::npos, err.find("ovlsim usbcheck --script FILE")) << err;
        EXPECT_EQ(err.size() - 1, err.find('\n')) << err;
        EXPECT_EQ(std::string(24, '\n'), terminal.Text());
    }
}

}  // namespace
