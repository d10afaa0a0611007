// kill -9 at a random moment of a running agent, round after round
// (OVL_STRESS_ROUNDS, 100 by default), installs and removals in turn: the
// machine opens again, SQLite finds both of its databases sound, WININIT.INI
// reads as whole entries, and the next agent completes the same action.
#include <signal.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "agent_test_support.h"
#include "support/sqlite_check.h"
#include "support/stress.h"

namespace {

using Clock = std::chrono::steady_clock;
using agenttest::KeyExists;
using agenttest::Printer;

class AgentKill : public agenttest::AgentTest {
  protected:
    std::vector<std::string> Agent(int action) const
    {
        return {win9x::machine::HostPath(agenttest::kAgentFile),
                "-action=" + std::to_string(action) + " -model=Sorrelink 640 -serial=X1"};
    }
    // Runs the agent to its end; how long it took.
    std::chrono::microseconds Complete(int action)
    {
        Clock::time_point start = Clock::now();
        EXPECT_EQ(0, ovltest::RunProgram(MachineDir(), Agent(action)));
        return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    }
    // Starts the agent and kills it after `delay`.
    void Kill(int action, std::chrono::microseconds delay)
    {
        int pid = ovltest::StartProgram(MachineDir(), Agent(action));
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(delay);
        kill(pid, SIGKILL);
        ovltest::WaitProgram(pid);
    }
    // Closes and opens the machine again, as a new process would, and reads
    // what a killed agent may have left half done.
    void CheckMachine()
    {
        win9x::machine::Close();
        EXPECT_EQ("ok", ovltest::MachineIntegrity(MachineDir()));
        std::string error;
        ASSERT_TRUE(win9x::machine::Open(MachineDir(), &error)) << error;
        for (const auto &entry : ovlsim::RenameEntries())
            EXPECT_NE(std::string::npos, entry.find("=C:\\")) << entry;
    }
};

TEST_F(AgentKill, AgentsKilledAtAnyMomentLeaveAMachineTheNextAgentCompletes)
{
    auto x1 = Printer("Sorrelink 640", "X1");
    agenttest::PlacePrinter(x1);
    const std::string monitor = std::string(agenttest::kMonitorsKey) + "X1";
    // One whole install and removal, for how long each takes.
    auto install = Complete(ACTION_INSTALL);
    ASSERT_TRUE(KeyExists(monitor));
    auto removal = Complete(ACTION_REMOVE);
    ASSERT_FALSE(KeyExists(monitor));

    unsigned seed = ovltest::StressSeed();
    std::mt19937 random(seed);
    for (int round = 0; round < ovltest::StressRounds() && !HasFatalFailure(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round) + " (OVL_STRESS_SEED=" + std::to_string(seed) + ")");
        // The removal purged the model's keys: the class installer puts
        // them back, as when the printer is plugged in again.
        agenttest::PlacePrinter(x1);
        Kill(ACTION_INSTALL, std::chrono::microseconds(
                                 std::uniform_int_distribution<long long>(0, install.count())(random)));
        CheckMachine();
        Complete(ACTION_INSTALL);
        EXPECT_TRUE(KeyExists(monitor));
        EXPECT_TRUE(agenttest::Text("Software\\Orvane\\OVL\\640\\X1", "CmdLine").has_value());

        Kill(ACTION_REMOVE, std::chrono::microseconds(
                                std::uniform_int_distribution<long long>(0, removal.count())(random)));
        CheckMachine();
        Complete(ACTION_REMOVE);
        EXPECT_FALSE(KeyExists(monitor));
        EXPECT_FALSE(KeyExists(x1.EnumKey()));
    }
}

}  // namespace
