// The agent program run as a separate process, the way the class installer
// and the wizard start it: a printer's install and removal, the restart in
// between, the platform and shell cases, and argument texts that run nothing.
#include <string>
#include <vector>

#include "agent_test_support.h"
#include "world/class_installer.h"
#include "world/startup.h"

namespace {

using agenttest::FileExists;
using agenttest::KeyExists;
using agenttest::PlacePrinter;
using agenttest::Printer;
using agenttest::Text;

const char kAgentProgram[] = "C:\\WINDOWS\\SYSTEM\\ovlcin00.exe";

class AgentProcessTest : public agenttest::AgentTest {
  protected:
    static void Run(int action, const std::string &serial, const std::string &model = "Sorrelink 640")
    {
        std::string error;
        ASSERT_TRUE(ovlsim::RunAgent(action, model, serial, &error)) << error;
    }
    // Runs the agent with an argument text as WinExec passes it; its exit code.
    static int RunLine(const std::string &argumentText)
    {
        std::string line = kAgentProgram;
        if (!argumentText.empty())
            line += " " + argumentText;
        auto run = win9x::machine::RunCommandLine(line, true);
        EXPECT_TRUE(run.started) << run.error;
        return run.exitCode;
    }
    static void Restart()
    {
        std::vector<std::string> report;
        ovlsim::ProcessRenameSection(&report);
        win9x::machine::Reboot();
        ovlsim::StartShell(&report);
    }
};

TEST_F(AgentProcessTest, InstallAndRemoveTheLastPrinter)
{
    PlacePrinter(Printer("Sorrelink 640", "X1"));
    Run(ovlsim::kInstallAction, "X1");
    EXPECT_EQ("ovlpom00.dll", Text(std::string(agenttest::kMonitorsKey) + "X1", "Driver"));
    EXPECT_EQ("C:\\ORVANE\\SETUP\\OVSETUP.EXE -ovregistry=640\\X1", Text(agenttest::kRunOnceKey, "RunOnce"));
    std::string cmdLine = Text(agenttest::kConfigKey, "CmdLine").value_or("");
    EXPECT_NE(std::string::npos, cmdLine.find(" -v port=USB/Sorrelink 640/X1 -v model=Sorrelink 640 -v serial=X1"));
    EXPECT_EQ(cmdLine.size() - 34, cmdLine.rfind(" -v dialog=0 -v error=0 -v abort=0")) << cmdLine;
    auto entries = ovlsim::RenameEntries();
    ASSERT_EQ(1u, entries.size());
    const std::string prefix = std::string(agenttest::kAgentFile) + "=";
    ASSERT_EQ(0u, entries[0].rfind(prefix, 0)) << entries[0];
    const std::string copy = entries[0].substr(prefix.size());
    EXPECT_EQ(30u, copy.size());
    EXPECT_EQ(agenttest::FileText(agenttest::kAgentFile), agenttest::FileText(copy));

    Run(ovlsim::kRemoveAction, "X1");
    EXPECT_FALSE(KeyExists(std::string(agenttest::kMonitorsKey) + "X1"));
    EXPECT_FALSE(KeyExists("Software\\Orvane\\OVLIO"));
    EXPECT_FALSE(KeyExists(agenttest::EnumKey("X1")));
    entries = ovlsim::RenameEntries();
    EXPECT_EQ((std::vector<std::string>{prefix + copy, "NUL=C:\\Windows\\System\\ovlcin00.exe",
                                        "NUL=C:\\Windows\\System\\VMM32\\ovliou00.dll"}),
              entries);

    // At the next start the copy goes back over the agent, which is then
    // deleted: nothing of the family is left on drive C:.
    Restart();
    EXPECT_FALSE(FileExists(agenttest::kAgentFile));
    EXPECT_FALSE(FileExists(copy));
    EXPECT_FALSE(FileExists("C:\\Windows\\System\\VMM32\\ovliou00.dll"));
    EXPECT_FALSE(FileExists(agenttest::kWininit));
}

TEST_F(AgentProcessTest, SetupProgramRunsAtRestartAndASecondInstallFindsThePrinter)
{
    PlacePrinter(Printer("Sorrelink 640", "X1"));
    Run(ovlsim::kInstallAction, "X1");
    Restart();
    // The shell ran the setup program once, which added the printer.
    EXPECT_FALSE(Text(agenttest::kRunOnceKey, "RunOnce").has_value());
    EXPECT_EQ("USB/Sorrelink 640/X1", Text(std::string(agenttest::kPrintersKey) + "Sorrelink 640 (X1)", "Port"));
    EXPECT_TRUE(FileExists(agenttest::kAgentFile));

    // The class installer runs again for the same printer (shell stopped):
    // the serial port check finds it, and nothing is done.
    win9x::machine::SetShellRunning(false);
    agenttest::MachineImage before;
    Run(ovlsim::kInstallAction, "X1");
    EXPECT_TRUE(before == agenttest::MachineImage());
}

TEST_F(AgentProcessTest, WindowsNinetyFiveAndTheRunningShell)
{
    win9x::machine::SetVersion(win9x::machine::WindowsVersion::Win95);
    PlacePrinter(Printer("Sorrelink 640", "X1"));
    Run(ovlsim::kInstallAction, "X1");
    std::string cmdLine = Text(agenttest::kConfigKey, "CmdLine").value_or("");
    EXPECT_EQ(cmdLine.size() - 36, cmdLine.rfind(" -v dialog=1 -v error=120 -v abort=1")) << cmdLine;
    EXPECT_TRUE(KeyExists(std::string(agenttest::kMonitorsKey) + "X1"));
    EXPECT_TRUE(Text(agenttest::kRunOnceKey, "RunOnce").has_value());

    // With the shell running: the CmdLine, but no RunOnce value.
    Recreate(win9x::machine::WindowsVersion::Win98);
    win9x::machine::SetShellRunning(true);
    PlacePrinter(Printer("Sorrelink 640", "X1"));
    Run(ovlsim::kInstallAction, "X1");
    EXPECT_TRUE(Text(agenttest::kConfigKey, "CmdLine").has_value());
    EXPECT_FALSE(Text(agenttest::kRunOnceKey, "RunOnce").has_value());
}

TEST_F(AgentProcessTest, ArgumentTextsThatRunNothingEndWithZero)
{
    PlacePrinter(Printer("Sorrelink 640", "X1"));
    agenttest::MachineImage before;
    EXPECT_EQ(0, RunLine(""));
    EXPECT_EQ(0, RunLine("-action=3 -model=Sorrelink 640 -serial=X1"));
    EXPECT_EQ(0, RunLine("-action= 2 -model=Sorrelink 640 -serial=X1"));
    // An install whose argument text is one character too long: no value is
    // cut and acted on.
    std::string text = "-action=2 -serial=X1 -model=Sorrelink 640";
    EXPECT_EQ(0, RunLine(text + std::string(AGENT_TEXT_SIZE - text.size(), ' ')));
    EXPECT_TRUE(before == agenttest::MachineImage());

    // From a shell the words arrive joined by single blanks.
    std::string program = win9x::machine::HostPath(kAgentProgram);
    EXPECT_EQ(0, ovltest::RunProgram(MachineDir(), {program, "-action=2", "-model=Sorrelink", "640", "-serial=X1"}));
    EXPECT_EQ("ovlpom00.dll", Text(std::string(agenttest::kMonitorsKey) + "X1", "Driver"));
    EXPECT_TRUE(Text(agenttest::kConfigKey, "CmdLine").has_value());
}

} // namespace
