// The agent's command line and start-up: the option grammar, the refusal of
// an argument text too long for its buffer, and the platform check.
#include <string>

#include "agent_test_support.h"

namespace {

using agenttest::AgentTest;

struct Parsed {
    LONG action;
    std::string model;
    std::string serial;
};

// Parses an argument text as the agent's start-up does.
Parsed Parse(const std::string &text)
{
    ResetRunState();
    EXPECT_TRUE(PrepareRun(text.c_str())) << text;
    return {g_Action, g_Model, g_Serial};
}

TEST_F(AgentTest, CommandLineOptionsInAnyOrder)
{
    struct Case {
        const char *text;
        LONG action;
        const char *model;
        const char *serial;
    } cases[] = {
        // The one blank before the following option is dropped.
        {"-action=64 -model=Sorrelink 640 -serial=X1", 64, "Sorrelink 640", "X1"},
        // The model runs to the end of the text: no blank to drop.
        {"-serial=X1 -action=2 -model=Sorrelink 640", 2, "Sorrelink 640", "X1"},
        // A model is cut before its first '-'.
        {"-model=Sorrelink 640-PS -serial=X1", 0, "Sorrelink 640", "X1"},
        // Two blanks: only one goes.
        {"-model=Sorrelink 640  -serial=X1 -action=64", 64, "Sorrelink 640 ", "X1"},
        // "-action=" followed by a blank has no digits.
        {"-action= 2 -model=Sorrelink 640 -serial=X1", 0, "Sorrelink 640", "X1"},
        // Each key counts at its first occurrence, case-sensitively.
        {"-serial=A1 -serial=B2 -Action=2 -action=3", 3, "", "A1"},
        // The serial ends at the first blank; text around the options is ignored.
        {"junk -serial=X1 more -action=2", 2, "", "X1"},
        // Sign, leading white space and trailing non-digits of the number.
        {"-action=+64abc", 64, "", ""},
        {"-action=-2", -2, "", ""},
        {"-action=\t2", 2, "", ""},
        {"-model=", 0, "", ""},
        {"-model= -serial=X1", 0, "", "X1"},
    };
    for (const auto &c : cases) {
        Parsed parsed = Parse(c.text);
        EXPECT_EQ(c.action, parsed.action) << c.text;
        EXPECT_EQ(c.model, parsed.model) << c.text;
        EXPECT_EQ(c.serial, parsed.serial) << c.text;
    }
}

TEST_F(AgentTest, ActionNumbersBeyondThirtyTwoBitsNeverWrapToAnAction)
{
    // 2^32 + 2 and 2^32 + 64 would read as install and remove if wrapped.
    EXPECT_EQ(2147483647, Parse("-action=4294967298").action);
    EXPECT_EQ(2147483647, Parse("-action=4294967360").action);
    EXPECT_EQ(-2147483647 - 1, Parse("-action=-99999999999999999999").action);
    EXPECT_EQ(2147483647, Parse("-action=2147483647").action);
    EXPECT_EQ(-2147483647 - 1, Parse("-action=-2147483648").action);
}

TEST_F(AgentTest, EmptyOrOverlongArgumentTextRunsNothing)
{
    ResetRunState();
    EXPECT_FALSE(PrepareRun(""));
    EXPECT_FALSE(PrepareRun(nullptr));

    // 259 characters fit the command-line text; the model is parsed whole.
    std::string head = "-action=2 -serial=X1 -model=";
    std::string fits = head + std::string(AGENT_TEXT_MAX - head.size(), 'M');
    ASSERT_EQ(259u, fits.size());
    Parsed parsed = Parse(fits);
    EXPECT_EQ(2, parsed.action);
    EXPECT_EQ(std::string(AGENT_TEXT_MAX - head.size(), 'M'), parsed.model);

    // One more character: refused whole, nothing cut and then acted on.
    ResetRunState();
    EXPECT_FALSE(PrepareRun((fits + "M").c_str()));
    EXPECT_EQ(0, g_Action);
    EXPECT_STREQ("", g_Model);
    EXPECT_STREQ("", g_Serial);
    EXPECT_STREQ("", g_CmdLineText);
}

TEST_F(AgentTest, PlatformCheckRecordsCodesAndStillParses)
{
    using win9x::machine::WindowsVersion;
    struct Case {
        WindowsVersion version;
        DWORD error, dialog, abort;
    } cases[] = {
        {WindowsVersion::Win98, 0, 0, 0},
        {WindowsVersion::WinMe, 0, 0, 0},
        {WindowsVersion::Win95, ERROR_CALL_NOT_IMPLEMENTED, DIALOG_PLATFORM, 1},
        {WindowsVersion::NT4, ERROR_CALL_NOT_IMPLEMENTED, DIALOG_PLATFORM, 1},
    };
    for (const auto &c : cases) {
        win9x::machine::OverrideVersion(c.version);
        Parsed parsed = Parse("-action=2 -model=Sorrelink 640 -serial=X1");
        SCOPED_TRACE(win9x::machine::VersionKeyword(c.version));
        EXPECT_EQ(c.error, g_ErrorCode);
        EXPECT_EQ(c.dialog, g_DialogCode);
        EXPECT_EQ(c.abort, g_AbortFlag);
        EXPECT_EQ(2, parsed.action);
        EXPECT_EQ("Sorrelink 640", parsed.model);
    }
    // The start-up clears the codes it owns.
    win9x::machine::OverrideVersion(WindowsVersion::Win98);
    g_ErrorCode = 5;
    g_AbortFlag = 1;
    EXPECT_TRUE(PrepareRun("-action=2"));
    EXPECT_EQ(0u, g_ErrorCode);
    EXPECT_EQ(0u, g_AbortFlag);
}

TEST_F(AgentTest, ActionsWithoutStepsOnlyBuildTheModelKeyPath)
{
    agenttest::PlacePrinter(agenttest::Printer("Sorrelink 640", "X1"));
    agenttest::MachineImage before;
    for (LONG action : {0, 1, 3, 4, 63, 65, -2}) {
        RunAction(action, "Sorrelink 640", "X1");
        EXPECT_STREQ("Software\\Orvane\\OVLIO\\640", g_ModelKeyPath) << action;
        EXPECT_EQ(0u, g_ErrorCode) << action;
    }
    EXPECT_TRUE(before == agenttest::MachineImage()) << "an action without steps changed the machine";
}

} // namespace
