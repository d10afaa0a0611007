// Discovery and the port list: how each device interface key is turned into
// a port name (and PortName written back), which interfaces are left out,
// how nodes of one name merge, and the throttled rebuild across the wrap of
// the tick count.
#include "portmon_fixture.h"

namespace {

using namespace portmontest;
using Names = std::vector<std::string>;

class Discovery : public MonitorTest {};

TEST_F(Discovery, NoInterfacesGiveAnEmptyList)
{
    Initialize();
    EXPECT_EQ(nullptr, PortList);
    EXPECT_EQ(0u, RebuildTime);
}

// A key without values gets the default name written, and counts as
// enabled although no Enabled value is read. The same happens to an
// interface whose key does not exist yet (discovery creates it, empty);
// both yield one name, so they merge into one node with the later path.
TEST_F(Discovery, KeyWithoutValuesGetsTheDefaultName)
{
    AddInterface("A1", {});
    AddInterface("B2", {}, false);
    Initialize();

    const std::string name = "USB/Sorrelink/Unknown";
    EXPECT_EQ(Names{name}, ListedNames());
    EXPECT_EQ(22u, KeyValue("A1", OVL_VALUE_PORT_NAME).size());
    EXPECT_EQ(Stored(name), KeyValue("A1", OVL_VALUE_PORT_NAME));
    EXPECT_EQ(Stored(name), KeyValue("B2", OVL_VALUE_PORT_NAME));
    EXPECT_EQ("<missing>", KeyValue("A1", OVL_VALUE_ENABLED));
    PPORT_NODE node = Find(name.c_str());
    ASSERT_NE(nullptr, node);
    EXPECT_EQ(1u, node->Enabled);
    EXPECT_EQ(DevicePathOf("B2"), node->DevicePath);
}

// Product and SerialNumber compose the name, which is stored as PortName
// (REG_SZ with its terminator) and becomes the node's name.
TEST_F(Discovery, ComposedNameIsStoredAndListed)
{
    AddInterface("S", DeviceValues("P", "S"));
    Initialize();

    EXPECT_EQ(Names{"USB/P/S"}, ListedNames());
    EXPECT_EQ(Stored("USB/P/S"), KeyValue("S", OVL_VALUE_PORT_NAME));
    EXPECT_EQ(8u, KeyValue("S", OVL_VALUE_PORT_NAME).size());
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, InterfaceKeyPath("S").c_str(), 0, KEY_READ, &key));
    DWORD type = kSeed;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, OVL_VALUE_PORT_NAME, nullptr, &type, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    RegCloseKey(key);

    PPORT_NODE node = PortList;
    ASSERT_NE(nullptr, node);
    EXPECT_EQ(static_cast<DWORD>(PORT_NODE_SIGNATURE), node->Signature);
    EXPECT_EQ(sizeof(PORT_NODE) + 8, node->Size);
    EXPECT_EQ(reinterpret_cast<char *>(node + 1), node->Name);
    ASSERT_NE(nullptr, node->Description);
    EXPECT_STREQ("", node->Description);
    EXPECT_NE(ReportedMonitorName, node->Description);
    EXPECT_EQ(DevicePathOf("S"), node->DevicePath);
    EXPECT_EQ(1u, node->Enabled);
}

// Once stored, PortName is the name, whatever Product and SerialNumber say.
TEST_F(Discovery, StoredPortNameIsKept)
{
    std::vector<Value> values = DeviceValues("P", "S");
    values.push_back(Text(OVL_VALUE_PORT_NAME, "USB/Earlier/Name"));
    AddInterface("S", values);
    std::string plugged = Plug("Sorrelink 640", "X1");
    Initialize();

    EXPECT_EQ((Names{"USB/Earlier/Name", "USB/Sorrelink 640/X1"}), ListedNames());
    EXPECT_EQ(Stored("USB/Earlier/Name"), KeyValue("S", OVL_VALUE_PORT_NAME));
    EXPECT_EQ(Stored("USB/Sorrelink 640/X1"), KeyValue("X1", OVL_VALUE_PORT_NAME));
}

// Interfaces left out: values without Enabled (even with a PortName), and
// no PortName with SerialNumber or Product missing (nothing written then).
// A good interface after them is still found: the walk goes on.
TEST_F(Discovery, KeysThatContributeNoPort)
{
    AddInterface("NOENABLED", {Text(OVL_VALUE_PORT_NAME, "USB/Kept/Name")});
    AddInterface("COMPOSEDNOENABLED", {Text(OVL_VALUE_PRODUCT, "P"), Text(OVL_VALUE_SERIAL_NUMBER, "C")});
    AddInterface("NOSERIAL", {Text(OVL_VALUE_PRODUCT, "P"), Number(OVL_VALUE_ENABLED, 1)});
    AddInterface("NOPRODUCT", {Text(OVL_VALUE_SERIAL_NUMBER, "N"), Number(OVL_VALUE_ENABLED, 1)});
    AddInterface("GOOD", DeviceValues("P", "G"));
    Initialize();

    EXPECT_EQ(Names{"USB/P/G"}, ListedNames());
    EXPECT_EQ(Stored("USB/Kept/Name"), KeyValue("NOENABLED", OVL_VALUE_PORT_NAME));
    // The name is composed and stored before Enabled is read.
    EXPECT_EQ(Stored("USB/P/C"), KeyValue("COMPOSEDNOENABLED", OVL_VALUE_PORT_NAME));
    EXPECT_EQ("<missing>", KeyValue("NOSERIAL", OVL_VALUE_PORT_NAME));
    EXPECT_EQ("<missing>", KeyValue("NOPRODUCT", OVL_VALUE_PORT_NAME));
}

// PortName is read into a 256-byte buffer: 255 characters and the
// terminator are used; a longer value, or one that fills the buffer without
// a terminator, counts as missing and the composed name replaces it.
TEST_F(Discovery, StoredPortNameLengthLimits)
{
    const std::string fits(255, 'F');
    const std::string tooLong(256, 'L');
    std::vector<Value> exact = DeviceValues("P", "EXACT");
    exact.push_back(Text(OVL_VALUE_PORT_NAME, fits));
    std::vector<Value> longer = DeviceValues("P", "LONGER");
    longer.push_back(Text(OVL_VALUE_PORT_NAME, tooLong));
    std::vector<Value> open = DeviceValues("P", "OPEN");
    open.push_back(Bytes(OVL_VALUE_PORT_NAME, std::string(256, 'U')));
    AddInterface("EXACT", exact);
    AddInterface("LONGER", longer);
    AddInterface("OPEN", open);
    Initialize();

    EXPECT_EQ((Names{fits, "USB/P/LONGER", "USB/P/OPEN"}), ListedNames());
    EXPECT_EQ(Stored(fits), KeyValue("EXACT", OVL_VALUE_PORT_NAME));
    EXPECT_EQ(Stored("USB/P/LONGER"), KeyValue("LONGER", OVL_VALUE_PORT_NAME));
    EXPECT_EQ(Stored("USB/P/OPEN"), KeyValue("OPEN", OVL_VALUE_PORT_NAME));
}

// A composed name of 255 characters is listed and stored (256 bytes); one
// of 256 or more is left out with nothing written. Product and
// SerialNumber themselves hold at most 255 characters; a longer one, or one
// without a terminator inside 256 bytes, counts as missing.
TEST_F(Discovery, ComposedNameLengthLimits)
{
    const std::string product(200, 'p');
    AddInterface("AT255", DeviceValues(product, std::string(50, 's')));
    AddInterface("AT256", DeviceValues(product, std::string(51, 't')));
    AddInterface("BIG", DeviceValues(std::string(255, 'b'), "BIG"));
    AddInterface("HUGE", DeviceValues(std::string(256, 'h'), "HUGE"));
    AddInterface("RAW", {Bytes(OVL_VALUE_PRODUCT, "P"), Bytes(OVL_VALUE_SERIAL_NUMBER, std::string(256, 'r')),
                         Number(OVL_VALUE_ENABLED, 1)});
    AddInterface("SHORTRAW",
                 {Bytes(OVL_VALUE_PRODUCT, "P"), Bytes(OVL_VALUE_SERIAL_NUMBER, "Q"), Number(OVL_VALUE_ENABLED, 1)});
    Initialize();

    const std::string at255 = "USB/" + product + "/" + std::string(50, 's');
    ASSERT_EQ(255u, at255.size());
    EXPECT_EQ((Names{at255, "USB/P/Q"}), ListedNames());
    EXPECT_EQ(Stored(at255), KeyValue("AT255", OVL_VALUE_PORT_NAME));
    for (const char *tag : {"AT256", "BIG", "HUGE", "RAW"})
        EXPECT_EQ("<missing>", KeyValue(tag, OVL_VALUE_PORT_NAME)) << tag;
}

// Enabled is read as four bytes whatever its type; a shorter value fills
// only its own bytes of a value zeroed first, and a longer one counts as
// missing. A key without values counts as enabled.
TEST_F(Discovery, ReadPortKeyEnabledValue)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\PortKey", &key));
    CHAR name[OVL_PORT_NAME_BUFFER];
    DWORD enabled = kSeed;
    EXPECT_TRUE(ReadPortKey(key, name, &enabled));
    EXPECT_STREQ("USB/Sorrelink/Unknown", name);
    EXPECT_EQ(1u, enabled);

    struct Case {
        std::string bytes;
        BOOL listed;
        DWORD enabled;
    };
    const Case cases[] = {
        {std::string("\0\0", 2), TRUE, 0},
        {std::string("\1", 1), TRUE, 1},
        {std::string("\0\0\0\2", 4), TRUE, 0x02000000},
        {std::string(5, '\1'), FALSE, 0},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, OVL_VALUE_ENABLED, 0, REG_BINARY, reinterpret_cast<const BYTE *>(c.bytes.data()),
                                 static_cast<DWORD>(c.bytes.size())));
        enabled = kSeed;
        std::memset(name, 'x', sizeof name);
        EXPECT_EQ(c.listed, ReadPortKey(key, name, &enabled)) << c.bytes.size();
        if (c.listed) {
            EXPECT_EQ(c.enabled, enabled) << c.bytes.size();
            EXPECT_STREQ("USB/Sorrelink/Unknown", name);
        }
    }
    RegCloseKey(key);
}

// A disabled port is listed but cannot be found by name; names are found
// ignoring the case of ASCII letters only.
TEST_F(Discovery, FindingPortsByName)
{
    AddInterface("S", DeviceValues("P", "S"));
    AddInterface("OFF", DeviceValues("P", "OFF", 0));
    AddInterface("UML", {Text(OVL_VALUE_PORT_NAME, "USB/\xC4"), Number(OVL_VALUE_ENABLED, 1)});
    Initialize();

    EXPECT_EQ((Names{"USB/P/S", "USB/P/OFF", "USB/\xC4"}), ListedNames());
    EXPECT_EQ(nullptr, Find("USB/P/OFF"));
    EXPECT_FALSE(IsPortKnown("USB/P/OFF"));
    EXPECT_EQ(nullptr, GetPortDevicePath("USB/P/OFF"));

    PPORT_NODE node = Find("usb/p/s");
    ASSERT_NE(nullptr, node);
    EXPECT_STREQ("USB/P/S", node->Name);
    EXPECT_TRUE(IsPortKnown("uSb/P/s"));
    LPSTR path = GetPortDevicePath("USB/P/S");
    ASSERT_NE(nullptr, path);
    EXPECT_EQ(DevicePathOf("S"), path);
    EXPECT_NE(node->DevicePath, path); // the caller's own copy
    FreeText(path);

    EXPECT_NE(nullptr, Find("USB/\xC4"));
    EXPECT_EQ(nullptr, Find("usb/\xE4"));
    EXPECT_EQ(nullptr, Find("USB/P/S "));
    EXPECT_EQ(nullptr, Find("USB/P/"));
    EXPECT_EQ(nullptr, Find(nullptr));
    EXPECT_FALSE(IsPortKnown(nullptr));
    EXPECT_EQ(nullptr, GetPortDevicePath(nullptr));
}

// Interfaces of one name merge into the first enabled node of it, the later
// interface's device path and enabled value winning; behind a disabled
// node the later interface gets a node of its own.
TEST_F(Discovery, InterfacesOfOneName)
{
    auto named = [](DWORD enabled) {
        return std::vector<Value>{Text(OVL_VALUE_PORT_NAME, "USB/P/S"), Number(OVL_VALUE_ENABLED, enabled)};
    };
    AddInterface("A", named(1));
    AddInterface("B", named(1));
    Initialize();
    EXPECT_EQ(Names{"USB/P/S"}, ListedNames());
    EXPECT_EQ(DevicePathOf("B"), NodePath("USB/P/S"));

    SetValues("B", named(0));
    InitPortList();
    EXPECT_EQ(Names{"USB/P/S"}, ListedNames());
    EXPECT_EQ(nullptr, Find("USB/P/S"));

    SetValues("A", named(0));
    SetValues("B", named(1));
    InitPortList();
    EXPECT_EQ((Names{"USB/P/S", "USB/P/S"}), ListedNames());
    PPORT_NODE found = Find("USB/P/S");
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(DevicePathOf("B"), found->DevicePath);
    EXPECT_NE(PortList, found);
}

// The list is rebuilt when more than 10000 ms have passed since the last
// throttled rebuild, by unsigned difference so that the wrap of the tick
// count after 49.7 days changes nothing. The build at initialisation does
// not set the rebuild time.
TEST_F(Discovery, RebuildThrottleAcrossTheTickWrap)
{
    Initialize();
    EXPECT_EQ(0u, RebuildTime);
    AddInterface("ONE", DeviceValues("P", "ONE"));

    win9x::machine::OverrideTickCount(10000);
    EXPECT_FALSE(IsPortKnown("USB/P/ONE"));
    EXPECT_EQ(0u, RebuildTime);
    win9x::machine::OverrideTickCount(10001);
    EXPECT_TRUE(IsPortKnown("USB/P/ONE"));
    EXPECT_EQ(10001u, RebuildTime);

    // EnumPorts and OpenPort rebuild too; a vanished interface drops out.
    AddInterface("TWO", DeviceValues("P", "TWO"));
    RemoveInterface("ONE");
    DWORD needed = kSeed, returned = kSeed;
    win9x::machine::OverrideTickCount(20001);
    EnumPorts(nullptr, 1, nullptr, 0, &needed, &returned);
    EXPECT_EQ(Names{"USB/P/ONE"}, ListedNames());
    win9x::machine::OverrideTickCount(20002);
    EnumPorts(nullptr, 1, nullptr, 0, &needed, &returned);
    EXPECT_EQ(Names{"USB/P/TWO"}, ListedNames());
    EXPECT_EQ(20002u, RebuildTime);

    AddInterface("THREE", DeviceValues("P", "THREE"));
    win9x::machine::OverrideTickCount(30003);
    HANDLE handle = nullptr;
    EXPECT_TRUE(OpenPort(const_cast<LPSTR>("USB/P/THREE"), &handle));
    EXPECT_EQ(30003u, RebuildTime);

    // Across the wrap: from 4294960000, the last tick before the wrap is
    // 7295 ms later and 5000 after it 12296 ms; from 4294962296, 5000 is
    // 10000 ms later.
    AddInterface("FOUR", DeviceValues("P", "FOUR"));
    auto setRebuildTime = [](DWORD ticks) {
        EnterCriticalSection(&PortListLock);
        RebuildTime = ticks;
        LeaveCriticalSection(&PortListLock);
    };
    setRebuildTime(4294960000u);
    win9x::machine::OverrideTickCount(4294967295u);
    EXPECT_FALSE(IsPortKnown("USB/P/FOUR"));
    EXPECT_EQ(4294960000u, RebuildTime);
    setRebuildTime(4294962296u);
    win9x::machine::OverrideTickCount(5000);
    EXPECT_FALSE(IsPortKnown("USB/P/FOUR"));
    EXPECT_EQ(4294962296u, RebuildTime);
    setRebuildTime(4294960000u);
    EXPECT_TRUE(IsPortKnown("USB/P/FOUR"));
    EXPECT_EQ(5000u, RebuildTime);
}

// A rebuild leaves the caller's last error as it was: EnumPorts succeeds,
// and OpenPort of an unknown name or StartDocPort of a port disabled since
// (merged on Windows Me) fail, all without an error of the monitor's own.
TEST_F(Discovery, RebuildsKeepTheCallersLastError)
{
    AddInterface("ON", DeviceValues("P", "ON"));
    Initialize();
    HANDLE port = nullptr;
    ASSERT_TRUE(OpenPort(const_cast<LPSTR>("USB/P/ON"), &port));
    SetValues("ON", {Number(OVL_VALUE_ENABLED, 0)});
    win9x::machine::OverrideVersion(win9x::machine::WindowsVersion::WinMe);

    DWORD ticks = kQuietTicks;
    auto seedAtThrottledTicks = [&] {
        ticks += PORT_LIST_REBUILD_INTERVAL + 1;
        win9x::machine::OverrideTickCount(ticks);
        SetLastError(kSeed);
    };
    DWORD needed = 0, returned = 0;
    std::vector<unsigned char> buffer(256);
    seedAtThrottledTicks();
    EXPECT_TRUE(EnumPorts(nullptr, 1, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &returned));
    EXPECT_EQ(ticks, RebuildTime);
    EXPECT_EQ(kSeed, GetLastError()) << "EnumPorts";

    HANDLE unknown = SeedHandle();
    seedAtThrottledTicks();
    EXPECT_FALSE(OpenPort(const_cast<LPSTR>("USB/P/OFF"), &unknown));
    EXPECT_EQ(ticks, RebuildTime);
    EXPECT_EQ(kSeed, GetLastError()) << "OpenPort";

    seedAtThrottledTicks();
    EXPECT_FALSE(StartDocPort(port, const_cast<LPSTR>("Sorrelink"), 1, 1, nullptr));
    EXPECT_EQ(kSeed, GetLastError()) << "StartDocPort";
}

// The node record: one allocation with the name behind the fields, its own
// copies of the description and the device path, appended at the tail.
// A device path that cannot be copied on update leaves the node without
// one, so the port cannot be looked up for opening.
TEST_F(Discovery, NodesAndTheirCopies)
{
    Initialize();
    char description[] = "";
    char path[] = "\\\\?\\first";
    PPORT_NODE first = AddPortNode("USB/A/1", description, path, 1);
    PPORT_NODE second = AddPortNode("USB/B/2", nullptr, nullptr, 7);
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(nullptr, AddPortNode(nullptr, description, path, 1));
    EXPECT_EQ(first, PortList);
    EXPECT_EQ(second, first->Next);
    EXPECT_EQ(nullptr, second->Next);
    EXPECT_EQ(sizeof(PORT_NODE) + 8, first->Size);
    EXPECT_NE(path, first->DevicePath);
    EXPECT_STREQ(path, first->DevicePath);
    EXPECT_NE(description, first->Description);
    EXPECT_EQ(nullptr, second->Description);
    EXPECT_EQ(nullptr, second->DevicePath);
    EXPECT_EQ(7u, second->Enabled);

    EnterCriticalSection(&PortListLock);
    UpdatePortNode(first, nullptr, 3);
    LeaveCriticalSection(&PortListLock);
    EXPECT_STREQ(path, first->DevicePath);
    EXPECT_EQ(3u, first->Enabled);

    const std::string longPath = "\\\\?\\" + std::string(600, 'z');
    EnterCriticalSection(&PortListLock);
    UpdatePortNode(first, longPath.c_str(), 1);
    LeaveCriticalSection(&PortListLock);
    EXPECT_EQ(longPath, first->DevicePath);

    win9x::machine::FailNthAllocation(1);
    EnterCriticalSection(&PortListLock);
    UpdatePortNode(first, "\\\\?\\second", 1);
    LeaveCriticalSection(&PortListLock);
    win9x::machine::FailNthAllocation(0);
    EXPECT_EQ(nullptr, first->DevicePath);
    EXPECT_EQ(first, Find("USB/A/1"));
    EXPECT_EQ(nullptr, GetPortDevicePath("USB/A/1"));
    HANDLE handle = SeedHandle();
    EXPECT_FALSE(OpenPort(const_cast<LPSTR>("USB/A/1"), &handle));
    EXPECT_EQ(nullptr, handle);
}

} // namespace
