// The uninstallation: every port of the family that the spooler lists is
// deleted through DeleteUsbPort, then the family's four keys and five files
// go; what is already absent is no error, every other failure is reported
// with its own message and makes the result a failure, and the work goes on.
#include <algorithm>

#include "wizard_fixture.h"
#include "world/startup.h"

namespace wizardtest {
namespace {

const char *const kKeys[] = {
    "Enum\\USB\\VID_7E51&PID_0114",
    "Software\\Orvane\\OVLIO\\640",
    "Software\\Orvane\\OVL\\OV Sorrelink 640/880 Series",
    "System\\CurrentControlSet\\Control\\DeviceClasses\\{7c2e5a10-3b4f-4d6a-9e21-5f8c0b1d2e3a}",
};

// The files below a Windows directory, as the uninstallation names them.
std::vector<std::string> FamilyFiles(const std::string &windowsDirectory)
{
    return {
        windowsDirectory + "\\inf\\other\\Orvaneovl64098.inf", windowsDirectory + "\\system\\ovlcin00.exe",
        windowsDirectory + "\\system\\ovluci00.dll",           windowsDirectory + "\\system32\\drivers\\ovlusb00.sys",
        windowsDirectory + "\\system\\ovlpom00.dll",
    };
}

// Keys and files of the machine that are not the family's to remove.
const char *const kOtherKeys[] = {"Software\\Orvane\\OVLIO\\880", "Software\\Orvane\\OVL\\640\\X1",
                                  "Enum\\USB\\VID_7E51&PID_0004\\S1",
                                  "System\\CurrentControlSet\\Control\\Print\\Ports\\LPT1:"};
const char *const kOtherFiles[] = {"C:\\WINDOWS\\SYSTEM32\\DRIVERS\\ovlion00.sys", "C:\\WINDOWS\\SYSTEM\\ovlsetup.exe"};

class UninstallTest : public WizardTest {
protected:
    // Lays out an installation of the family: its keys (with subkeys), its
    // files (the agent being the recorder), and others that stay.
    void PlaceInstallation(const std::string &windowsDirectory = "C:\\WINDOWS")
    {
        for (const char *key : kKeys)
            CreateKey(std::string(key) + "\\Sub\\Deeper");
        for (const char *key : kOtherKeys)
            CreateKey(key);
        std::string error;
        for (const auto &file : FamilyFiles(windowsDirectory)) {
            if (file.find("ovlcin00.exe") != std::string::npos)
                ASSERT_TRUE(ovlsim::InstallHostFile(ovltest::TestProgram("agent_recorder_worker"), file, false, &error))
                    << error;
            else
                ASSERT_TRUE(ovlsim::InstallTextFile(file, "family file\n", false, &error)) << error;
        }
        for (const char *file : kOtherFiles)
            ASSERT_TRUE(ovlsim::InstallTextFile(file, "other file\n", false, &error)) << error;
    }

    void ExpectOthersKept()
    {
        for (const char *key : kOtherKeys)
            EXPECT_TRUE(KeyExists(key)) << key;
        for (const char *file : kOtherFiles)
            EXPECT_TRUE(FileExists(file)) << file;
    }

    // Runs UninstallUsbFiles on the wizard's dialog template alone.
    BOOL Uninstall()
    {
        BOOL result = FALSE;
        driver_ = std::make_shared<TestDialogDriver>();
        WithBareDialog([&](HWND dialog) {
            dialog_ = dialog;
            result = UninstallUsbFiles(dialog);
        });
        return result;
    }

    // The one message box answered: its text, caption "Error" (or the one
    // given), MB_OK, owned by the dialog unless said otherwise.
    void ExpectOneBox(const std::string &text, const std::string &caption = "Error", bool owned = true)
    {
        ASSERT_EQ(1u, driver_->boxes().size()) << Describe(driver_->boxes());
        const auto &box = driver_->boxes()[0].box;
        EXPECT_EQ(text, box.text);
        EXPECT_EQ(caption, box.caption);
        EXPECT_TRUE(box.captionGiven);
        EXPECT_EQ(static_cast<UINT>(MB_OK), box.style);
        EXPECT_EQ(owned ? dialog_ : nullptr, box.owner);
    }

    HWND dialog_ = nullptr;
};

TEST_F(UninstallTest, WizardRemovesEveryPortKeyAndFileThenFindsNothingToReport)
{
    PlaceInstallation();
    AddSpoolerPort("USB/Sorrelink 640/X2");
    AddSpoolerPort("USB/Sorrelink 880/X1");
    AddSpoolerPort("USB/Other/X9");

    // Uninstall, then Back to the options and uninstall again: everything
    // is gone by then (the agent too), and nothing is reported. The model
    // chosen plays no part.
    ChooseOption(IDC_OPTION_UNINSTALL);
    driver_->Click(IDC_NEXT).Click(IDC_BACK).Click(IDC_NEXT).Click(IDC_NEXT);
    EXPECT_EQ(0, RunWizardDialog());

    ASSERT_EQ("", driver_->error());
    const auto &views = driver_->views();
    ASSERT_EQ(7u, views.size());
    EXPECT_EQ(Page::UninstallSelect, PageShown(views[2]));
    EXPECT_EQ((std::vector<std::string>{kModelName}), ovltest::ItemsOf(views[2], IDC_PAGE_LIST));
    EXPECT_EQ(kModelName, ovltest::SelectedOf(views[2], IDC_PAGE_LIST));
    EXPECT_EQ(kUninstallPassed, ovltest::TextOf(views[3], IDC_PAGE_TEXT));
    EXPECT_EQ(Page::Options, PageShown(views[4]));
    EXPECT_EQ(kUninstallPassed, ovltest::TextOf(views[6], IDC_PAGE_TEXT));
    EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
    for (const char *key : kKeys)
        EXPECT_FALSE(KeyExists(key)) << key;
    for (const auto &file : FamilyFiles("C:\\WINDOWS"))
        EXPECT_FALSE(FileExists(file)) << file;
    ExpectOthersKept();
    auto runs = RecordedAgentRuns(MachineDir());
    std::sort(runs.begin(), runs.end());
    EXPECT_EQ((std::vector<std::string>{"-action=64 -model=Sorrelink 640 -serial=X2",
                                        "-action=64 -model=Sorrelink 880 -serial=X1"}),
              runs);
}

// With a printer installed as plugging it in does, the agent the wizard
// starts has purged before the wizard deletes what it reads: after the next
// start nothing of the family is left, its agent included.
TEST_F(UninstallTest, ThroughTheRealAgentNothingIsLeftAfterTheNextStart)
{
    ovlsim::PrinterIdentity identity;
    identity.model = "Sorrelink 640";
    identity.serial = "X1";
    std::string error;
    ASSERT_TRUE(ovlsim::PlugInPrinter(&identity, &error)) << error;
    AddSpoolerPort(identity.PortName());

    ChooseOption(IDC_OPTION_UNINSTALL);
    driver_->Click(IDC_NEXT);
    EXPECT_EQ(0, RunWizardDialog());
    EXPECT_EQ(kUninstallPassed, ovltest::TextOf(driver_->views().back(), IDC_PAGE_TEXT));
    EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
    EXPECT_FALSE(KeyExists("System\\CurrentControlSet\\Control\\Print\\Monitors\\X1"));
    EXPECT_FALSE(KeyExists("System\\CurrentControlSet\\Services\\Class\\USB Sorrelink"));

    std::vector<std::string> report;
    ovlsim::RestartWindows(&report);
    EXPECT_FALSE(FileExists(kAgentPath));
    for (std::string file : ovlsim::AllFiles()) {
        std::transform(file.begin(), file.end(), file.begin(), [](unsigned char c) { return std::tolower(c); });
        EXPECT_EQ(std::string::npos, file.find("\\ovl")) << file;
    }
}

// The port monitor's default name is listed but is no port of a model: it
// is reported, the others are processed, and the whole run fails.
TEST_F(UninstallTest, DefaultNamePortIsAnInvalidPortName)
{
    PlaceInstallation();
    AddSpoolerPort("USB/Sorrelink/Unknown");
    AddSpoolerPort("USB/Sorrelink 640/X1");

    ChooseOption(IDC_OPTION_UNINSTALL);
    driver_->Click(IDC_NEXT);
    EXPECT_EQ(0, RunWizardDialog());

    ASSERT_EQ(4u, driver_->views().size());
    EXPECT_EQ(kUninstallFailed, ovltest::TextOf(driver_->views()[3], IDC_PAGE_TEXT));
    ASSERT_EQ(1u, driver_->boxes().size()) << Describe(driver_->boxes());
    const auto &box = driver_->boxes()[0];
    EXPECT_EQ("Invalid port name", box.box.text);
    EXPECT_EQ("Error", box.box.caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK), box.box.style);
    ASSERT_TRUE(box.over.has_value());
    EXPECT_EQ(box.over->handle, box.box.owner);
    EXPECT_EQ(kUninstallWorking, ovltest::TextOf(*box.over, IDC_PAGE_TEXT));
    for (const char *key : kKeys)
        EXPECT_FALSE(KeyExists(key)) << key;
    for (const auto &file : FamilyFiles("C:\\WINDOWS"))
        EXPECT_FALSE(FileExists(file)) << file;
    EXPECT_EQ((std::vector<std::string>{"-action=64 -model=Sorrelink 640 -serial=X1"}),
              RecordedAgentRuns(MachineDir()));
}

// Without ports of the family the run goes straight to the keys and files;
// without the spooler's port key it says so, processes again the ports that
// the scratch list kept from an earlier run, and goes on.
TEST_F(UninstallTest, NoPortsAndNoPortKey)
{
    PlaceInstallation();
    EXPECT_TRUE(Uninstall());
    EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
    for (const char *key : kKeys)
        EXPECT_FALSE(KeyExists(key)) << key;
    EXPECT_TRUE(RecordedAgentRuns(MachineDir()).empty());

    // One run on a dialog that keeps its scratch list between two runs.
    PlaceInstallation();
    AddSpoolerPort("USB/Sorrelink 640/X1");
    driver_ = std::make_shared<TestDialogDriver>();
    BOOL results[2] = {FALSE, FALSE};
    WithBareDialog([&](HWND dialog) {
        dialog_ = dialog;
        results[0] = UninstallUsbFiles(dialog);
        PlaceInstallation();
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, kPortsKey));
        results[1] = UninstallUsbFiles(dialog);
    });
    EXPECT_TRUE(results[0]);
    EXPECT_TRUE(results[1]);
    ExpectOneBox("Couldn't open registry key for port names", "Error", false);
    EXPECT_EQ((std::vector<std::string>{"-action=64 -model=Sorrelink 640 -serial=X1",
                                        "-action=64 -model=Sorrelink 640 -serial=X1"}),
              RecordedAgentRuns(MachineDir()));
    for (const char *key : kKeys)
        EXPECT_FALSE(KeyExists(key)) << key;
}

// A key that cannot be deleted is reported by name; the other keys and the
// files are deleted all the same.
TEST_F(UninstallTest, KeyThatCannotBeDeleted)
{
    for (size_t failing = 0; failing < 4; failing++) {
        SCOPED_TRACE(kKeys[failing]);
        PlaceInstallation();
        win9x::machine::FailNthCall("RegDeleteKeyA", static_cast<unsigned>(failing + 1), ERROR_ACCESS_DENIED);

        EXPECT_FALSE(Uninstall());

        ExpectOneBox(std::string("Couldn't delete registry key \n\"") + kKeys[failing] + "\"");
        for (size_t k = 0; k < 4; k++)
            EXPECT_EQ(k == failing, KeyExists(kKeys[k])) << kKeys[k];
        for (const auto &file : FamilyFiles("C:\\WINDOWS"))
            EXPECT_FALSE(FileExists(file)) << file;
        ExpectOthersKept();
    }
}

// A file that cannot be deleted is reported by its path; the others are
// deleted all the same.
TEST_F(UninstallTest, FileThatCannotBeDeleted)
{
    const auto files = FamilyFiles("C:\\WINDOWS");
    for (size_t failing = 0; failing < files.size(); failing++) {
        SCOPED_TRACE(files[failing]);
        PlaceInstallation();
        win9x::machine::FailNthCall("DeleteFileA", static_cast<unsigned>(failing + 1), ERROR_SHARING_VIOLATION);

        EXPECT_FALSE(Uninstall());

        ExpectOneBox(files[failing], "Error deleting file:");
        for (size_t f = 0; f < files.size(); f++)
            EXPECT_EQ(f == failing, FileExists(files[f])) << files[f];
        for (const char *key : kKeys)
            EXPECT_FALSE(KeyExists(key)) << key;
    }

    // A read-only file does not delete either, nor one held open (as the
    // spooler holds the monitor while it prints).
    PlaceInstallation();
    ASSERT_TRUE(SetFileAttributesA(files[3].c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(Uninstall());
    ExpectOneBox(files[3], "Error deleting file:");
    EXPECT_TRUE(FileExists(files[3]));

    PlaceInstallation();
    HANDLE held = CreateFileA(files[4].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_FALSE(Uninstall());
    ExpectOneBox(files[4], "Error deleting file:");
    EXPECT_TRUE(FileExists(files[4]));
    CloseHandle(held);
}

// The files are found below the directory GetWindowsDirectoryA answers.
// When it fails, or answers a path that does not fit in 260 bytes, no path
// can be built: that is reported and no file is deleted, while the keys go.
TEST_F(UninstallTest, WindowsDirectory)
{
    PlaceInstallation("C:\\WIN98");
    PlaceInstallation();
    win9x::machine::OverrideWindowsDirectory("C:\\WIN98");
    EXPECT_TRUE(Uninstall());
    EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
    for (const auto &file : FamilyFiles("C:\\WIN98"))
        EXPECT_FALSE(FileExists(file)) << file;
    for (const auto &file : FamilyFiles("C:\\WINDOWS"))
        EXPECT_TRUE(FileExists(file)) << file;
    win9x::machine::OverrideWindowsDirectory(std::nullopt);

    const std::string long259 = "C:\\" + std::string(256, 'W');
    const struct {
        const char *what;
        std::function<void()> arrange;
    } failures[] = {
        {"GetWindowsDirectoryA fails",
         [] { win9x::machine::FailNthCall("GetWindowsDirectoryA", 1, ERROR_NOT_ENOUGH_MEMORY); }},
        {"260 characters", [&] { win9x::machine::OverrideWindowsDirectory(long259 + "W"); }},
        {"261 characters", [&] { win9x::machine::OverrideWindowsDirectory(long259 + "WW"); }},
    };
    for (const auto &f : failures) {
        SCOPED_TRACE(f.what);
        PlaceInstallation();
        f.arrange();

        EXPECT_FALSE(Uninstall());

        ExpectOneBox("Failed trying to get the system directory");
        for (const auto &file : FamilyFiles("C:\\WINDOWS"))
            EXPECT_TRUE(FileExists(file)) << file;
        for (const char *key : kKeys)
            EXPECT_FALSE(KeyExists(key)) << key;
        win9x::machine::OverrideWindowsDirectory(std::nullopt);
    }

    // 259 characters fit: the paths are built from them (no such files
    // there, so whatever is reported names them).
    ASSERT_EQ(259u, long259.size());
    win9x::machine::OverrideWindowsDirectory(long259);
    Uninstall();
    for (const auto &answered : driver_->boxes()) {
        EXPECT_EQ("Error deleting file:", answered.box.caption);
        EXPECT_EQ(long259 + "\\", answered.box.text.substr(0, 260));
    }
    for (const auto &file : FamilyFiles("C:\\WINDOWS"))
        EXPECT_TRUE(FileExists(file)) << file;
}

}  // namespace
}  // namespace wizardtest
