// The troubleshooting wizard run from a script through the machine tool, as
// a user would: `ovlsim usbcheck --script FILE` on a machine with a printer
// attached, then detached. The screens written show the test's result, the
// plain transcript has each text on a line of its own, and a script that
// asks for what cannot be done stops with status 2.
#include <filesystem>
#include <string>
#include <vector>

#include "support/machine_fixture.h"

namespace {

using ovltest::ProgramOutput;
using ovltest::RunProgramCaptured;
using ovltest::TestProgram;

class UsbcheckScript : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(std::filesystem::exists(TestProgram("ovlsim"))) << "build ovlsim and usbcheck98 first";
        ASSERT_EQ(0, Sim({"init"}).status);
        ProgramOutput plug = Sim({"plug", "Sorrelink 640", "X1"});
        ASSERT_EQ(0, plug.status) << plug.err;
    }

    ProgramOutput Sim(std::vector<std::string> args)
    {
        args.insert(args.begin(), {TestProgram("ovlsim"), "--machine", machine_});
        return RunProgramCaptured(machine_, args);
    }

    // Runs the wizard with the script; its screens and complaints.
    ProgramOutput Wizard(const std::string &script)
    {
        std::string path = dir_.path() + "/script.txt";
        ovltest::WriteHostFile(path, script);
        return Sim({"usbcheck", "--script", path});
    }

    // The screen under the heading, up to the next heading.
    static std::string ScreenAfter(const std::string &out, const std::string &heading)
    {
        size_t start = out.find("=== " + heading + " ===\n");
        if (start == std::string::npos)
            return {};
        size_t end = out.find("\n=== ", start + 1);
        return out.substr(start, end == std::string::npos ? end : end - start);
    }

    ovltest::TempDir dir_;
    std::string machine_ = dir_.path() + "/machine";
};

TEST_F(UsbcheckScript, TestsTheAttachedPrinterThenTheDetachedOne)
{
    // The list selects the one printer by itself.
    ProgramOutput run = Wizard("choose 1\nnext\nnext\n");
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ("", run.err);
    EXPECT_NE(std::string::npos, ScreenAfter(run.out, "line 2: next").find("[USB/Sorrelink 640/X1 ")) << run.out;
    EXPECT_NE(std::string::npos, ScreenAfter(run.out, "line 3: next").find("Test successful !")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("=== end of script after line 3: the dialog is closed ==="));

    // Detached, the list is empty: the wizard says so in a box, and after
    // ok the test has failed.
    ASSERT_EQ(0, Sim({"unplug", "X1"}).status);
    run = Wizard("# the communication test\nchoose 1\nnext\nopen-list\nnext\nok\n");
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, ScreenAfter(run.out, "line 4: open-list").find("|(empty)")) << run.out;
    std::string box = ScreenAfter(run.out, "line 5: next: message box \"Error\"");
    EXPECT_NE(std::string::npos, box.find("/!\\  No printer selected.")) << run.out;
    EXPECT_NE(std::string::npos, box.find("[ OK ]"));
    EXPECT_NE(std::string::npos, ScreenAfter(run.out, "line 6: ok").find("Test failed !")) << run.out;
    EXPECT_EQ(std::string::npos, run.out.find("Test successful"));
}

TEST_F(UsbcheckScript, TranscriptHasEachTextWholeOnItsLine)
{
    // The texts the Wine checks compare: the dialog as it first waits, each
    // action, a message box, the page after it with its line breaks
    // escaped, and the end of the script.
    ASSERT_EQ(0, Sim({"unplug", "X1"}).status);
    std::string script = dir_.path() + "/script.txt";
    std::string transcript = dir_.path() + "/transcript.txt";
    ovltest::WriteHostFile(script, "choose 1\nnext\nnext\nok\n");
    ProgramOutput run = Sim({"usbcheck", "--script", script, "--transcript", transcript});
    ASSERT_EQ(0, run.status) << run.err;
    std::string text = ovltest::ReadHostFile(transcript);
    EXPECT_EQ(0u, text.find("dialog: OV USB Troubleshoot Utility\n"
                            "button: <- Back disabled\n"
                            "button: Next -> enabled\n"
                            "option: I want to test the communications with my USB printer checked\n"
                            "option: I want to delete an unused USB port unchecked\n"))
        << text;
    EXPECT_NE(std::string::npos, text.find("action: next\n"
                                           "selected: none\n"
                                           "button: <- Back enabled\n"
                                           "button: Next -> enabled\n"
                                           "page: \\n\\n- Make sure"))
        << text;
    const std::string end = "action: next\n"
                            "box: Error: No printer selected.\n"
                            "action: ok\n"
                            "button: <- Back enabled\n"
                            "button: Next -> disabled\n"
                            "page: \\n\\n\\n\\n\\nTest failed !\n"
                            "end\n";
    ASSERT_GE(text.size(), end.size());
    EXPECT_EQ(end, text.substr(text.size() - end.size()));

    // A script that ends on a message box ends the transcript there: what
    // the wizard does once the box is answered for it is no step.
    ovltest::WriteHostFile(script, "choose 1\nnext\nnext\n");
    ASSERT_EQ(0, Sim({"usbcheck", "--script", script, "--transcript", transcript}).status);
    text = ovltest::ReadHostFile(transcript);
    const std::string endOnBox = "box: Error: No printer selected.\nend\n";
    ASSERT_GE(text.size(), endOnBox.size());
    EXPECT_EQ(endOnBox, text.substr(text.size() - endOnBox.size()));

    // A transcript needs a script to follow.
    EXPECT_NE(0, Sim({"usbcheck", "--transcript", transcript}).status);
}

// "-" is standard output, as the convention goes: the transcript goes there
// in place of the drawn screens, and no file named "-" is made.
TEST_F(UsbcheckScript, TranscriptToStandardOutputReplacesTheScreens)
{
    std::string script = dir_.path() + "/script.txt";
    std::string transcript = dir_.path() + "/transcript.txt";
    ovltest::WriteHostFile(script, "choose 1\nnext\n");
    ASSERT_EQ(0, Sim({"usbcheck", "--script", script, "--transcript", transcript}).status);
    std::error_code ec;
    std::filesystem::remove("-", ec);
    ProgramOutput run = Sim({"usbcheck", "--script", script, "--transcript", "-"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(ovltest::ReadHostFile(transcript), run.out);
    EXPECT_EQ(std::string::npos, run.out.find("===")) << run.out;
    EXPECT_FALSE(std::filesystem::exists("-"));
}

TEST_F(UsbcheckScript, ImpossibleActionStopsTheWizard)
{
    // Back is greyed on the first page; the screens before stay written.
    ProgramOutput run = Wizard("choose 2\nback\nnext\n");
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("usbcheck98: script line 2: the button \"<- Back\" is greyed (disabled)\n", run.err);
    EXPECT_NE(std::string::npos, run.out.find("=== line 1: choose 2 ==="));
    EXPECT_EQ(std::string::npos, run.out.find("line 3"));
}

}  // namespace
