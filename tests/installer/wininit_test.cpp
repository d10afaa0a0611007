// The rename section of WININIT.INI: new entries go behind the existing
// ones, which stay as they are, equal keys included; a section or entry that
// does not fit is refused with the file untouched.
#include <cstdio>
#include <string>
#include <vector>

#include "agent_test_support.h"

namespace {

using agenttest::AgentTest;
using agenttest::kWininit;
using agenttest::WininitText;

using Lines = std::vector<std::string>;

void WriteWininit(const std::string &text)
{
    ovltest::WriteHostFile(win9x::machine::HostPath(kWininit), text);
}

// A [rename] section whose image (every line and its zero byte) counts
// exactly `count` characters, made of lines of at most 40 characters.
std::string SectionOfCount(size_t count, Lines *lines)
{
    std::string text = "[rename]\r\n";
    size_t left = count;
    for (int n = 0; left > 0; ++n) {
        std::string line = "NUL=C:\\Windows\\Temp\\f" + std::to_string(n);
        size_t length = left >= 2 * 40 ? 39 : (left > 40 ? left / 2 : left - 1);
        line.resize(length, 'x');
        lines->push_back(line);
        text += line + "\r\n";
        left -= length + 1;
    }
    return text;
}

TEST_F(AgentTest, RenameEntriesKeepTheirOrderAndDuplicates)
{
    const std::string agent = agenttest::kAgentFile;
    // No WININIT.INI: the single entry creates it.
    ASSERT_FALSE(agenttest::FileExists(kWininit));
    EXPECT_EQ(0u, ScheduleDeleteOnRestart(agent.c_str()));
    EXPECT_EQ(Lines{"NUL=" + agent}, ovlsim::RenameEntries());
    EXPECT_NE(std::string::npos, WininitText().find("[RENAME]"));

    // The same deletion again, then a restore entry for the same path: every
    // line stays, in order.
    EXPECT_EQ(0u, ScheduleDeleteOnRestart(agent.c_str()));
    EXPECT_EQ(0u, AppendRenameEntry(agent.c_str(), "C:\\Windows\\System\\00001234.ex_"));
    EXPECT_EQ(0u, ScheduleDeleteOnRestart(agent.c_str()));
    EXPECT_EQ((Lines{"NUL=" + agent, "NUL=" + agent, agent + "=C:\\Windows\\System\\00001234.ex_", "NUL=" + agent}),
              ovlsim::RenameEntries());
}

TEST_F(AgentTest, RenameSectionWrittenByOthersIsKept)
{
    WriteWininit("; written by a setup program\r\n[Other]\r\nKey=Value\r\n"
                 "[Rename]\r\nNUL=C:\\Windows\\Temp\\a.tmp\r\nC:\\Windows\\b.dll=C:\\Windows\\b.new\r\n"
                 "NUL=C:\\Windows\\Temp\\a.tmp\r\n[Last]\r\nX=1\r\n");
    EXPECT_EQ(0u, AppendRenameEntry("C:\\Windows\\System\\ovlcin00.exe", "C:\\Windows\\System\\00000007.ex_"));
    EXPECT_EQ(
        (Lines{"NUL=C:\\Windows\\Temp\\a.tmp", "C:\\Windows\\b.dll=C:\\Windows\\b.new", "NUL=C:\\Windows\\Temp\\a.tmp",
               "C:\\Windows\\System\\ovlcin00.exe=C:\\Windows\\System\\00000007.ex_"}),
        ovlsim::RenameEntries());
    char value[16] = "deadbeef";
    EXPECT_EQ(5u, GetPrivateProfileStringA("Other", "Key", "", value, sizeof value, "wininit.ini"));
    EXPECT_STREQ("Value", value);
    EXPECT_EQ(1u, GetPrivateProfileStringA("Last", "X", "", value, sizeof value, "wininit.ini"));

    // An empty section is taken like a missing one.
    WriteWininit("[rename]\r\n[Other]\r\nKey=Value\r\n");
    EXPECT_EQ(0u, ScheduleDeleteOnRestart("C:\\Windows\\System\\ovlcin00.exe"));
    EXPECT_EQ(Lines{"NUL=C:\\Windows\\System\\ovlcin00.exe"}, ovlsim::RenameEntries());
    EXPECT_EQ(5u, GetPrivateProfileStringA("Other", "Key", "", value, sizeof value, "wininit.ini"));
}

TEST_F(AgentTest, RenameEntryTextHoldsTwoHundredFiftyNineCharacters)
{
    // Into no file at all: refused before anything is written.
    std::string value(AGENT_TEXT_MAX - 4, 'v');
    EXPECT_EQ(static_cast<DWORD>(ERROR_CAN_NOT_COMPLETE), ScheduleDeleteOnRestart((value + "v").c_str()));
    EXPECT_FALSE(agenttest::FileExists(kWininit));

    EXPECT_EQ(0u, ScheduleDeleteOnRestart("C:\\first.tmp"));
    std::string before = WininitText();
    EXPECT_EQ(static_cast<DWORD>(ERROR_CAN_NOT_COMPLETE), ScheduleDeleteOnRestart((value + "v").c_str()));
    EXPECT_EQ(before, WininitText());
    EXPECT_EQ(0u, ScheduleDeleteOnRestart(value.c_str()));
    EXPECT_EQ((Lines{"NUL=C:\\first.tmp", "NUL=" + value}), ovlsim::RenameEntries());
}

TEST_F(AgentTest, RenameSectionCutShortIsNotWrittenBack)
{
    // The largest image the read delivers whole: written back with the new
    // entry behind every old one.
    Lines lines;
    WriteWininit(SectionOfCount(SECTION_READ_CAPACITY - 3, &lines));
    ASSERT_EQ(0u, ScheduleDeleteOnRestart("C:\\Windows\\System\\ovlcin00.exe"));
    lines.push_back("NUL=C:\\Windows\\System\\ovlcin00.exe");
    EXPECT_EQ(lines, ovlsim::RenameEntries());

    // One that comes back cut: 1003, and nothing behind the cut is lost.
    for (size_t count : {size_t{SECTION_READ_CAPACITY - 2}, size_t{SECTION_READ_CAPACITY}, size_t{40000}}) {
        Lines many;
        std::string text = SectionOfCount(count, &many);
        WriteWininit(text);
        EXPECT_EQ(static_cast<DWORD>(ERROR_CAN_NOT_COMPLETE), ScheduleDeleteOnRestart("C:\\x.tmp")) << count;
        EXPECT_EQ(text, WininitText()) << count;
    }
}

// Taking back deletions removes exactly the "NUL=" lines of the paths (as
// Windows compares file names) and keeps every other line in its order.
TEST_F(AgentTest, CancelledDeletionsLeaveEveryOtherEntry)
{
    const char *kept[] = {"NUL=C:\\Windows\\Temp\\a.tmp",
                          "C:\\Windows\\System\\ovlcin00.exe=C:\\Windows\\System\\00000007.ex_",
                          "NUL=C:\\Windows\\System\\VMM32\\ovliou00.dll.bak"};
    WriteWininit(std::string("[Rename]\r\n") + kept[0] + "\r\nnul=c:\\windows\\system\\vmm32\\OVLIOU00.DLL\r\n" +
                 kept[1] + "\r\nNUL=C:\\Windows\\System\\ovlcin00.exe\r\n" + kept[2] + "\r\n");
    const LPCSTR paths[] = {"C:\\Windows\\System\\ovlcin00.exe", "C:\\Windows\\System\\VMM32\\ovliou00.dll"};
    std::string before = WininitText();
    win9x::machine::FailNthCall("GetPrivateProfileSectionA", 1, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(static_cast<DWORD>(ERROR_CAN_NOT_COMPLETE), CancelDeletionsOnRestart(paths, 2));
    EXPECT_EQ(before, WininitText());

    EXPECT_EQ(0u, CancelDeletionsOnRestart(paths, 2));
    EXPECT_EQ((Lines{kept[0], kept[1], kept[2]}), ovlsim::RenameEntries());
}

TEST_F(AgentTest, RenameSectionReadAndWriteFailures)
{
    // A read that fails is no empty section: nothing is written, so no entry
    // is replaced or put out of order.
    WriteWininit("[Rename]\r\nNUL=C:\\Windows\\Temp\\a.tmp\r\n"
                 "C:\\Windows\\System\\ovlcin00.exe=C:\\Windows\\System\\00000007.ex_\r\n");
    std::string existing = WininitText();
    win9x::machine::FailNthCall("GetPrivateProfileSectionA", 1, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(static_cast<DWORD>(ERROR_CAN_NOT_COMPLETE), ScheduleDeleteOnRestart(agenttest::kAgentFile));
    EXPECT_EQ(existing, WininitText());
    ASSERT_EQ(0, std::remove(win9x::machine::HostPath(kWininit).c_str()));

    // The single-entry write fails.
    win9x::machine::FailNthCall("WritePrivateProfileStringA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(static_cast<DWORD>(ERROR_CAN_NOT_COMPLETE), ScheduleDeleteOnRestart("C:\\a.tmp"));
    EXPECT_FALSE(agenttest::FileExists(kWininit));

    // The section write-back fails.
    ASSERT_EQ(0u, ScheduleDeleteOnRestart("C:\\a.tmp"));
    std::string before = WininitText();
    win9x::machine::FailNthCall("WritePrivateProfileSectionA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(static_cast<DWORD>(ERROR_CAN_NOT_COMPLETE), ScheduleDeleteOnRestart("C:\\b.tmp"));
    EXPECT_EQ(before, WininitText());

    // A read-only WININIT.INI.
    ASSERT_TRUE(SetFileAttributesA(kWininit, FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CAN_NOT_COMPLETE), ScheduleDeleteOnRestart("C:\\b.tmp"));
    EXPECT_EQ(before, WininitText());
}

} // namespace
