// The agent's registry walks: OpenKeyPath and CloseKeyPath with the
// open-key stack, and ReadModelValue with its port name search.
#include <cstdint>
#include <string>

#include "agent_test_support.h"

namespace {

using agenttest::AgentTest;
using agenttest::CreateKey;
using agenttest::SetText;
using agenttest::SetValue;

// A key is still open when it can be queried.
bool IsOpen(HKEY key)
{
    DWORD subkeys = 0;
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS;
}

// "K1\K2\...\Kn": a path of n components.
std::string DeepPath(int components)
{
    std::string path = "Software\\Deep";
    for (int n = 3; n <= components; ++n)
        path += "\\K" + std::to_string(n);
    return path;
}

TEST_F(AgentTest, KeyPathWalkKeepsParentsOnTheStack)
{
    char leaf[AGENT_TEXT_SIZE] = "stale";
    HKEY current = HKEY_LOCAL_MACHINE;
    EXPECT_EQ(0u, OpenKeyPath("System\\CurrentControlSet\\Control\\Print\\Printers\\", &current, leaf));
    EXPECT_NE(HKEY_LOCAL_MACHINE, current);
    EXPECT_STREQ("Printers", leaf);
    ASSERT_EQ(5, g_KeyStackCount);
    EXPECT_EQ(HKEY_LOCAL_MACHINE, g_KeyStack[0]);
    HKEY opened[5] = {current, g_KeyStack[1], g_KeyStack[2], g_KeyStack[3], g_KeyStack[4]};
    for (HKEY key : opened)
        EXPECT_TRUE(IsOpen(key));

    EXPECT_EQ(0u, CloseKeyPath(&current));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, current);
    EXPECT_EQ(0, g_KeyStackCount);
    for (HKEY key : opened)
        EXPECT_FALSE(IsOpen(key)) << "a key of the walk stayed open";
    EXPECT_TRUE(IsOpen(HKEY_LOCAL_MACHINE));

    // Leading, doubled and trailing backslashes are no components.
    EXPECT_EQ(0u, OpenKeyPath("\\System\\\\CurrentControlSet\\", &current, nullptr));
    EXPECT_EQ(2, g_KeyStackCount);
    EXPECT_EQ(0u, CloseKeyPath(&current));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, current);
}

// A walk over subkeys passes over an index that fails once, but an error
// that lasts (here: the key was deleted under the walk) ends it.
TEST_F(AgentTest, SubkeyWalkEndsWhenFailuresLast)
{
    CreateKey("Software\\Walk\\A");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Walk", 0, KEY_ALL_ACCESS, &key));
    char name[AGENT_TEXT_SIZE];
    DWORD failures = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Walk"));
    DWORD index = 0;
    while (NextSubkey(key, index, name, sizeof name, &failures) != ERROR_NO_MORE_ITEMS && index < 1000)
        ++index;
    RegCloseKey(key);
    EXPECT_EQ(static_cast<DWORD>(SUBKEY_WALK_FAILURES - 1), index);
}

TEST_F(AgentTest, FailedWalkFromTheRootLeavesTheRootAndAnEmptyStack)
{
    char leaf[AGENT_TEXT_SIZE];
    HKEY current = HKEY_LOCAL_MACHINE;
    EXPECT_EQ(0u, OpenKeyPath("System\\CurrentControlSet\\NoSuchKey\\Below", &current, leaf));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, current);
    EXPECT_EQ(0, g_KeyStackCount);
    // The keys the walk opened before it failed are closed again.
    EXPECT_FALSE(IsOpen(g_KeyStack[1]));

    // The very first component missing.
    EXPECT_EQ(0u, OpenKeyPath("NoSuchRoot\\Below", &current, nullptr));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, current);
    EXPECT_EQ(0, g_KeyStackCount);

    // A path over 259 characters opens nothing.
    std::string longPath = "System\\" + std::string(AGENT_TEXT_SIZE, 'x');
    EXPECT_EQ(0u, OpenKeyPath(longPath.c_str(), &current, leaf));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, current);
    EXPECT_EQ(0, g_KeyStackCount);
}

TEST_F(AgentTest, OpenKeyStackHoldsTwentyKeys)
{
    // The stack alone: a push onto a full stack takes nothing, a pop from an
    // empty one gives the root.
    for (int n = 0; n < KEY_STACK_SIZE + 3; ++n)
        PushKey(reinterpret_cast<HKEY>(static_cast<intptr_t>(0x1000 + n)));
    EXPECT_EQ(KEY_STACK_SIZE, g_KeyStackCount);
    EXPECT_EQ(reinterpret_cast<HKEY>(static_cast<intptr_t>(0x1000 + KEY_STACK_SIZE - 1)), PopKey());
    while (g_KeyStackCount > 0)
        PopKey();
    EXPECT_EQ(HKEY_LOCAL_MACHINE, PopKey());
    EXPECT_EQ(0, g_KeyStackCount);

    // A walk of 20 components fills the stack and closes cleanly.
    CreateKey(DeepPath(21));
    HKEY current = HKEY_LOCAL_MACHINE;
    char leaf[AGENT_TEXT_SIZE];
    EXPECT_EQ(0u, OpenKeyPath(DeepPath(20).c_str(), &current, leaf));
    EXPECT_EQ(KEY_STACK_SIZE, g_KeyStackCount);
    EXPECT_STREQ("K20", leaf);
    HKEY deepest = current;
    HKEY parent = g_KeyStack[KEY_STACK_SIZE - 1];
    EXPECT_EQ(0u, CloseKeyPath(&current));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, current);
    EXPECT_EQ(0, g_KeyStackCount);
    EXPECT_FALSE(IsOpen(deepest));
    EXPECT_FALSE(IsOpen(parent));

    // One more component has no room for its parent: the walk fails as a
    // whole instead of losing a key.
    EXPECT_EQ(0u, OpenKeyPath(DeepPath(21).c_str(), &current, leaf));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, current);
    EXPECT_EQ(0, g_KeyStackCount);
    EXPECT_FALSE(IsOpen(g_KeyStack[KEY_STACK_SIZE - 1]));
}

TEST_F(AgentTest, ReadModelValueReadsTextsWithinTheirBuffer)
{
    char dest[AGENT_TEXT_SIZE];
    std::strcpy(dest, "stale");
    // A missing key empties the destination and gives the open's code.
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              ReadModelValue("Software\\Orvane\\OVLIO\\none", "SetupRootPath", dest));
    EXPECT_STREQ("", dest);

    CreateKey(agenttest::kModelKey);
    std::strcpy(dest, "stale");
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ReadModelValue(agenttest::kModelKey, "Missing", dest));

    // 259 characters and the terminator fit the 260 bytes; one more does not.
    std::string fits(AGENT_TEXT_MAX, 'a');
    SetText(agenttest::kModelKey, "Fits", fits);
    SetText(agenttest::kModelKey, "TooLong", fits + "a");
    EXPECT_EQ(0u, ReadModelValue(agenttest::kModelKey, "Fits", dest));
    EXPECT_EQ(fits, dest);
    std::strcpy(dest, "stale");
    EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), ReadModelValue(agenttest::kModelKey, "TooLong", dest));
    EXPECT_STREQ("stale", dest);

    // A value stored without its terminator gets one when there is room.
    SetValue(agenttest::kModelKey, "Bare", REG_SZ, fits.data(), AGENT_TEXT_MAX);
    SetValue(agenttest::kModelKey, "BareFull", REG_SZ, (fits + "a").data(), AGENT_TEXT_SIZE);
    EXPECT_EQ(0u, ReadModelValue(agenttest::kModelKey, "Bare", dest));
    EXPECT_EQ(fits, dest);
    std::strcpy(dest, "stale");
    EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), ReadModelValue(agenttest::kModelKey, "BareFull", dest));
    EXPECT_STREQ("stale", dest);
    // An empty value of no bytes reads as the empty text.
    SetValue(agenttest::kModelKey, "NoBytes", REG_SZ, "", 0);
    EXPECT_EQ(0u, ReadModelValue(agenttest::kModelKey, "NoBytes", dest));
    EXPECT_STREQ("", dest);
}

TEST_F(AgentTest, PortNameSearchFindsThisPrintersPort)
{
    char dest[AGENT_TEXT_SIZE];
    SetText(agenttest::kModelKey, "PortName1", "USB/Sorrelink 640/Y7");
    SetText(agenttest::kModelKey, "PortName2", "USB/Sorrelink 640/X1");
    SetText(agenttest::kModelKey, "PortName3", "USB/Sorrelink 640/Z9");

    UsePrinter("Sorrelink 640", "X1");
    EXPECT_EQ(0u, ReadModelValue(agenttest::kModelKey, "PortName", dest));
    EXPECT_STREQ("USB/Sorrelink 640/X1", dest);

    // An empty serial takes the first port text.
    UsePrinter("Sorrelink 640", "");
    EXPECT_EQ(0u, ReadModelValue(agenttest::kModelKey, "PortName", dest));
    EXPECT_STREQ("USB/Sorrelink 640/Y7", dest);

    // The serial is looked for as a substring.
    UsePrinter("Sorrelink 640", "Z");
    EXPECT_EQ(0u, ReadModelValue(agenttest::kModelKey, "PortName", dest));
    EXPECT_STREQ("USB/Sorrelink 640/Z9", dest);

    // No port holds the serial: the search ends at PortName4, which cannot
    // be read, with its code and no port text.
    UsePrinter("Sorrelink 640", "Q5");
    std::strcpy(dest, "stale");
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ReadModelValue(agenttest::kModelKey, "PortName", dest));
    EXPECT_STREQ("", dest);

    // The search ends at the first gap, even with ports behind it.
    agenttest::CreateKey("Software\\Orvane\\OVLIO\\880");
    SetText("Software\\Orvane\\OVLIO\\880", "PortName2", "USB/Sorrelink 880/Q5");
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              ReadModelValue("Software\\Orvane\\OVLIO\\880", "PortName", dest));
    EXPECT_STREQ("", dest);

    // A port text too long to read ends it with that read's code.
    SetText("Software\\Orvane\\OVLIO\\880", "PortName1", std::string(AGENT_TEXT_SIZE, 'p'));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), ReadModelValue("Software\\Orvane\\OVLIO\\880", "PortName", dest));
}

} // namespace
