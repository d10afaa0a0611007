// The front ends' screen (dialogs and message boxes drawn as characters) and
// the script front end (actions read from a file, screens written out,
// impossible actions stopping the program with status 2).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "display/frontend_render.h"
#include "display/frontends.h"
#include "support/machine_fixture.h"

namespace {

using win9x::machine::ControlView;
using win9x::machine::DialogActions;
using win9x::machine::DialogView;
using win9x::machine::MessageBoxView;
using win9x::ui::Ink;
using win9x::ui::RenderScreen;
using win9x::ui::Screen;
using win9x::ui::WrapText;

ControlView Control(int id, const char *cls, DWORD style, const std::string &text, RECT rect)
{
    ControlView c;
    c.id = id;
    c.className = cls;
    c.style = style;
    c.text = text;
    c.rect = rect;
    c.visible = true;
    c.enabled = true;
    return c;
}

// A wizard-sized dialog (208 x 133 units): two options, a page text, a
// list, a picture, Back (greyed) and Next.
DialogView Wizard()
{
    DialogView d;
    d.handle = reinterpret_cast<HWND>(0x1234);
    d.templateId = 7;
    d.caption = "Test Wizard";
    d.rect = RECT{0, 0, 208, 133};
    d.controls.push_back(Control(10, "Button", BS_GROUPBOX, "", RECT{4, 0, 204, 108}));
    d.controls.push_back(Control(11, "Button", BS_AUTORADIOBUTTON | BS_MULTILINE,
                                 "I want to test the communications with my USB printer right now",
                                 RECT{8, 12, 98, 36}));
    d.controls.back().check = BST_CHECKED;
    d.controls.push_back(Control(12, "Button", BS_AUTORADIOBUTTON, "&Delete a port", RECT{8, 36, 98, 56}));
    d.controls.push_back(Control(13, "Static", SS_LEFT, "First line\n\nThird line", RECT{110, 12, 200, 60}));
    ControlView list = Control(14, "ComboBox", CBS_DROPDOWNLIST, "", RECT{12, 88, 112, 130});
    list.items = {"USB/Sorrelink 640/X1-with-a-name-too-long-for-the-box", "USB/Sorrelink 880/Y2", "USB/Third"};
    list.selection = 0;
    d.controls.push_back(list);
    ControlView picture = Control(-1, "Static", SS_BITMAP, "", RECT{4, 116, 66, 130});
    picture.bitmap = 133;
    d.controls.push_back(picture);
    d.controls.push_back(Control(15, "Button", BS_PUSHBUTTON, "<- Back", RECT{100, 116, 150, 130}));
    d.controls.back().enabled = false;
    d.controls.push_back(Control(16, "Button", BS_PUSHBUTTON, "Next ->", RECT{152, 116, 202, 130}));
    d.controls.push_back(Control(17, "Static", SS_LEFT, "hidden words", RECT{110, 70, 200, 80}));
    d.controls.back().visible = false;
    return d;
}

// Where `text` starts on the screen, or (-1, -1).
std::pair<int, int> Find(const Screen &s, const std::string &text)
{
    for (int y = 0; y < s.Height(); ++y) {
        size_t x = s.Line(y).find(text);
        if (x != std::string::npos)
            return {static_cast<int>(x), y};
    }
    return {-1, -1};
}

TEST(FrontendRender, WizardDialog)
{
    DialogView d = Wizard();
    Screen s = RenderScreen(&d, nullptr);
    // 70 x 17 cells of client area, in a frame under a caption bar: the
    // wizard fits an 80 x 24 terminal.
    EXPECT_EQ(72, s.Width());
    EXPECT_EQ(21, s.Height());
    EXPECT_EQ("+" + std::string(70, '-') + "+", s.Line(0));
    EXPECT_EQ(0u, s.Line(1).find("| Test Wizard"));
    EXPECT_EQ(static_cast<size_t>(s.Width() - 5), s.Line(1).find("[X] |"));
    EXPECT_EQ(Ink::Caption, s.InkAt(2, 1));
    EXPECT_EQ("+" + std::string(70, '-') + "+", s.Line(20));

    // Options: the mark, the text wrapped between words within 27 columns
    // (a 90-unit control is 31 columns, less its mark), the shortcut '&'
    // not shown.
    EXPECT_EQ(std::make_pair(3, 4), Find(s, "(*) I want to test the"));
    EXPECT_EQ(std::make_pair(7, 5), Find(s, "communications with my USB"));
    EXPECT_EQ(std::make_pair(7, 6), Find(s, "printer right now"));
    EXPECT_EQ(std::make_pair(3, 7), Find(s, "( ) Delete a port"));

    // The page text keeps its empty line.
    EXPECT_EQ(std::make_pair(37, 4), Find(s, "First line"));
    EXPECT_EQ(std::make_pair(37, 6), Find(s, "Third line"));
    EXPECT_EQ(std::make_pair(-1, -1), Find(s, "hidden"));

    // The list: its selected entry cut to the list's 34 columns, the arrow.
    EXPECT_EQ(std::make_pair(5, 14), Find(s, "[USB/Sorrelink 640/X1-with-a-na v]"));
    EXPECT_EQ(std::make_pair(-1, -1), Find(s, "Sorrelink 880"));  // closed

    // Buttons centred in their cells; Back greyed.
    auto back = Find(s, "{ <- Back }");
    EXPECT_EQ(std::make_pair(37, 18), back);
    EXPECT_EQ(Ink::Greyed, s.InkAt(back.first + 2, back.second));
    auto next = Find(s, "[ Next -> ]");
    EXPECT_EQ(std::make_pair(54, 18), next);
    EXPECT_EQ(Ink::Normal, s.InkAt(next.first + 2, next.second));
    EXPECT_NE(-1, Find(s, "picture 133").first);
    // The group box's corners.
    EXPECT_EQ('+', s.CharAt(2, 3));
    EXPECT_EQ('+', s.CharAt(68, 16));
}

TEST(FrontendRender, OpenList)
{
    DialogView d = Wizard();
    ControlView &list = d.controls[4];
    list.dropped = true;
    list.selection = 1;
    Screen s = RenderScreen(&d, nullptr);
    EXPECT_EQ("| 0 USB/Sorrelink 640/X1-with-a-n|", s.Line(15).substr(5, 34));
    EXPECT_EQ("|>1 USB/Sorrelink 880/Y2         |", s.Line(16).substr(5, 34));
    EXPECT_EQ("| 2 USB/Third                    |", s.Line(17).substr(5, 34));
    EXPECT_EQ("+--------------------------------+", s.Line(18).substr(5, 34));

    // More entries than the room below the list: a window of them, which
    // holds the entry under the cursor, with where it is in the list.
    list.items.clear();
    for (int i = 0; i < 30; ++i)
        list.items.push_back("entry " + std::to_string(i));
    list.selection = 2;
    win9x::ui::RenderOptions options;
    options.listCursor = 25;
    s = RenderScreen(&d, nullptr, options);
    auto cursor = Find(s, "| 25 entry 25");
    ASSERT_NE(-1, cursor.first);
    EXPECT_EQ(Ink::Cursor, s.InkAt(cursor.first + 3, cursor.second));
    EXPECT_NE(-1, Find(s, "of 30").first);
    EXPECT_EQ(std::make_pair(-1, -1), Find(s, "> 2 entry 2"));  // scrolled away

    // An empty list says so.
    list.items.clear();
    list.selection = -1;
    s = RenderScreen(&d, nullptr);
    EXPECT_EQ("|(empty)", s.Line(15).substr(5, 8));
}

TEST(FrontendRender, MessageBoxes)
{
    DialogView d = Wizard();
    MessageBoxView box;
    box.caption = "Error";
    box.text = "No printer selected.\nCheck the cable.";
    const std::pair<UINT, const char *> icons[] = {
        {MB_ICONERROR, "(X)"}, {MB_ICONWARNING, "/!\\"}, {MB_ICONINFORMATION, "(i)"}, {MB_ICONQUESTION, "(?)"}};
    for (auto [style, marker] : icons) {
        box.style = style;
        Screen s = RenderScreen(&d, &box);
        auto at = Find(s, std::string(marker) + "  No printer selected.");
        EXPECT_NE(-1, at.first) << marker;
        EXPECT_EQ(std::make_pair(at.first + 5, at.second + 1), Find(s, "Check the cable.")) << marker;
    }
    box.style = MB_OK;
    Screen s = RenderScreen(&d, &box);
    auto text = Find(s, "No printer selected.");
    auto ok = Find(s, "[ OK ]");
    auto caption = Find(s, "| Error");
    ASSERT_NE(-1, text.first);
    ASSERT_NE(-1, caption.first);
    EXPECT_EQ(caption.first + 3, text.first);  // no icon: the text at the margin
    EXPECT_EQ(text.second + 3, ok.second);
    // Centred over the dialog: as much room left as right (within one).
    const std::string top = s.Line(caption.second - 1);
    ASSERT_EQ('+', top[static_cast<size_t>(caption.first)]) << top;
    int right = s.Width() - 1 - static_cast<int>(top.find('+', static_cast<size_t>(caption.first) + 1));
    EXPECT_LE(std::abs(caption.first - right), 1) << top;

    // Alone, the box is the whole screen; a long text is wrapped within it.
    box.text = std::string(40, 'a') + " " + std::string(40, 'b');
    s = RenderScreen(nullptr, &box);
    EXPECT_EQ(9, s.Height());
    EXPECT_NE(-1, Find(s, std::string(40, 'a') + " ").first);
    EXPECT_NE(-1, Find(s, "| " + std::string(1, ' ') + std::string(40, 'b')).first);
    EXPECT_EQ('+', s.CharAt(0, 0));
    EXPECT_EQ('+', s.CharAt(s.Width() - 1, s.Height() - 1));
}

TEST(FrontendRender, WrappingAndUnsafeText)
{
    // "abc def" needs 7 columns on one line.
    EXPECT_EQ((std::vector<std::string>{"abc", "def"}), WrapText("abc def", 6));
    EXPECT_EQ((std::vector<std::string>{"abc def"}), WrapText("abc def", 7));
    EXPECT_EQ((std::vector<std::string>{"abc def"}), WrapText("abc def", 8));
    // Line breaks kept (empty lines too); a word longer than a line is cut.
    EXPECT_EQ((std::vector<std::string>{"", "a", "", "b"}), WrapText("\na\n\nb", 5));
    EXPECT_EQ((std::vector<std::string>{"abcd", "efgh", "ij k"}), WrapText("abcdefghij k", 4));
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), WrapText("a\r\nb", 4));

    // Program text never reaches the terminal as control codes.
    Screen s(10, 1);
    s.Put(0, 0, "a\x1b[2Jb\x9b\tc");
    EXPECT_EQ("a?[2Jb? c", s.Line(0));
    s.Put(-2, 0, "xyz");
    s.Put(8, 0, "123");
    EXPECT_EQ("z?[2Jb? 12", s.Line(0));
}

// ---- The script front end ---------------------------------------------------

// A dialog the script acts on: clicking a radio button checks it, Next
// moves to a second page (Back is greyed on the first), and every action is
// logged.
class FakeDialog : public DialogActions {
public:
    FakeDialog() : view_(Wizard()) {}
    DialogView View() const override { return view_; }

    bool Click(int id, std::string *error) override
    {
        ControlView *c = Usable(id, error);
        if (!c)
            return false;
        log.push_back("click " + std::to_string(id));
        if (win9x::ui::IsRadioButton(*c)) {
            for (auto &other : view_.controls)
                other.check = &other == c ? BST_CHECKED : BST_UNCHECKED;
        }
        if (id == 16)
            Control(13).text = "Second page";
        Control(15).enabled = id == 16;
        return true;
    }
    bool OpenList(int id, std::string *error) override
    {
        if (!Usable(id, error))
            return false;
        log.push_back("open " + std::to_string(id));
        Control(id).dropped = true;
        return true;
    }
    bool Pick(int id, int index, std::string *error) override
    {
        if (!Usable(id, error))
            return false;
        log.push_back("pick " + std::to_string(id) + " " + std::to_string(index));
        Control(id).selection = index;
        Control(id).dropped = false;
        return true;
    }
    void Close() override { log.push_back("close"); }
    void Enter() override { log.push_back("enter"); }

    ControlView &Control(int id)
    {
        for (auto &c : view_.controls) {
            if (c.id == id)
                return c;
        }
        throw std::logic_error("no control");
    }

    std::vector<std::string> log;

private:
    ControlView *Usable(int id, std::string *error)
    {
        ControlView &c = Control(id);
        if (c.visible && c.enabled)
            return &c;
        *error = "not usable";
        return nullptr;
    }
    DialogView view_;
};

class FrontendScript : public ::testing::Test {
protected:
    std::string Script(const std::string &text)
    {
        std::string path = dir_.path() + "/script.txt";
        ovltest::WriteHostFile(path, text);
        return path;
    }

    // Runs the script on the fake dialog until it stops acting; returns
    // everything written.
    std::string RunScript(const std::string &text, FakeDialog &dialog)
    {
        auto driver = win9x::ui::MakeScriptDriver(Script(text));
        testing::internal::CaptureStdout();
        for (int i = 0; i < 100 && driver->Act(dialog); ++i) {
        }
        driver.reset();
        return testing::internal::GetCapturedStdout();
    }

    ovltest::TempDir dir_;
};

TEST_F(FrontendScript, ActionsAndScreens)
{
    FakeDialog dialog;
    std::string out =
        RunScript("# options\r\n\nchoose 2   # the second\nOPEN-LIST\npick 2\nopen-list\n  next\nback\n", dialog);
    EXPECT_EQ((std::vector<std::string>{"click 12", "open 14", "pick 14 2", "open 14", "click 16", "click 15"}),
              dialog.log);
    // Every screen is headed by the action (with its line) that led to it.
    size_t start = out.find("=== start: dialog 7 shows ===\n+---");
    size_t choose = out.find("=== line 3: choose 2 ===\n");
    size_t open = out.find("=== line 4: open-list ===\n");
    size_t pick = out.find("=== line 5: pick 2 ===\n");
    size_t reopen = out.find("=== line 6: open-list ===\n");
    size_t next = out.find("=== line 7: next ===\n");
    size_t back = out.find("=== line 8: back ===\n");
    size_t end = out.find("=== end of script after line 8: the dialog is closed ===");
    ASSERT_NE(std::string::npos, end) << out;
    ASSERT_TRUE(start < choose && choose < open && open < pick && pick < reopen && reopen < next && next < back &&
                back < end)
        << out;
    EXPECT_NE(std::string::npos, out.find("(*) Delete a port", choose));
    EXPECT_NE(std::string::npos, out.substr(open, pick - open).find("| 2 USB/Third"));
    EXPECT_NE(std::string::npos, out.substr(pick, reopen - pick).find("[USB/Third "));
    EXPECT_EQ(std::string::npos, out.substr(pick, reopen - pick).find("| 2 USB/Third"));
    EXPECT_NE(std::string::npos, out.substr(reopen, next - reopen).find("|>2 USB/Third"));
    // The list is still open in the dialog, but the next action closed it
    // for the user.
    EXPECT_TRUE(dialog.Control(14).dropped);
    EXPECT_EQ(std::string::npos, out.substr(next).find("| 0 USB/"));
    EXPECT_NE(std::string::npos, out.substr(next, back - next).find("Second page"));
    EXPECT_NE(std::string::npos, out.find(win9x::ui::kScreenLegend));
    EXPECT_EQ(std::string::npos, out.find("no dialog on screen"));

    // close presses Escape; when no dialog waits after it, the output says so.
    FakeDialog closing;
    auto driver = win9x::ui::MakeScriptDriver(Script("close\n"));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(driver->Act(closing));
    driver.reset();
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::vector<std::string>{"close"}, closing.log);
    EXPECT_NE(std::string::npos, out.find("=== line 1: close ===\n(no dialog on screen)\n")) << out;
}

TEST_F(FrontendScript, MessageBoxes)
{
    FakeDialog dialog;
    DialogView view = dialog.View();
    MessageBoxView box;
    box.caption = "Error";
    box.text = "No printer selected.";
    box.style = MB_ICONWARNING;
    auto driver = win9x::ui::MakeScriptDriver(Script("next\nok\n"));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(driver->Act(dialog));
    EXPECT_EQ(IDOK, driver->AnswerMessageBox(box, &view));
    // The end of the script answers a box with its first button.
    box.style = MB_YESNO;
    EXPECT_EQ(IDYES, driver->AnswerMessageBox(box, nullptr));
    EXPECT_FALSE(driver->Act(dialog));
    driver.reset();
    std::string out = testing::internal::GetCapturedStdout();
    size_t shown = out.find("=== line 1: next: message box \"Error\" ===\n");
    size_t answered = out.find("=== line 2: ok: message box \"Error\" ===\n");
    size_t after = out.find("=== end of script: message box answered with its first button ===\n");
    ASSERT_NE(std::string::npos, shown) << out;
    EXPECT_NE(std::string::npos, out.find("/!\\  No printer selected.", shown));
    EXPECT_NE(std::string::npos, out.find("[ OK ]", shown));
    ASSERT_NE(std::string::npos, answered) << out;
    EXPECT_NE(std::string::npos, out.find("[ Yes ]  [ No ]", answered));
    EXPECT_LT(answered, after);
}

// The screens a dying child writes are not wanted in the test's output.
void Quiet()
{
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
}

// An action that cannot be done stops the program: one line on standard
// error, status 2.
TEST_F(FrontendScript, ImpossibleActionsStop)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::pair<const char *, const char *> cases[] = {
        {"back\n", "script line 1: the button \"<- Back\" is greyed \\(disabled\\)"},
        {"\nchoose 5\n", "script line 2: there is no option 5 \\(options are 1 to 4\\)"},
        {"choose x\n", "script line 1: choose needs an option number from 1 to 4, not 'x'"},
        {"pick 3\n", "script line 1: the list has no entry 3 \\(its entries are 0 to 2\\)"},
        {"pick -1\n", "script line 1: the list has no entry -1"},
        {"ok\n", "script line 1: there is no message box to answer with ok"},
        {"next now\n", "script line 1: next takes no argument"},
        {"# a comment\njump\n", "script line 2: unknown action 'jump'"},
    };
    for (auto [text, reason] : cases) {
        FakeDialog dialog;
        auto driver = win9x::ui::MakeScriptDriver(Script(text));
        EXPECT_EXIT(
            {
                Quiet();
                while (driver->Act(dialog)) {
                }
            },
            testing::ExitedWithCode(2), std::string("^win9x_tests: ") + reason)
            << text;
    }

    // No list on screen, a hidden button.
    FakeDialog noList;
    noList.Control(14).visible = false;
    noList.Control(16).visible = false;
    auto driver = win9x::ui::MakeScriptDriver(Script("open-list\n"));
    EXPECT_EXIT(Quiet(); driver->Act(noList), testing::ExitedWithCode(2), "script line 1: there is no list on screen");
    driver = win9x::ui::MakeScriptDriver(Script("next\n"));
    EXPECT_EXIT(Quiet(); driver->Act(noList), testing::ExitedWithCode(2),
                         "script line 1: the button \"Next ->\" is not on screen");

    // A message box waits for ok; its text stays on one line.
    MessageBoxView box;
    box.text = "Two\nlines";
    driver = win9x::ui::MakeScriptDriver(Script("next\n"));
    EXPECT_EXIT(Quiet(); driver->AnswerMessageBox(box, nullptr), testing::ExitedWithCode(2),
                         "script line 1: a message box is waiting \\(\"Two lines\"\\): answer it with ok");

    // A script that cannot be read.
    driver = win9x::ui::MakeScriptDriver(dir_.path() + "/missing");
    EXPECT_EXIT(Quiet(); driver->Act(noList), testing::ExitedWithCode(2), "cannot read the script .*/missing");
}

// A front end the layer does not know is refused, not taken for a script.
TEST(FrontendChoice, UnknownFrontendStops)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("OVLSIM_FRONTEND", "curses", 1);
            win9x::ui::CurrentDriver();
        },
        testing::ExitedWithCode(2), "^win9x_tests: OVLSIM_FRONTEND=curses is neither terminal nor script:FILE\n$");
}

}  // namespace
