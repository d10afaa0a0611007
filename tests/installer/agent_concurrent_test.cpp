// Agents running at once, as the wizard starts them (one per port, without
// waiting), and an agent killed while it works. The agents are separate
// processes on one machine; they meet in its registry and on its disk.
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "agent_test_support.h"

namespace {

using agenttest::KeyExists;
using agenttest::Printer;
using agenttest::Text;

constexpr int kAgents = 8;
constexpr int kRounds = 5;

// The keys below a key path, one a line, for failure messages.
std::string KeysBelow(const std::string &path)
{
    std::string list;
    for (const auto &key : ovlsim::AllMachineKeys()) {
        if (key.rfind(path + "\\", 0) == 0)
            list += key + "\n";
    }
    return list;
}

std::string Serial(int n)
{
    return ovltest::Numbered("C", n);
}

class AgentConcurrencyTest : public agenttest::AgentTest {
  protected:
    // Starts the agent program on the machine without waiting; its pid.
    int Start(int action, const std::string &serial)
    {
        std::string text = "-action=" + std::to_string(action) + " -model=Sorrelink 640 -serial=" + serial;
        int pid = ovltest::StartProgram(MachineDir(), {win9x::machine::HostPath(agenttest::kAgentFile), text});
        EXPECT_GT(pid, 0);
        return pid;
    }
    // Runs one action for every printer at once and waits for all of them.
    void RunAll(int action)
    {
        std::vector<int> pids;
        for (int n = 0; n < kAgents; ++n)
            pids.push_back(Start(action, Serial(n)));
        for (int pid : pids)
            EXPECT_EQ(0, ovltest::WaitProgram(pid));
    }
    // Takes the rename section's lock for this thread.
    static HANDLE HoldRenameSection()
    {
        HANDLE lock = CreateMutexA(nullptr, FALSE, RENAME_MUTEX_NAME);
        EXPECT_NE(nullptr, lock);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(lock, 0));
        return lock;
    }
    // Waits (up to 20 s) until the condition holds, and a moment more so
    // that the agent reaches the lock.
    template <class Condition> static void WaitUntil(Condition condition)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!condition() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(condition());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    static void KillAndRelease(int pid, HANDLE lock)
    {
        EXPECT_EQ(0, kill(pid, SIGKILL));
        EXPECT_EQ(-1, ovltest::WaitProgram(pid));
        EXPECT_TRUE(ReleaseMutex(lock));
        CloseHandle(lock);
    }
    static bool RestoreCopyMade()
    {
        for (const auto &file : ovlsim::AllFiles()) {
            if (file.size() > 4 && file.substr(file.size() - 4) == ".ex_")
                return true;
        }
        return false;
    }
    // The machine is readable: the registry opens and lists, WININIT.INI
    // parses into entries of the form target=source.
    static void ExpectReadableMachine()
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet", 0, KEY_READ, &key));
        RegCloseKey(key);
        EXPECT_FALSE(ovlsim::AllMachineKeys().empty());
        for (const auto &entry : ovlsim::RenameEntries())
            EXPECT_NE(std::string::npos, entry.find('=')) << entry;
    }
};

TEST_F(AgentConcurrencyTest, EightAgentsAtOnceLoseNoRenameEntry)
{
    // Several rounds, since agents overlap differently every time.
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        DeleteFileA(agenttest::kWininit);
        for (int n = 0; n < kAgents; ++n)
            agenttest::PlacePrinter(Printer("Sorrelink 640", Serial(n)));

        // Eight installs at once: each leaves its monitor, its CmdLine and
        // one restore entry; none drops another's entry.
        RunAll(ACTION_INSTALL);
        auto installed = ovlsim::RenameEntries();
        EXPECT_EQ(static_cast<size_t>(kAgents), installed.size());
        for (const auto &entry : installed)
            EXPECT_EQ(0u, entry.rfind(std::string(agenttest::kAgentFile) + "=C:\\Windows\\System\\", 0)) << entry;
        for (int n = 0; n < kAgents; ++n) {
            EXPECT_TRUE(KeyExists(std::string(agenttest::kMonitorsKey) + Serial(n))) << n;
            EXPECT_TRUE(Text("Software\\Orvane\\OVL\\640\\" + Serial(n), "CmdLine").has_value()) << n;
        }

        // Eight removals at once: every device goes, the family's keys go
        // with the last of them, and the restore entries are all still
        // there, with the deletions behind them.
        RunAll(ACTION_REMOVE);
        for (int n = 0; n < kAgents; ++n) {
            EXPECT_FALSE(KeyExists(std::string(agenttest::kMonitorsKey) + Serial(n))) << n;
            EXPECT_FALSE(KeyExists(agenttest::EnumKey(Serial(n)))) << n;
        }
        for (const char *key :
             {"Enum\\USB\\VID_7E51&PID_0114",
              "System\\CurrentControlSet\\Control\\DeviceClasses\\{7c2e5a10-3b4f-4d6a-9e21-5f8c0b1d2e3a}",
              "System\\CurrentControlSet\\Services\\Class\\USB Sorrelink",
              "System\\CurrentControlSet\\Services\\Ovlion00", "Software\\Orvane\\OVLIO"})
            EXPECT_FALSE(KeyExists(key)) << key << " still holds:\n" << KeysBelow(key);
        ExpectReadableMachine();

        // The agents took turns on the purge: only the last of them purged
        // the family and scheduled its two files.
        auto expected = installed;
        expected.push_back("NUL=C:\\Windows\\System\\ovlcin00.exe");
        expected.push_back("NUL=C:\\Windows\\System\\VMM32\\ovliou00.dll");
        EXPECT_EQ(expected, ovlsim::RenameEntries());
    }
}

TEST_F(AgentConcurrencyTest, EightRemovalsAmongPrintersOfAnotherModel)
{
    // Printers of another model stay installed: the removals' walks over the
    // device interfaces are long, and must neither skip their own device's
    // interface nor touch another's.
    constexpr int kOthers = 24;
    for (int n = 0; n < kOthers; ++n)
        agenttest::PlacePrinter(Printer("Sorrelink 880", ovltest::Numbered("D", n), "0113"));
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        for (int n = 0; n < kAgents; ++n)
            agenttest::PlacePrinter(Printer("Sorrelink 640", Serial(n)));
        RunAll(ACTION_INSTALL);
        RunAll(ACTION_REMOVE);
        for (int n = 0; n < kAgents; ++n)
            EXPECT_FALSE(KeyExists(Printer("Sorrelink 640", Serial(n)).InterfaceKey())) << n;
        for (int n = 0; n < kOthers; ++n)
            EXPECT_TRUE(KeyExists(Printer("Sorrelink 880", ovltest::Numbered("D", n), "0113").InterfaceKey())) << n;
        // The model went with the last of its printers; the family stays.
        EXPECT_FALSE(KeyExists("Software\\Orvane\\OVLIO\\640"));
        EXPECT_TRUE(KeyExists("Software\\Orvane\\OVLIO\\880"));
        EXPECT_TRUE(KeyExists("System\\CurrentControlSet\\Services\\Ovlion00"));
        EXPECT_EQ(static_cast<size_t>(kAgents * (round + 1)), ovlsim::RenameEntries().size());
    }
}

TEST_F(AgentConcurrencyTest, RemovalWaitsWhileAnotherPurges)
{
    agenttest::PlacePrinter(Printer("Sorrelink 640", "X1"));
    EXPECT_EQ(0, ovltest::WaitProgram(Start(ACTION_INSTALL, "X1")));
    // Another agent's purge is under way: this one unregisters its monitor
    // and then waits its turn before it touches a key.
    HANDLE purge = CreateMutexA(nullptr, FALSE, PURGE_MUTEX_NAME);
    ASSERT_NE(nullptr, purge);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(purge, 0));
    int pid = Start(ACTION_REMOVE, "X1");
    WaitUntil([] { return !KeyExists(std::string(agenttest::kMonitorsKey) + "X1"); });
    // It waits for the purge mutex, and touches no key while it does.
    WaitUntil([] { return win9x::machine::NamedMutexHasWaiter(PURGE_MUTEX_NAME); });
    EXPECT_TRUE(KeyExists(agenttest::EnumKey("X1")));
    EXPECT_TRUE(KeyExists("Software\\Orvane\\OVLIO\\640"));
    EXPECT_TRUE(ReleaseMutex(purge));
    CloseHandle(purge);
    EXPECT_EQ(0, ovltest::WaitProgram(pid));
    EXPECT_FALSE(KeyExists(agenttest::EnumKey("X1")));
    EXPECT_FALSE(KeyExists("Software\\Orvane\\OVLIO"));
}

TEST_F(AgentConcurrencyTest, AgentsKilledWhileWaitingForTheRenameSection)
{
    agenttest::PlacePrinter(Printer("Sorrelink 640", "X1"));
    agenttest::PlacePrinter(Printer("Sorrelink 640", "X2"));

    // Hold the rename section's lock, so that the install stops in the
    // middle: monitor registered, restore copy made, entry not yet written.
    HANDLE rename = HoldRenameSection();
    int pid = Start(ACTION_INSTALL, "X1");
    WaitUntil([] { return KeyExists(std::string(agenttest::kMonitorsKey) + "X1") && RestoreCopyMade(); });
    KillAndRelease(pid, rename);
    ExpectReadableMachine();
    EXPECT_TRUE(ovlsim::RenameEntries().empty());

    // A later agent works: it takes the lock and writes its entry.
    EXPECT_EQ(0, ovltest::WaitProgram(Start(ACTION_INSTALL, "X2")));
    EXPECT_EQ(1u, ovlsim::RenameEntries().size());
    EXPECT_TRUE(Text("Software\\Orvane\\OVL\\640\\X2", "CmdLine").has_value());

    // The removal of the last printer stops while it holds the purge lock:
    // the family's keys are gone, its files not yet scheduled.
    EXPECT_EQ(0, ovltest::WaitProgram(Start(ACTION_REMOVE, "X1")));
    rename = HoldRenameSection();
    pid = Start(ACTION_REMOVE, "X2");
    WaitUntil([] { return !KeyExists("Software\\Orvane\\OVLIO"); });
    KillAndRelease(pid, rename);
    ExpectReadableMachine();
    EXPECT_EQ(1u, ovlsim::RenameEntries().size());

    // The next removal takes over the abandoned purge lock at once.
    agenttest::PlacePrinter(Printer("Sorrelink 640", "X3"));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, ovltest::WaitProgram(Start(ACTION_REMOVE, "X3")));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(PURGE_MUTEX_WAIT / 2000));
    EXPECT_FALSE(KeyExists("Software\\Orvane\\OVLIO"));
    auto entries = ovlsim::RenameEntries();
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ("NUL=C:\\Windows\\System\\ovlcin00.exe", entries[1]);
}

TEST_F(AgentConcurrencyTest, AgentsKilledAtAnyMomentLeaveAReadableMachine)
{
    for (int n = 0; n < kAgents; ++n)
        agenttest::PlacePrinter(Printer("Sorrelink 640", Serial(n)));
    // Installs and removals killed after growing delays (an agent runs for
    // a few milliseconds), so that the kills fall into different steps:
    // registry calls, the rename section, the purge.
    for (int n = 0; n < kAgents; ++n) {
        int install = Start(ACTION_INSTALL, Serial(n));
        std::this_thread::sleep_for(std::chrono::microseconds(700 * n));
        kill(install, SIGKILL);
        ovltest::WaitProgram(install);
        int remove = Start(ACTION_REMOVE, Serial(n));
        std::this_thread::sleep_for(std::chrono::microseconds(700 * n + 350));
        kill(remove, SIGKILL);
        ovltest::WaitProgram(remove);
        ExpectReadableMachine();
    }
    // Later agents work on what the killed ones left: every removal runs to
    // its end and takes its monitor and its device's keys.
    for (int n = 0; n < kAgents; ++n)
        EXPECT_EQ(0, ovltest::WaitProgram(Start(ACTION_REMOVE, Serial(n))));
    for (int n = 0; n < kAgents; ++n) {
        EXPECT_FALSE(KeyExists(std::string(agenttest::kMonitorsKey) + Serial(n))) << n;
        EXPECT_FALSE(KeyExists(agenttest::EnumKey(Serial(n)))) << n;
    }
    ExpectReadableMachine();
}

} // namespace
