// The install and remove actions run in this process: the serial port check,
// the monitor registration and what its failure hands the setup program, the
// RunOnce value, and the unregistration before the purge.
#include <string>

#include "agent_test_support.h"

namespace {

using agenttest::AgentTest;
using agenttest::KeyExists;
using agenttest::PlacePrinter;
using agenttest::Printer;
using agenttest::SetText;
using agenttest::Text;

const char kX1Port[] = "USB/Sorrelink 640/X1";
const char kSetupLine[] = "C:\\ORVANE\\SETUP\\OVSETUP.EXE -ovregistry=640\\";

std::string Tail(const std::string &text, size_t length)
{
    return text.size() < length ? text : text.substr(text.size() - length);
}

std::string CmdLineOf(const std::string &serial)
{
    return Text("Software\\Orvane\\OVL\\640\\" + serial, "CmdLine").value_or("<none>");
}

std::optional<std::string> RunOnce()
{
    return Text(agenttest::kRunOnceKey, "RunOnce");
}

void RemoveRunOnce()
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, agenttest::kRunOnceKey, 0, KEY_ALL_ACCESS, &key));
    RegDeleteValueA(key, "RunOnce");
    RegCloseKey(key);
}

TEST_F(AgentTest, SerialPortCheckLooksAtEveryInstalledPrinter)
{
    const std::string printers = agenttest::kPrintersKey;
    auto check = [](const char *serial) {
        UsePrinter("Sorrelink 640", serial);
        int result = CheckSerialPort();
        EXPECT_EQ(0, g_KeyStackCount);
        return result;
    };
    EXPECT_EQ(1, check("X1"));
    EXPECT_EQ(1, check(""));

    SetText(printers + "Laser", "Port", "LPT1:");
    agenttest::CreateKey(printers + "No Port");
    EXPECT_EQ(1, check("X1"));
    // With any printer installed an empty serial is found in its port.
    EXPECT_EQ(0, check(""));

    SetText(printers + "Sorrelink 640 (X12)", "Port", "USB/Sorrelink 640/X12");
    EXPECT_EQ(0, check("X12"));
    EXPECT_EQ(0, check("X1")) << "the serial is looked for as a substring";
    EXPECT_EQ(1, check("x12")) << "the comparison is case-sensitive";
    EXPECT_EQ(1, check("X2"));
    // An index whose enumeration fails is passed over, not taken for the end.
    win9x::machine::FailNthCall("RegEnumKeyExA", 1, ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(0, check("X12"));

    // No printer list at all: nothing matches.
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, printers.c_str()));
    EXPECT_EQ(1, check(""));
}

TEST_F(AgentTest, InstallRegistersTheMonitorAndPreparesTheSetupProgram)
{
    PlacePrinter(Printer("Sorrelink 640", "X1"));
    win9x::machine::OverrideTickCount(1234);
    RunAction(ACTION_INSTALL, "Sorrelink 640", "X1");
    EXPECT_EQ(0u, g_ErrorCode);
    EXPECT_EQ("ovlpom00.dll", Text(std::string(agenttest::kMonitorsKey) + "X1", "Driver"));
    EXPECT_EQ(std::vector<std::string>{"C:\\Windows\\System\\ovlcin00.exe=C:\\Windows\\System\\00001234.ex_"},
              ovlsim::RenameEntries());
    EXPECT_TRUE(agenttest::FileExists("C:\\Windows\\System\\00001234.ex_"));
    EXPECT_EQ("-v language=english -v bustype=usb -v port=USB/Sorrelink 640/X1 -v model=Sorrelink 640 -v serial=X1"
              " -v dialog=0 -v error=0 -v abort=0",
              CmdLineOf("X1"));
    EXPECT_EQ(std::string(kSetupLine) + "X1", RunOnce());

    // With the desktop shell running the setup program is not scheduled.
    win9x::machine::SetShellRunning(true);
    PlacePrinter(Printer("Sorrelink 640", "X2"));
    RunAction(ACTION_INSTALL, "Sorrelink 640", "X2");
    EXPECT_EQ(0u, g_ErrorCode);
    EXPECT_NE(std::string::npos, CmdLineOf("X2").find("-v port=USB/Sorrelink 640/X2"));
    EXPECT_EQ(std::string(kSetupLine) + "X1", RunOnce());
}

TEST_F(AgentTest, InstallOfAPrinterAlreadyPrintedToDoesNothing)
{
    PlacePrinter(Printer("Sorrelink 640", "X1"));
    SetText(std::string(agenttest::kPrintersKey) + "Sorrelink 640 (X1)", "Port", kX1Port);
    agenttest::MachineImage before;
    RunAction(ACTION_INSTALL, "Sorrelink 640", "X1");
    // An empty serial is found in any printer's port.
    RunAction(ACTION_INSTALL, "Sorrelink 640", "");
    EXPECT_TRUE(before == agenttest::MachineImage());
    EXPECT_EQ(0u, g_ErrorCode);
}

TEST_F(AgentTest, MonitorRegistrationFailureReachesTheSetupProgram)
{
    // Already registered: ERROR_ALREADY_EXISTS, and the install goes on.
    PlacePrinter(Printer("Sorrelink 640", "X1"));
    agenttest::CreateKey(std::string(agenttest::kMonitorsKey) + "X1");
    RunAction(ACTION_INSTALL, "Sorrelink 640", "X1");
    EXPECT_EQ(static_cast<DWORD>(DIALOG_MONITOR), g_DialogCode);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), g_ErrorCode);
    EXPECT_EQ(1u, g_AbortFlag);
    EXPECT_EQ(" -v dialog=2 -v error=183 -v abort=1", Tail(CmdLineOf("X1"), 36));
    EXPECT_EQ(std::string(kSetupLine) + "X1", RunOnce());
    EXPECT_EQ(1u, ovlsim::RenameEntries().size());

    // A failure with code 2: restore copy and CmdLine still, but the setup
    // program is not scheduled.
    RemoveRunOnce();
    PlacePrinter(Printer("Sorrelink 640", "X2"));
    win9x::machine::FailNthCall("AddMonitorA", 1, ERROR_FILE_NOT_FOUND);
    RunAction(ACTION_INSTALL, "Sorrelink 640", "X2");
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_ErrorCode);
    EXPECT_EQ(" -v dialog=2 -v error=2 -v abort=1", Tail(CmdLineOf("X2"), 34));
    EXPECT_FALSE(RunOnce().has_value());
    EXPECT_EQ(2u, ovlsim::RenameEntries().size());

    // An old last-error value is not taken for the registration's failure.
    PlacePrinter(Printer("Sorrelink 640", "X3"));
    SetLastError(ERROR_ACCESS_DENIED);
    RunAction(ACTION_INSTALL, "Sorrelink 640", "X3");
    EXPECT_EQ(0u, g_ErrorCode);
    EXPECT_EQ(0u, g_DialogCode);
    EXPECT_EQ(" -v dialog=0 -v error=0 -v abort=0", Tail(CmdLineOf("X3"), 34));
}

TEST_F(AgentTest, UnsupportedPlatformIsHandedToTheSetupProgram)
{
    PlacePrinter(Printer("Sorrelink 640", "X1"));
    PlacePrinter(Printer("Sorrelink 640", "X2"));
    win9x::machine::OverrideVersion(win9x::machine::WindowsVersion::Win95);
    ResetRunState();
    ASSERT_TRUE(PrepareRun("-action=2 -model=Sorrelink 640 -serial=X1"));
    DispatchAction();
    // The action ran all the same.
    EXPECT_EQ("ovlpom00.dll", Text(std::string(agenttest::kMonitorsKey) + "X1", "Driver"));
    EXPECT_EQ(" -v dialog=1 -v error=120 -v abort=1", Tail(CmdLineOf("X1"), 36));
    EXPECT_EQ(std::string(kSetupLine) + "X1", RunOnce());

    // A failing registration overwrites the platform's codes.
    agenttest::CreateKey(std::string(agenttest::kMonitorsKey) + "X2");
    ResetRunState();
    ASSERT_TRUE(PrepareRun("-action=2 -model=Sorrelink 640 -serial=X2"));
    DispatchAction();
    EXPECT_EQ(" -v dialog=2 -v error=183 -v abort=1", Tail(CmdLineOf("X2"), 36));
}

// A printer removed before the shell has run its setup program takes that
// run away, so no printer is added at the next start for a device that is
// gone; the RunOnce value of any other printer stays.
TEST_F(AgentTest, RemoveCancelsOnlyItsOwnSetupRun)
{
    for (const char *serial : {"X1", "X2"}) {
        PlacePrinter(Printer("Sorrelink 640", serial));
        RunAction(ACTION_INSTALL, "Sorrelink 640", serial);
    }
    ASSERT_EQ(std::string(kSetupLine) + "X2", RunOnce());
    RunAction(ACTION_REMOVE, "Sorrelink 640", "X1");
    EXPECT_EQ(std::string(kSetupLine) + "X2", RunOnce());

    SetText(agenttest::kRunOnceKey, "RunOnce", std::string(kSetupLine) + "X21");
    RunAction(ACTION_REMOVE, "Sorrelink 640", "X2");
    EXPECT_EQ(std::string(kSetupLine) + "X21", RunOnce());

    SetText(agenttest::kRunOnceKey, "RunOnce", std::string(kSetupLine) + "X2");
    RunAction(ACTION_REMOVE, "Sorrelink 640", "X2");
    EXPECT_FALSE(RunOnce().has_value());
}

TEST_F(AgentTest, RemoveRecordsTheUnregistrationAndPurgesAnyway)
{
    // Never registered: ERROR_INVALID_PARAMETER, and the purge still runs.
    PlacePrinter(Printer("Sorrelink 640", "X1"));
    RunAction(ACTION_REMOVE, "Sorrelink 640", "X1");
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), g_ErrorCode);
    EXPECT_FALSE(KeyExists("Software\\Orvane\\OVLIO"));
    EXPECT_FALSE(KeyExists(agenttest::EnumKey("X1")));

    // An old last-error value is not taken for the unregistration's failure.
    Recreate(win9x::machine::WindowsVersion::Win98);
    PlacePrinter(Printer("Sorrelink 640", "X1"));
    RunAction(ACTION_INSTALL, "Sorrelink 640", "X1");
    ASSERT_TRUE(KeyExists(std::string(agenttest::kMonitorsKey) + "X1"));
    SetLastError(ERROR_ACCESS_DENIED);
    RunAction(ACTION_REMOVE, "Sorrelink 640", "X1");
    EXPECT_EQ(0u, g_ErrorCode);
    EXPECT_FALSE(KeyExists(std::string(agenttest::kMonitorsKey) + "X1"));
}

} // namespace
