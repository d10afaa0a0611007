// The uninstall purge: PurgeKey in its three modes, and the levels of
// UninstallPurge (the device, the model, the family) on printers installed
// the way the class installer leaves them.
#include <string>
#include <vector>

#include "agent_test_support.h"
#include "world/startup.h"

namespace {

using agenttest::AgentTest;
using agenttest::CreateKey;
using agenttest::FileExists;
using agenttest::KeyExists;
using agenttest::Printer;
using agenttest::SetText;

constexpr const char *kTest = "Software\\Test\\Path";

// The keys and files of the purge table, for the 640 model's printer X1.
constexpr const char *kK1Path = "Enum\\USB\\VID_7E51&PID_0114";
constexpr const char *kK2Path =
    "System\\CurrentControlSet\\Control\\DeviceClasses\\{7c2e5a10-3b4f-4d6a-9e21-5f8c0b1d2e3a}";
constexpr const char *kK3Path = "System\\CurrentControlSet\\Services\\Class\\USB Sorrelink";
constexpr const char *kK4Path = "System\\CurrentControlSet\\Services\\Ovlion00\\Parameters\\StaticDeviceConfig";
constexpr const char *kK5 = "Software\\Orvane\\OVLIO\\640";
constexpr const char *kK6 = "Software\\Orvane\\OVL\\640\\X1";
constexpr const char *kK7 = "System\\CurrentControlSet\\Services\\Class\\{7c2e5a10-3b4f-4d6a-9e21-5f8c0b1d2e3a}";
constexpr const char *kK8 = "System\\CurrentControlSet\\Services\\Ovlion00";
constexpr const char *kK9 = "Software\\Orvane\\OVLIO";
constexpr const char *kVxdKey = "System\\CurrentControlSet\\Services\\VxD\\Ovlion00";

constexpr const char *kF1 = "C:\\Windows\\Inf\\Other\\Orvaneovl64098.inf";
const std::vector<std::string> kDeletedAtOnce = {
    "C:\\Windows\\System32\\DRIVERS\\ovlusb00.sys", "C:\\Windows\\System32\\DRIVERS\\ovlion00.sys",
    "C:\\Windows\\System\\ovluci00.dll", "C:\\Windows\\System\\ovlpom00.dll"};
constexpr const char *kF6 = "C:\\Windows\\System\\ovlcin00.exe";
constexpr const char *kF7 = "C:\\Windows\\System\\VMM32\\ovliou00.dll";

class PurgeTest : public AgentTest {
  protected:
    // Plugs a printer in and runs the install action in this process.
    void Install(const ovlsim::PrinterIdentity &identity)
    {
        agenttest::PlacePrinter(identity);
        RunAction(ACTION_INSTALL, identity.model, identity.serial);
        ASSERT_EQ(0u, g_ErrorCode) << identity.serial;
    }
    static void Remove(const std::string &model, const std::string &serial) { RunAction(ACTION_REMOVE, model, serial); }
    static std::vector<std::string> Scheduled()
    {
        std::vector<std::string> deletions;
        for (const auto &entry : ovlsim::RenameEntries()) {
            if (entry.rfind("NUL=", 0) == 0)
                deletions.push_back(entry.substr(4));
        }
        return deletions;
    }
    static bool ReadOnly(const std::string &path)
    {
        DWORD attributes = GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    }
    // What the model's and the family's levels purge is all still there.
    static void ExpectModelAndFamilyKept()
    {
        EXPECT_TRUE(KeyExists(std::string(kK4Path) + "\\Sorrelink 640"));
        EXPECT_TRUE(FileExists(kF1));
        EXPECT_TRUE(KeyExists(kK5));
        EXPECT_TRUE(KeyExists(kK7));
        EXPECT_TRUE(KeyExists(kK8));
        for (const auto &file : kDeletedAtOnce)
            EXPECT_TRUE(FileExists(file)) << file;
        EXPECT_TRUE(Scheduled().empty());
    }
};

TEST_F(PurgeTest, PurgeKeyByNameTakesTheEmptiedPathKeyOneLevelOnly)
{
    CreateKey(std::string(kTest) + "\\A\\Deep");
    CreateKey(std::string(kTest) + "\\B");
    EXPECT_EQ(1, PurgeKey(kTest, "A", PurgeByName));
    EXPECT_FALSE(KeyExists(std::string(kTest) + "\\A"));
    EXPECT_TRUE(KeyExists(std::string(kTest) + "\\B"));
    // The last subkey: the path key goes too, its parent stays though empty.
    EXPECT_EQ(0, PurgeKey("Software\\Test\\Path\\", "B", PurgeByName));
    EXPECT_FALSE(KeyExists(kTest));
    EXPECT_TRUE(KeyExists("Software\\Test"));
    EXPECT_EQ(-1, PurgeKey(kTest, "B", PurgeByName));
    EXPECT_EQ(0, g_KeyStackCount);

    // A subkey that is not there: the count, and an empty path key still goes.
    CreateKey("Software\\Test\\Keep\\C");
    EXPECT_EQ(1, PurgeKey("Software\\Test\\Keep", "Missing", PurgeByName));
    CreateKey("Software\\Test\\Empty");
    EXPECT_EQ(0, PurgeKey("Software\\Test\\Empty", "Missing", PurgeByName));
    EXPECT_FALSE(KeyExists("Software\\Test\\Empty"));
    EXPECT_TRUE(KeyExists("Software\\Test\\Keep\\C"));
}

TEST_F(PurgeTest, PurgeKeyNeverDeletesBeyondTheNamedSubkey)
{
    CreateKey(std::string(kTest) + "\\A\\Deep");
    // An empty name would delete the path key itself, a backslash reaches
    // deeper: nothing is deleted.
    for (const char *name : {"", "A\\Deep", "\\A", "A\\", "\\"}) {
        EXPECT_EQ(-1, PurgeKey(kTest, name, PurgeByName)) << name;
        EXPECT_EQ(-1, PurgeKey(kTest, name, PurgeDriverKey)) << name;
        EXPECT_TRUE(KeyExists(std::string(kTest) + "\\A\\Deep")) << name;
    }
    // A key path over 259 characters.
    std::string longPath = std::string(kTest) + "\\" + std::string(AGENT_TEXT_SIZE, 'x');
    EXPECT_EQ(-1, PurgeKey(longPath.c_str(), "A", PurgeByName));
    EXPECT_EQ(0, g_KeyStackCount);

    // When the subkey count cannot be read, nothing more is deleted.
    CreateKey("Software\\Test\\Other\\Only");
    win9x::machine::FailNthCall("RegQueryInfoKeyA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(1, PurgeKey("Software\\Test\\Other", "Only", PurgeByName));
    EXPECT_FALSE(KeyExists("Software\\Test\\Other\\Only"));
    EXPECT_TRUE(KeyExists("Software\\Test\\Other"));
    EXPECT_EQ(0, g_KeyStackCount);
}

TEST_F(PurgeTest, PurgeKeyByDeviceInstanceDeletesTheFirstEqualOne)
{
    const std::string classes = "Software\\Test\\Classes";
    SetText(classes + "\\##1", "DeviceInstance", "USB\\VID_7E51&PID_0114\\X2");
    SetText(classes + "\\##2", "DeviceInstance", "usb\\vid_7e51&pid_0114\\x1");
    SetText(classes + "\\##3", "DeviceInstance", "USB\\VID_7E51&PID_0114\\X1");
    SetText(classes + "\\##4", "DeviceInstance", "USB\\VID_7E51&PID_0114\\X1");
    SetText(classes + "\\##5", "Other", "USB\\VID_7E51&PID_0114\\X1");
    UsePrinter("Sorrelink 640", "X1");
    EXPECT_EQ(4, PurgeKey(classes.c_str(), "VID_7E51&PID_0114", PurgeByDeviceInstance));
    EXPECT_FALSE(KeyExists(classes + "\\##3"));
    EXPECT_TRUE(KeyExists(classes + "\\##4"));
    EXPECT_EQ(3, PurgeKey(classes.c_str(), "VID_7E51&PID_0114", PurgeByDeviceInstance));
    // None equal (case matters): nothing deleted.
    EXPECT_EQ(3, PurgeKey(classes.c_str(), "VID_7E51&PID_0114", PurgeByDeviceInstance));
    EXPECT_TRUE(KeyExists(classes + "\\##2"));
    EXPECT_EQ(3, PurgeKey(classes.c_str(), "", PurgeByDeviceInstance));

    // An index whose enumeration fails is passed over, not taken for the end.
    SetText(classes + "\\##6", "DeviceInstance", "USB\\VID_7E51&PID_0114\\X6");
    win9x::machine::FailNthCall("RegEnumKeyExA", 1, ERROR_REGISTRY_IO_FAILED);
    UsePrinter("Sorrelink 640", "X6");
    EXPECT_EQ(3, PurgeKey(classes.c_str(), "VID_7E51&PID_0114", PurgeByDeviceInstance));
    EXPECT_FALSE(KeyExists(classes + "\\##6"));
}

TEST_F(PurgeTest, PurgeDriverKeyRemembersItsInfPath)
{
    const std::string drivers = "Software\\Test\\Drivers";
    SetText(drivers + "\\0000", "InfPath", "first.inf");
    SetText(drivers + "\\0001", "DriverDesc", "no InfPath");
    CreateKey(drivers + "\\0002");
    EXPECT_EQ(2, PurgeKey(drivers.c_str(), "0000", PurgeDriverKey));
    EXPECT_STREQ("first.inf", g_RememberedInfName);
    EXPECT_EQ(1, PurgeKey(drivers.c_str(), "0001", PurgeDriverKey));
    EXPECT_STREQ("first.inf", g_RememberedInfName);
    EXPECT_EQ(1, PurgeKey(drivers.c_str(), "0009", PurgeDriverKey));
    EXPECT_TRUE(KeyExists(drivers + "\\0002"));

    // Only a bare file name is ever deleted from the INF folder.
    for (const char *name : {"a.inf", "Orvaneovl64098.inf", "x"})
        EXPECT_TRUE(IsPlainFileName(name)) << name;
    for (const char *name : {"", ".", "..", "..\\WIN.INI", "../WIN.INI", "C:WIN.INI", "C:\\WINDOWS\\WIN.INI"})
        EXPECT_FALSE(IsPlainFileName(name)) << name;
}

TEST_F(PurgeTest, TwoPrintersOfOneHardwareId)
{
    auto x1 = Printer("Sorrelink 640", "X1");
    auto x2 = Printer("Sorrelink 640", "X2");
    Install(x1);
    Install(x2);
    const std::string x1Driver = std::string(kK3Path) + "\\0000";
    const std::string x2Driver = std::string(kK3Path) + "\\0001";
    ASSERT_EQ("USB Sorrelink\\0000", agenttest::Text(x1.EnumKey(), "driver"));
    ASSERT_EQ("USB Sorrelink\\0001", agenttest::Text(x2.EnumKey(), "driver"));

    // The first removal takes the device's keys only.
    Remove("Sorrelink 640", "X1");
    EXPECT_EQ(0u, g_ErrorCode);
    EXPECT_FALSE(KeyExists(x1.EnumKey()));
    EXPECT_FALSE(KeyExists(x1.InterfaceKey()));
    EXPECT_FALSE(KeyExists(x1Driver));
    EXPECT_FALSE(KeyExists(std::string(agenttest::kMonitorsKey) + "X1"));
    EXPECT_TRUE(KeyExists(x2.EnumKey()));
    EXPECT_TRUE(KeyExists(x2.InterfaceKey()));
    EXPECT_TRUE(KeyExists(x2Driver));
    EXPECT_TRUE(KeyExists(kK6));
    ExpectModelAndFamilyKept();

    // The second one is the last of the family.
    Remove("Sorrelink 640", "X2");
    EXPECT_FALSE(KeyExists(kK1Path));
    EXPECT_FALSE(KeyExists(kK2Path));
    EXPECT_FALSE(KeyExists(kK3Path));
    EXPECT_FALSE(KeyExists(kK4Path));
    EXPECT_FALSE(FileExists(kF1));
    EXPECT_FALSE(KeyExists(kK9));
    EXPECT_FALSE(KeyExists("Software\\Orvane\\OVL\\640\\X2"));
    EXPECT_FALSE(KeyExists(kK7));
    EXPECT_FALSE(KeyExists(kK8));
    for (const auto &file : kDeletedAtOnce)
        EXPECT_FALSE(FileExists(file)) << file;
    EXPECT_EQ((std::vector<std::string>{kF6, kF7}), Scheduled());
}

TEST_F(PurgeTest, LastPrinterOfTheFamily)
{
    Install(Printer("Sorrelink 640", "X1"));
    ASSERT_TRUE(KeyExists(kK6));
    ASSERT_TRUE(ReadOnly("C:\\Windows\\System32\\DRIVERS\\ovlion00.sys"));
    ASSERT_TRUE(ReadOnly(kF7));
    // Another device class, as every Windows 98 machine has: the class key
    // of the family goes, the classes key stays.
    CreateKey("System\\CurrentControlSet\\Services\\Class\\Printer");
    Remove("Sorrelink 640", "X1");
    EXPECT_EQ(0u, g_ErrorCode);
    for (const char *key : {kK1Path, kK2Path, kK3Path, kK4Path, kK5, kK6, kK7, kK8, kK9, "Software\\Orvane\\OVL\\640"})
        EXPECT_FALSE(KeyExists(key)) << key;
    EXPECT_TRUE(KeyExists("Software\\Orvane"));
    EXPECT_TRUE(KeyExists("System\\CurrentControlSet\\Services\\Class"));
    EXPECT_FALSE(FileExists(kF1));
    // Read-only files are deleted all the same.
    for (const auto &file : kDeletedAtOnce)
        EXPECT_FALSE(FileExists(file)) << file;
    // The agent's own file and the driver library go at the next start.
    EXPECT_TRUE(FileExists(kF6));
    EXPECT_TRUE(FileExists(kF7));
    EXPECT_FALSE(ReadOnly(kF7));
    EXPECT_EQ((std::vector<std::string>{kF6, kF7}), Scheduled());
    // The install's restore entry stands before the deletion.
    auto entries = ovlsim::RenameEntries();
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ(0u, entries[0].rfind(std::string(kF6) + "=C:\\Windows\\System\\", 0)) << entries[0];
}

// The last printer removed and plugged in again before the restart: the
// new install takes back the deletions of the family's files it needs (and
// no other entry), so they are still there after the restart.
TEST_F(PurgeTest, InstallAgainBeforeTheRestartKeepsTheFamilyFiles)
{
    Install(Printer("Sorrelink 640", "X1"));
    Remove("Sorrelink 640", "X1");
    ASSERT_EQ((std::vector<std::string>{kF6, kF7}), Scheduled());
    ASSERT_EQ(0u, ScheduleDeleteOnRestart("C:\\Windows\\Temp\\a.tmp"));
    Install(Printer("Sorrelink 640", "X1"));
    EXPECT_EQ(std::vector<std::string>{"C:\\Windows\\Temp\\a.tmp"}, Scheduled());
    EXPECT_EQ(3u, ovlsim::RenameEntries().size()) << "two restore entries and a.tmp";

    std::vector<std::string> report;
    ovlsim::ProcessRenameSection(&report);
    EXPECT_TRUE(FileExists(kF6));
    EXPECT_TRUE(FileExists(kF7));
}

// A rename section that cannot be read is not carried out in part, nor is
// WININIT.INI put aside: its entries wait for the next start.
TEST_F(PurgeTest, ARenameSectionThatCannotBeReadIsKeptForTheNextStart)
{
    Install(Printer("Sorrelink 640", "X1"));
    Remove("Sorrelink 640", "X1");
    ASSERT_EQ((std::vector<std::string>{kF6, kF7}), Scheduled());

    win9x::machine::FailNthCall("GetPrivateProfileSectionA", 1, ERROR_NOT_ENOUGH_MEMORY);
    std::vector<std::string> report;
    std::string error;
    EXPECT_FALSE(ovlsim::ProcessRenameSection(&report, &error));
    win9x::machine::ClearFaults();
    EXPECT_NE(std::string::npos, error.find("cannot be read whole")) << error;
    EXPECT_TRUE(FileExists(kF6));
    EXPECT_TRUE(FileExists("C:\\Windows\\WININIT.INI"));
    EXPECT_FALSE(FileExists("C:\\Windows\\WININIT.BAK"));

    EXPECT_TRUE(ovlsim::ProcessRenameSection(&report, &error)) << error;
    EXPECT_FALSE(FileExists(kF6));
}

TEST_F(PurgeTest, DriverKeyUnderVxdKeepsTheDriverLibrary)
{
    Install(Printer("Sorrelink 640", "X1"));
    CreateKey(kVxdKey);
    Remove("Sorrelink 640", "X1");
    EXPECT_FALSE(KeyExists(kK9));
    EXPECT_EQ(std::vector<std::string>{kF6}, Scheduled());
    EXPECT_TRUE(ReadOnly(kF7));
}

TEST_F(PurgeTest, TwoModelsKeepTheFamily)
{
    Install(Printer("Sorrelink 640", "X1"));
    Install(Printer("Sorrelink 880", "Y1", "0115"));
    Remove("Sorrelink 640", "X1");
    EXPECT_FALSE(KeyExists(kK1Path));
    EXPECT_FALSE(KeyExists(std::string(kK4Path) + "\\Sorrelink 640"));
    EXPECT_FALSE(FileExists(kF1));
    EXPECT_FALSE(KeyExists(kK5));
    EXPECT_FALSE(KeyExists(kK6));
    // The other model and the family stay.
    EXPECT_TRUE(KeyExists(std::string(kK4Path) + "\\Sorrelink 880"));
    EXPECT_TRUE(KeyExists("Software\\Orvane\\OVLIO\\880"));
    EXPECT_TRUE(KeyExists("Software\\Orvane\\OVL\\880\\Y1"));
    EXPECT_TRUE(KeyExists(agenttest::EnumKey("Y1", "0115")));
    EXPECT_TRUE(KeyExists(kK7));
    EXPECT_TRUE(KeyExists(kK8));
    for (const auto &file : kDeletedAtOnce)
        EXPECT_TRUE(FileExists(file)) << file;
    EXPECT_TRUE(Scheduled().empty());
}

TEST_F(PurgeTest, DriverKeyWithoutInfPathStopsBeforeTheModelKeys)
{
    Install(Printer("Sorrelink 640", "X1"));
    HKEY driver = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kK3Path) + "\\0000").c_str(), 0, KEY_ALL_ACCESS, &driver));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(driver, "InfPath"));
    RegCloseKey(driver);
    Remove("Sorrelink 640", "X1");
    EXPECT_FALSE(KeyExists(kK4Path));
    EXPECT_FALSE(KeyExists(kK7));
    EXPECT_FALSE(KeyExists(kK8));
    EXPECT_TRUE(FileExists(kF1));
    EXPECT_TRUE(KeyExists(kK5));
    EXPECT_TRUE(KeyExists(kK6));
    for (const auto &file : kDeletedAtOnce)
        EXPECT_TRUE(FileExists(file)) << file;
    EXPECT_TRUE(Scheduled().empty());
}

TEST_F(PurgeTest, InfPathThatIsNoBareFileNameDeletesNoFile)
{
    for (const char *infPath : {"..\\..\\WIN.INI", "C:\\WINDOWS\\WIN.INI", "../../WIN.INI"}) {
        SCOPED_TRACE(infPath);
        Recreate(win9x::machine::WindowsVersion::Win98);
        win9x::machine::SetShellRunning(false);
        agenttest::PutFile("C:\\WINDOWS\\WIN.INI", "[windows]\r\n");
        Install(Printer("Sorrelink 640", "X1"));
        SetText(std::string(kK3Path) + "\\0000", "InfPath", infPath);
        Remove("Sorrelink 640", "X1");
        EXPECT_TRUE(FileExists("C:\\WINDOWS\\WIN.INI"));
        // The name still counts as present for the later steps.
        EXPECT_TRUE(FileExists(kF1));
        EXPECT_FALSE(KeyExists(kK5));
        EXPECT_FALSE(KeyExists(kK9));
        for (const auto &file : kDeletedAtOnce)
            EXPECT_FALSE(FileExists(file)) << file;
    }
}

TEST_F(PurgeTest, InputsThatNameNoSingleKeyPurgeNothing)
{
    Install(Printer("Sorrelink 640", "X1"));
    // Model keys that the odd models below would read their ProductID from.
    SetText("Software\\Orvane\\OVLIO\\640\\Z", "ProductID", "0114");
    SetText("Software\\Orvane\\OVLIO", "ProductID", "0114");
    SetText("Software\\Orvane\\OVLIO\\LONG", "ProductID", std::string(240, '1'));
    SetText("Software\\Orvane\\OVLIO\\SLASH", "ProductID", "0114\\X1");
    struct Case {
        const char *model;
        std::string serial;
    } cases[] = {
        {"Sorrelink 640", ""},
        {"Sorrelink 640", "X1\\Sub"},
        {"Sorrelink 640\\Z", "X1"},
        {"", "X1"},
        {"Sorrelink LONG", "X1"},
        {"Sorrelink SLASH", "X1"},
        {"Sorrelink 640", std::string(240, 'S')},
        {"Sorrelink 999", "X1"},
    };
    agenttest::MachineImage before;
    for (const auto &c : cases) {
        UsePrinter(c.model, c.serial);
        UninstallPurge();
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), g_ErrorCode) << c.model << " / " << c.serial;
        EXPECT_TRUE(before == agenttest::MachineImage()) << c.model << " / " << c.serial;
    }
}

} // namespace
