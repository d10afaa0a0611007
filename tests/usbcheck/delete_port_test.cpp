// The port deletion and the registry purge: DeleteUsbPort starts the agent
// with its removal action for the port's model and serial number (without
// waiting) and deletes the port's device instance key; a name it cannot
// take apart safely is refused with nothing started or deleted. The purge
// deletes the USB enumeration key and always reports success.
#include "wizard_fixture.h"

namespace wizardtest {
namespace {

class DeletePortTest : public WizardTest {
protected:
    // Calls DeleteUsbPort with the driver answering its message boxes.
    BOOL Delete(const char *portName)
    {
        return static_cast<BOOL>(ovltest::RunWithDriver(driver_, [portName] { return DeleteUsbPort(portName); }));
    }

    static std::string InstanceKey(const std::string &serial) { return std::string(kUsbEnumKey) + "\\" + serial; }
};

TEST_F(DeletePortTest, StartsTheAgentAndDeletesTheInstanceKey)
{
    InstallAgentRecorder();
    CreateKey(InstanceKey("X1") + "\\Device Parameters");
    CreateKey(InstanceKey("X3"));
    CreateKey(InstanceKey("X2"));

    // The model lies between "USB/" and the last "/", and may hold blanks;
    // it is passed on without quotes.
    EXPECT_TRUE(Delete("USB/Sorrelink 640/X1"));
    EXPECT_EQ(1u, WaitForAgentRuns(MachineDir(), 1).size());
    EXPECT_TRUE(Delete("USB/Sorrelink 640 Plus/X3"));

    const std::vector<std::string> expected = {
        "-action=64 -model=Sorrelink 640 -serial=X1",
        "-action=64 -model=Sorrelink 640 Plus -serial=X3",
    };
    EXPECT_EQ(expected, WaitForAgentRuns(MachineDir(), 2));
    EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
    EXPECT_FALSE(KeyExists(InstanceKey("X1")));
    EXPECT_FALSE(KeyExists(InstanceKey("X3")));
    EXPECT_TRUE(KeyExists(InstanceKey("X2")));
}

// The agent's command line is built in 260 bytes: a name of 224 characters
// gives 259 and is taken, one more is refused.
TEST_F(DeletePortTest, CommandLineAtItsBufferSize)
{
    InstallAgentRecorder();
    const std::string fits = "USB/Sorrelink 640/S" + std::string(224 - 19, 's');
    const std::string tooLong = "USB/Sorrelink 640/T" + std::string(225 - 19, 't');
    ASSERT_EQ(224u, fits.size());

    EXPECT_TRUE(Delete(fits.c_str()));
    auto runs = WaitForAgentRuns(MachineDir(), 1);
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(259u, std::string("ovlcin00.exe ").size() + runs[0].size());

    EXPECT_FALSE(Delete(tooLong.c_str()));
    ASSERT_EQ(1u, driver_->boxes().size());
    EXPECT_EQ(kInvalidPortName, driver_->boxes()[0].box.text);
}

// Each refused name: the message, no owner, and nothing started or deleted.
TEST_F(DeletePortTest, RefusedNamesStartAndDeleteNothing)
{
    CreateKey(InstanceKey("X1"));
    const std::string longName = "USB/Sorrelink 640/" + std::string(260 - 18, 'L');
    const char *names[] = {
        "",
        "LPT1:",
        "USB/Sorrelink/Unknown",        // the port monitor's default name
        "USB/Sorrelink640/X1",          // no blank after the family's name
        "usb/Sorrelink 640/X1",         // the prefix is case-sensitive
        "USB/sorrelink 640/X1",
        "USB/Sorrelink 640",            // no "/" after the model
        "USB/Sorrelink 640/",           // empty serial number: the whole branch
        "USB/Sorrelink 640/X 1",        // the agent would end the serial at the blank
        "USB/Sorrelink 640/X1 ",
        "USB/Sorrelink 640/X1\\Sub",    // a serial naming a key below another
        "USB/Sorrelink 640/..\\X1",
        "USB/Sorrelink 6-40/X1",        // the agent would end the model at the '-'
        "USB/Sorrelink -serial=X1/X2",
        "USB/Sorrelink 640/880/X1",     // a '/' in the model: which printer is meant?
        "USB/Sorrelink 640/../../X1",
        longName.c_str(),
        nullptr,
    };
    // Armed to answer the next WinExec: if it is still armed at the end,
    // no refused name started anything.
    win9x::machine::FailNthCall("WinExec", 1, ERROR_BAD_FORMAT);

    for (const char *name : names) {
        SCOPED_TRACE(name ? name : "(null)");
        driver_ = std::make_shared<TestDialogDriver>();
        EXPECT_FALSE(Delete(name));
        ASSERT_EQ(1u, driver_->boxes().size()) << Describe(driver_->boxes());
        const auto &box = driver_->boxes()[0].box;
        EXPECT_EQ(kInvalidPortName, box.text);
        EXPECT_EQ("Error", box.caption);
        EXPECT_TRUE(box.captionGiven);
        EXPECT_EQ(static_cast<UINT>(MB_OK), box.style);
        EXPECT_EQ(nullptr, box.owner);
        EXPECT_TRUE(KeyExists(InstanceKey("X1")));
    }
    EXPECT_EQ(static_cast<UINT>(ERROR_BAD_FORMAT), WinExec("nothing.exe", SW_SHOWNORMAL));
}

// The deletion succeeds whether or not the agent starts and whether or not
// the instance key is there.
TEST_F(DeletePortTest, AgentThatDoesNotStartIsNotReported)
{
    CreateKey(InstanceKey("X1"));
    win9x::machine::FailNthCall("WinExec", 1, ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(Delete("USB/Sorrelink 640/X1"));
    EXPECT_FALSE(KeyExists(InstanceKey("X1")));

    // No agent on the machine at all, and no key.
    ASSERT_FALSE(FileExists(kAgentPath));
    EXPECT_TRUE(Delete("USB/Sorrelink 640/X1"));
    EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
}

// Through the wizard, with printers installed as plugging them in does: the
// port chosen is deleted, and the real agent it starts unregisters that
// printer's monitor.
TEST_F(DeletePortTest, WizardDeletesTheChosenPortThroughTheRealAgent)
{
    std::string error;
    for (const char *serial : {"X1", "X2"}) {
        ovlsim::PrinterIdentity identity;
        identity.model = "Sorrelink 640";
        identity.serial = serial;
        ASSERT_TRUE(ovlsim::PlugInPrinter(&identity, &error)) << error;
        AddSpoolerPort(identity.PortName());
    }
    const std::string monitors = "System\\CurrentControlSet\\Control\\Print\\Monitors\\";
    ASSERT_TRUE(KeyExists(monitors + "X2"));
    ovlsim::PrinterIdentity x2;
    x2.model = "Sorrelink 640";
    x2.serial = "X2";

    ChooseOption(IDC_OPTION_DELETE);
    driver_->Pick(IDC_PAGE_LIST, 1).Click(IDC_NEXT);
    EXPECT_EQ(0, RunWizardDialog());

    ASSERT_EQ("", driver_->error());
    ASSERT_EQ(5u, driver_->views().size());
    EXPECT_EQ("USB/Sorrelink 640/X2", ovltest::SelectedOf(driver_->views()[3], IDC_PAGE_LIST));
    EXPECT_EQ(kDeletePassed, ovltest::TextOf(driver_->views()[4], IDC_PAGE_TEXT));
    EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
    EXPECT_FALSE(KeyExists(InstanceKey("X2")));
    EXPECT_TRUE(KeyExists(InstanceKey("X1")));

    // The wizard does not wait for the agent: wait for its work here.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((KeyExists(monitors + "X2") || KeyExists(x2.InterfaceKey())) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(KeyExists(monitors + "X2"));
    EXPECT_FALSE(KeyExists(x2.InterfaceKey()));
    EXPECT_TRUE(KeyExists(monitors + "X1"));
}

TEST_F(DeletePortTest, WizardWithAnEmptyListRefusesTheEmptyName)
{
    ChooseOption(IDC_OPTION_DELETE);
    driver_->Click(IDC_NEXT);
    EXPECT_EQ(0, RunWizardDialog());

    ASSERT_EQ(4u, driver_->views().size());
    EXPECT_EQ(kDeleteFailed, ovltest::TextOf(driver_->views()[3], IDC_PAGE_TEXT));
    ASSERT_EQ(1u, driver_->boxes().size()) << Describe(driver_->boxes());
    EXPECT_EQ(kInvalidPortName, driver_->boxes()[0].box.text);
    EXPECT_EQ(kDeleteWorking, ovltest::TextOf(*driver_->boxes()[0].over, IDC_PAGE_TEXT));
}

// The purge deletes the family's USB enumeration key with every device
// below it, and reports success whatever the registry answers.
TEST_F(DeletePortTest, PurgeAlwaysReportsSuccess)
{
    const std::string other = std::string(kFallbackEnumKey) + "\\S1";
    CreateKey(InstanceKey("X1") + "\\Device Parameters");
    CreateKey(other);
    const struct {
        const char *what;
        std::function<void()> arrange;
        bool keyGone;
    } cases[] = {
        {"the key is there", [] {}, true},
        {"the key is already gone", [] {}, true},
        {"the deletion fails",
         [this] {
             CreateKey(InstanceKey("X1"));
             win9x::machine::FailNthCall("RegDeleteKeyA", 1, ERROR_ACCESS_DENIED);
         },
         false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        driver_ = std::make_shared<TestDialogDriver>();
        ChooseOption(IDC_OPTION_PURGE);
        driver_->Do(c.arrange).Click(IDC_NEXT);
        EXPECT_EQ(0, RunWizardDialog());

        ASSERT_EQ(5u, driver_->views().size());
        EXPECT_EQ(kPurgePassed, ovltest::TextOf(driver_->views()[4], IDC_PAGE_TEXT));
        EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
        EXPECT_EQ(c.keyGone, !KeyExists(kUsbEnumKey));
        EXPECT_TRUE(KeyExists(other));
    }
}

}  // namespace
}  // namespace wizardtest
