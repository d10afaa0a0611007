// What the wizard's tests share: a fresh Windows 98 machine with a test
// driver for the wizard's dialog, the texts the pages show, a way to tell
// which page a view of the dialog shows, and the printers, ports and agent
// the wizard works on.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "world/host_files.h"
#include "world/machine_view.h"
#include "world/printer_actions.h"
#include "support/dialog_driver.h"
#include "support/machine_fixture.h"
#include "support/registry_helpers.h"
#include "world/usb_bus.h"
#include "usbcheck.h"

namespace wizardtest {

using ovltest::CreateKey;
using ovltest::SetText;
using ovltest::SetValue;

using ovltest::TestDialogDriver;
using win9x::machine::DialogView;
using win9x::machine::MessageBoxView;

// ---- Texts of the pages ----------------------------------------------------

inline constexpr const char *kOptionTest = "I want to test the communications with my USB printer";
inline constexpr const char *kOptionDelete = "I want to delete an unused USB port";
inline constexpr const char *kOptionPurge =
    "After connecting my USB printer, I cancelled the PnP installation and now I can't trigger it again";
inline constexpr const char *kOptionUninstall = "I want to uninstall my OV Sorrelink USB communication files";

inline constexpr const char *kTestSelectText =
    "\n\n- Make sure that your printer is connected to the computer,\n\n- Select your printer's port from the list "
    "bellow,\n\n- And then press the \"Next\"button to start the test";
inline constexpr const char *kDeleteSelectText =
    "\n\n\n- Select the port that you want to delete\n\n- Press the \"Next\" button bellow";
inline constexpr const char *kPurgeInfoText =
    "\n\n\n\nTo fix this problem you have to purge the registry\nand plug in your USB printer again";
inline constexpr const char *kUninstallSelectText =
    "This option will uninstall the USB communication drivers.\nSelect your printer in the list bellow and "
    "then\nclick \"Next\" to proceed.\n\nIf you want to upgrade to a newer version\nof the USB files, after the "
    "uninstallation you have to\nplug the printer in again and browse for the new files\ninstead of the ones in "
    "the installation CD.";

inline constexpr const char *kTestWorking = "\n\n\n\n\nExecuting test, please wait...";
inline constexpr const char *kTestPassed = "\n\n\n\n\nTest successful !";
inline constexpr const char *kTestFailed = "\n\n\n\n\nTest failed !";
inline constexpr const char *kDeleteWorking = "\n\n\n\n\nDeleting port test...";
inline constexpr const char *kDeletePassed = "\n\n\n\n\nPort deletion succeeded !";
inline constexpr const char *kDeleteFailed = "\n\n\n\n\nPort deletion failed !";
inline constexpr const char *kPurgeWorking = "\n\n\n\n\nCleaning...";
inline constexpr const char *kPurgePassed = "\n\n\n\n\nCleaning successful !";
inline constexpr const char *kUninstallWorking = "\n\n\n\n\nUninstalling USB files...";
inline constexpr const char *kUninstallPassed = "\n\n\n\n\nUninstallation successful !";
inline constexpr const char *kUninstallFailed = "\n\n\n\n\nUninstallation failed !";

inline constexpr const char *kNoCommunication =
    "Unable to communicate with printer.\nMake sure the USB cable is connected securely to both the printer and "
    "computer.";
inline constexpr const char *kInvalidPortName = "This is an invalid port name";
inline constexpr const char *kModelName = "OV Sorrelink 640/880 Series";

// ---- Keys and files ----------------------------------------------------------

inline constexpr const char *kPortsKey = "System\\CurrentControlSet\\Control\\Print\\Ports";
inline constexpr const char *kUsbEnumKey = "Enum\\USB\\VID_7E51&PID_0114";
inline constexpr const char *kFallbackEnumKey = "Enum\\USB\\VID_7E51&PID_0004";
inline constexpr const char *kAgentPath = "C:\\WINDOWS\\SYSTEM\\ovlcin00.exe";

// ---- Pages -------------------------------------------------------------------

enum class Page {
    Options,
    TestSelect,
    TestRun,
    DeleteSelect,
    DeleteRun,
    PurgeInfo,
    PurgeRun,
    UninstallSelect,
    UninstallRun,
    Unknown,
};

inline const char *PageName(Page page)
{
    static const char *const names[] = {"OptionsPage",      "TestSelectPage", "TestRunPage",  "DeleteSelectPage",
                                        "DeleteRunPage",    "PurgeInfoPage",  "PurgeRunPage", "UninstallSelectPage",
                                        "UninstallRunPage", "no page"};
    return names[static_cast<int>(page)];
}

inline std::ostream &operator<<(std::ostream &out, Page page)
{
    return out << PageName(page);
}

// The page a view shows: the options when the four options are shown and
// the page text is not, otherwise the page whose text is shown. A view that
// mixes the two shows no page.
inline Page PageShown(const DialogView &view)
{
    const int options[] = {IDC_OPTION_TEST, IDC_OPTION_DELETE, IDC_OPTION_PURGE, IDC_OPTION_UNINSTALL};
    int shown = 0;
    for (int id : options)
        shown += ovltest::IsShown(view, id) ? 1 : 0;
    bool textShown = ovltest::IsShown(view, IDC_PAGE_TEXT);
    if (shown == 4 && !textShown)
        return Page::Options;
    if (shown != 0 || !textShown)
        return Page::Unknown;
    const std::string text = ovltest::TextOf(view, IDC_PAGE_TEXT);
    const struct {
        const char *text;
        Page page;
    } texts[] = {
        {kTestSelectText, Page::TestSelect},
        {kTestWorking, Page::TestRun},
        {kTestPassed, Page::TestRun},
        {kTestFailed, Page::TestRun},
        {kDeleteSelectText, Page::DeleteSelect},
        {kDeleteWorking, Page::DeleteRun},
        {kDeletePassed, Page::DeleteRun},
        {kDeleteFailed, Page::DeleteRun},
        {kPurgeInfoText, Page::PurgeInfo},
        {kPurgeWorking, Page::PurgeRun},
        {kPurgePassed, Page::PurgeRun},
        {kUninstallSelectText, Page::UninstallSelect},
        {kUninstallWorking, Page::UninstallRun},
        {kUninstallPassed, Page::UninstallRun},
        {kUninstallFailed, Page::UninstallRun},
    };
    for (const auto &t : texts) {
        if (text == t.text)
            return t.page;
    }
    return Page::Unknown;
}

// The message boxes the driver answered, one "[caption] text" line each,
// for readable failure output.
inline std::string Describe(const std::vector<ovltest::AnsweredBox> &boxes)
{
    std::string out;
    for (const auto &b : boxes)
        out += "[" + b.box.caption + "] " + b.box.text + "\n";
    return out;
}

// ---- Registry helpers ----------------------------------------------------------

inline void DeleteValue(const std::string &path, const std::string &name)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key)) << path;
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, name.c_str()));
    RegCloseKey(key);
}

inline bool KeyExists(const std::string &path)
{
    return ovlsim::MachineKeyExists(path);
}

inline bool FileExists(const std::string &windowsPath)
{
    return GetFileAttributesA(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A spooler port, as the spooler keeps it.
inline void AddSpoolerPort(const std::string &name)
{
    CreateKey(std::string(kPortsKey) + "\\" + name);
}

// ---- The wizard on a fresh machine ---------------------------------------------

class WizardTest : public ovltest::MachineTest {
protected:
    void SetUp() override
    {
        MachineTest::SetUp();
        win9x::machine::ClearMessageBoxes();
        driver_ = std::make_shared<TestDialogDriver>();
    }

    void TearDown() override
    {
        win9x::machine::SetDialogDriver(nullptr);
        win9x::machine::ClearMessageBoxes();
        MachineTest::TearDown();
    }

    // Runs the wizard's dialog with the driver and returns the dialog's
    // result (0 when the wizard ended it; IDCANCEL when the layer had to).
    INT_PTR RunWizardDialog()
    {
        return ovltest::RunWithDriver(driver_, [] {
            return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_WIZARD), nullptr, WizardDialogProc, 0);
        });
    }

    // Runs the whole program, as it starts; returns its exit code.
    INT_PTR RunProgram()
    {
        static char commandLine[] = "";
        return ovltest::RunWithDriver(
            driver_, [] { return static_cast<INT_PTR>(WinMain(nullptr, nullptr, commandLine, SW_SHOWNORMAL)); });
    }

    // Runs `body` inside the wizard's dialog template with a dialog
    // procedure that does nothing, so that the list functions can be called
    // on the dialog's controls by themselves.
    void WithBareDialog(const std::function<void(HWND dialog)> &body)
    {
        driver_->Then([&body](win9x::machine::DialogActions &actions, std::string *) {
            body(actions.View().handle);
            return true;
        });
        ovltest::RunWithDriver(
            driver_, [] { return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_WIZARD), nullptr, BareDialogProc, 0); });
    }

    static INT_PTR CALLBACK BareDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

    // A step that sends the dialog a command, as a menu or an accelerator
    // would.
    static ovltest::DialogStep CommandStep(WORD id)
    {
        return [id](win9x::machine::DialogActions &actions, std::string *) {
            SendMessageA(actions.View().handle, WM_COMMAND, MAKEWPARAM(id, 0), 0);
            return true;
        };
    }

    // Options page -> the page of an option: click the option, then Next.
    void ChooseOption(int optionId) { driver_->Click(optionId).Click(IDC_NEXT); }

    // A printer announced by the driver and attached, without its
    // installation (the agent does not run).
    static ovlsim::PrinterIdentity AttachPrinter(const std::string &model, const std::string &serial,
                                                 const std::string &productId = "0114")
    {
        ovlsim::PrinterIdentity identity;
        identity.model = model;
        identity.serial = serial;
        identity.productId = productId;
        std::string error;
        EXPECT_TRUE(ovlsim::AnnounceDevice(identity, &error)) << error;
        EXPECT_TRUE(ovlsim::SetAttached(identity.InstanceId(), true, &error)) << error;
        return identity;
    }

    // The device interface key in which the driver keeps Product and
    // SerialNumber.
    static std::string InterfaceValuesKey(const ovlsim::PrinterIdentity &identity)
    {
        return identity.InterfaceKey() + "\\#\\Device Parameters";
    }

    // A device list entry: the port name padded to 128 columns, then the
    // device path without its first four characters.
    static std::string DeviceEntry(const std::string &name, const std::string &devicePath)
    {
        std::string entry = name.substr(0, 128);
        entry.resize(128, ' ');
        return entry + devicePath.substr(4);
    }

    static win9x::machine::Printer PrinterOf(const ovlsim::PrinterIdentity &identity)
    {
        auto printer = win9x::machine::FindPrinter(identity.InstanceId());
        EXPECT_TRUE(printer.has_value()) << identity.InstanceId();
        return printer.value_or(win9x::machine::Printer{});
    }

    static void UpdatePrinter(const win9x::machine::Printer &printer)
    {
        ASSERT_TRUE(win9x::machine::UpdatePrinter(printer)) << printer.instanceId;
    }

    std::shared_ptr<TestDialogDriver> driver_;
};

// ---- The agent as the wizard starts it -------------------------------------------

// Puts a stand-in for the agent at its place on the machine: a program that
// writes the argument text of every start, one line each, to a file in the
// machine's directory (see agent_recorder_worker.cpp).
inline void InstallAgentRecorder()
{
    std::string error;
    ASSERT_TRUE(ovlsim::InstallHostFile(ovltest::TestProgram("agent_recorder_worker"), kAgentPath, false, &error))
        << error;
}

// The argument texts recorded so far, one per start.
inline std::vector<std::string> RecordedAgentRuns(const std::string &machineDir)
{
    std::vector<std::string> lines;
    std::string text = ovltest::ReadHostFile(machineDir + "/agent-runs.txt");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            break;  // a line still being written
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace wizardtest
