#include "support/machine_fixture.h"

class RegistrySmoke : public ovltest::MachineTest {};

TEST_F(RegistrySmoke, VersionValueOfNewMachine)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\microsoft\\windows\\currentversion", 0,
                                           KEY_ALL_ACCESS, &key));
    char text[64];
    DWORD size = sizeof text;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Version", nullptr, nullptr, (BYTE *)text, &size));
    EXPECT_STREQ("Windows 98", text);
    EXPECT_EQ(11u, size);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
}
