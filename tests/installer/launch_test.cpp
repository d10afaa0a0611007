// What the install prepares for the next start: the restore copy of the
// model's program file with its rename entry, and the RunOnce value that
// lets the desktop shell run the printer's setup program.
#include <cstdio>
#include <string>
#include <vector>

#include "agent_test_support.h"

namespace {

using agenttest::AgentTest;
using agenttest::FileExists;
using agenttest::FileText;
using agenttest::kAgentFile;
using agenttest::kModelKey;
using agenttest::PutFile;
using agenttest::SetText;

std::vector<std::string> RenameEntries()
{
    return ovlsim::RenameEntries();
}

TEST_F(AgentTest, CopyNumbersFollowTheTickCount)
{
    PutFile(kAgentFile, "agent");
    struct Case {
        DWORD ticks;
        const char *digits;
    } cases[] = {
        {0, "00000000"},         {99999999, "99999999"},    {100000000, "00000001"}, {199999998, "99999999"},
        {199999999, "00000001"}, {4294967295u, "94967337"}, {1234, "00001234"},
    };
    std::vector<std::string> expected;
    for (const auto &c : cases) {
        win9x::machine::OverrideTickCount(c.ticks);
        UsePrinter("Sorrelink 640", "X1");
        // No model key: the agent's own file is the target, and the read's
        // code is the result.
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ScheduleExecFileRestore()) << c.ticks;
        std::string copy = std::string("C:\\Windows\\System\\") + c.digits + ".ex_";
        EXPECT_EQ(30u, copy.size());
        EXPECT_EQ("agent", FileText(copy)) << copy;
        expected.push_back(std::string(kAgentFile) + "=" + copy);
        EXPECT_EQ(CopyNumberFromTicks(c.ticks), static_cast<DWORD>(std::stoul(c.digits)));
    }
    // Every install adds its entry behind the others, equal ones included.
    EXPECT_EQ(expected, RenameEntries());
}

TEST_F(AgentTest, RestoreCopyOfTheExecFile)
{
    win9x::machine::OverrideTickCount(1234);
    const std::string copy = "C:\\Windows\\System\\00001234.ex_";
    PutFile("C:\\Windows\\System\\ovlpom00.dll", "monitor");
    PutFile(copy, "an older copy");
    SetText(kModelKey, "ExecFile", "ovlpom00.dll");
    UsePrinter("Sorrelink 640", "X1");
    EXPECT_EQ(0u, ScheduleExecFileRestore());
    EXPECT_EQ("monitor", FileText(copy)) << "an existing restore copy is overwritten";
    EXPECT_EQ(std::vector<std::string>{"C:\\Windows\\System\\ovlpom00.dll=" + copy}, RenameEntries());

    // An empty ExecFile names the folder itself: nothing copied or written.
    std::string wininit = agenttest::WininitText();
    SetText(kModelKey, "ExecFile", "");
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANNOT_COPY), ScheduleExecFileRestore());
    // A target that is missing.
    SetText(kModelKey, "ExecFile", "missing.exe");
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANNOT_COPY), ScheduleExecFileRestore());
    EXPECT_EQ(wininit, agenttest::WininitText());

    // The copy is made, but the rename section cannot be written.
    win9x::machine::OverrideTickCount(5678);
    SetText(kModelKey, "ExecFile", "ovlpom00.dll");
    win9x::machine::FailNthCall("WritePrivateProfileSectionA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(static_cast<DWORD>(ERROR_CAN_NOT_COMPLETE), ScheduleExecFileRestore());
    EXPECT_TRUE(FileExists("C:\\Windows\\System\\00005678.ex_"));
    EXPECT_EQ(wininit, agenttest::WininitText());
}

TEST_F(AgentTest, OverlongExecFileIsRefusedBeforeAnythingIsCopied)
{
    win9x::machine::OverrideTickCount(42);
    const std::string copy = "C:\\Windows\\System\\00000042.ex_";
    // The rename section already holds an entry, so the restore entry goes
    // through the 259-character entry text: target, '=', 30 characters.
    ASSERT_EQ(0u, ScheduleDeleteOnRestart("C:\\Windows\\System\\old.dll"));
    const size_t room = AGENT_TEXT_MAX - 1 - copy.size() - std::strlen("C:\\Windows\\System\\");
    std::string fits(room - 4, 'e');
    fits += ".exe";
    std::string tooLong = "e" + fits;
    PutFile(std::string("C:\\Windows\\System\\") + fits, "long");
    PutFile(std::string("C:\\Windows\\System\\") + tooLong, "longer");

    SetText(kModelKey, "ExecFile", fits);
    UsePrinter("Sorrelink 640", "X1");
    EXPECT_EQ(0u, ScheduleExecFileRestore());
    EXPECT_EQ("long", FileText(copy));
    auto entries = RenameEntries();
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(static_cast<size_t>(AGENT_TEXT_MAX), entries[1].size());

    // One character more: 266 before any copy is made.
    ASSERT_EQ(0, std::remove(win9x::machine::HostPath(copy).c_str()));
    SetText(kModelKey, "ExecFile", tooLong);
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANNOT_COPY), ScheduleExecFileRestore());
    EXPECT_FALSE(FileExists(copy));
    EXPECT_EQ(2u, RenameEntries().size());

    // A target path over 259 characters, and an ExecFile too long for its
    // buffer (not to be taken for a missing one, which names the agent).
    PutFile(kAgentFile, "agent");
    for (size_t length : {size_t{AGENT_TEXT_MAX}, size_t{300}}) {
        SetText(kModelKey, "ExecFile", std::string(length, 'e'));
        EXPECT_EQ(static_cast<DWORD>(ERROR_CANNOT_COPY), ScheduleExecFileRestore()) << length;
        EXPECT_FALSE(FileExists(copy)) << length;
        EXPECT_EQ(2u, RenameEntries().size()) << length;
    }
}

TEST_F(AgentTest, RunOnceValueOnlyWithoutTheShell)
{
    const std::string first = "C:\\SETUP\\SETUP.EXE -ovregistry=640\\X1";
    auto runOnce = [] { return agenttest::Text(agenttest::kRunOnceKey, "RunOnce"); };

    win9x::machine::SetShellRunning(true);
    std::strcpy(g_SetupCommandLine, first.c_str());
    ScheduleSetupRunOnce();
    EXPECT_FALSE(runOnce().has_value());

    win9x::machine::SetShellRunning(false);
    ScheduleSetupRunOnce();
    EXPECT_EQ(first, runOnce());
    // REG_SZ, with its terminator counted.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, agenttest::kRunOnceKey, 0, KEY_READ, &key));
    DWORD type = 0xdeadbeef, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "RunOnce", nullptr, &type, nullptr, &size));
    RegCloseKey(key);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(first.size() + 1, size);

    // A later install replaces a command line the shell has not run yet.
    std::strcpy(g_SetupCommandLine, "C:\\SETUP\\SETUP.EXE -ovregistry=640\\X2");
    ScheduleSetupRunOnce();
    EXPECT_EQ("C:\\SETUP\\SETUP.EXE -ovregistry=640\\X2", runOnce());
}

} // namespace
