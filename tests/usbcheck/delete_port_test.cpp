// The port deletion and the registry purge: DeleteUsbPort starts the agent
// with its removal action for the port's model and serial number (WinExec
// returns once the agent has done its work) and deletes the port's device
// instance key; a name it cannot take apart safely is refused with nothing
// started or deleted. The purge deletes the USB enumeration key and always
// reports success.
#include <tuple>

#include "wizard_fixture.h"
#include "world/class_installer.h"

namespace wizardtest {
namespace {

class DeletePortTest : public WizardTest {
protected:
    static constexpr const char *kMonitors = "System\\CurrentControlSet\\Control\\Print\\Monitors\\";
    static constexpr const char *kDriverKeys = "System\\CurrentControlSet\\Services\\Class\\USB Sorrelink\\";

    static ovlsim::PrinterIdentity Identity(const std::string &serial)
    {
        ovlsim::PrinterIdentity identity;
        identity.model = "Sorrelink 640";
        identity.serial = serial;
        return identity;
    }

    // Printers plugged in and installed as the class installer does, each
    // with its port in the spooler's list.
    static void PlugInstalled(const std::vector<std::string> &serials)
    {
        for (const auto &serial : serials) {
            auto identity = Identity(serial);
            std::string error;
            ASSERT_TRUE(ovlsim::PlugInPrinter(&identity, &error)) << error;
            AddSpoolerPort(identity.PortName());
        }
    }

    // The deletions the rename section schedules (the restore copy's entry,
    // whose name holds the tick count, left out).
    static std::vector<std::string> ScheduledDeletions()
    {
        std::vector<std::string> deletions;
        for (const auto &entry : ovlsim::RenameEntries()) {
            if (entry.rfind("NUL=", 0) == 0)
                deletions.push_back(entry);
        }
        return deletions;
    }

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
    EXPECT_EQ(1u, RecordedAgentRuns(MachineDir()).size());
    EXPECT_TRUE(Delete("USB/Sorrelink 640 Plus/X3"));
    EXPECT_EQ(2u, RecordedAgentRuns(MachineDir()).size());

    const std::vector<std::string> expected = {
        "-action=64 -model=Sorrelink 640 -serial=X1",
        "-action=64 -model=Sorrelink 640 Plus -serial=X3",
    };
    EXPECT_EQ(expected, RecordedAgentRuns(MachineDir()));
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
    auto runs = RecordedAgentRuns(MachineDir());
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
// port chosen is deleted, and the real agent it starts removes that printer
// (its monitor, its interface and its driver key) before the wizard deletes
// the device's enumeration key, which tells the agent which driver key is
// the printer's.
TEST_F(DeletePortTest, WizardDeletesTheChosenPortThroughTheRealAgent)
{
    PlugInstalled({"X1", "X2"});
    ASSERT_TRUE(KeyExists(kDriverKeys + std::string("0001")));

    ChooseOption(IDC_OPTION_DELETE);
    driver_->Pick(IDC_PAGE_LIST, 1).Click(IDC_NEXT);
    EXPECT_EQ(0, RunWizardDialog());

    ASSERT_EQ("", driver_->error());
    ASSERT_EQ(5u, driver_->views().size());
    EXPECT_EQ("USB/Sorrelink 640/X2", ovltest::SelectedOf(driver_->views()[3], IDC_PAGE_LIST));
    EXPECT_EQ(kDeletePassed, ovltest::TextOf(driver_->views()[4], IDC_PAGE_TEXT));
    EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
    EXPECT_FALSE(KeyExists(InstanceKey("X2")));
    EXPECT_FALSE(KeyExists(kMonitors + std::string("X2")));
    EXPECT_FALSE(KeyExists(Identity("X2").InterfaceKey()));
    EXPECT_FALSE(KeyExists(kDriverKeys + std::string("0001")));
    EXPECT_TRUE(KeyExists(InstanceKey("X1")));
    EXPECT_TRUE(KeyExists(kMonitors + std::string("X1")));
    EXPECT_TRUE(KeyExists(kDriverKeys + std::string("0000")));
}

// Deleting the last printer's port leaves the machine as the class
// installer's removal does: the driver key, the INF file, the model's and
// the family's keys gone, the agent and its helper scheduled for deletion.
TEST_F(DeletePortTest, WizardDeletingTheLastPortPurgesAsTheRemovalDoes)
{
    const auto purgedBy = [this](bool wizard) {
        PlugInstalled({"X1"});
        if (wizard) {
            ChooseOption(IDC_OPTION_DELETE);
            driver_->Click(IDC_NEXT);
            EXPECT_EQ(0, RunWizardDialog());
            EXPECT_EQ(kDeletePassed, ovltest::TextOf(driver_->views().back(), IDC_PAGE_TEXT));
        } else {
            std::string error;
            EXPECT_TRUE(ovlsim::RemovePrinter("Sorrelink 640", "X1", &error)) << error;
        }
        // The restore copy's name holds the tick count: left out.
        auto files = ovlsim::AllFiles();
        std::erase_if(files, [](const std::string &f) { return f.ends_with(".ex_"); });
        return std::make_tuple(ovlsim::AllMachineKeys(), files, ScheduledDeletions());
    };
    auto byWizard = purgedBy(true);
    Recreate(win9x::machine::WindowsVersion::Win98);
    driver_ = std::make_shared<TestDialogDriver>();
    auto byRemoval = purgedBy(false);

    EXPECT_EQ(std::get<0>(byRemoval), std::get<0>(byWizard));
    EXPECT_EQ(std::get<1>(byRemoval), std::get<1>(byWizard));
    EXPECT_EQ(std::get<2>(byRemoval), std::get<2>(byWizard));
    EXPECT_FALSE(KeyExists(kDriverKeys + std::string("0000")));
    EXPECT_FALSE(FileExists("C:\\WINDOWS\\INF\\OTHER\\Orvaneovl64098.inf"));
    EXPECT_EQ((std::vector<std::string>{"NUL=C:\\Windows\\System\\ovlcin00.exe",
                                        "NUL=C:\\Windows\\System\\VMM32\\ovliou00.dll"}),
              std::get<2>(byWizard));
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
