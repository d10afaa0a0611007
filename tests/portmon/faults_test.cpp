// Failures from below: SetupAPI and registry calls that fail during
// discovery, and the Nth allocation failing through discovery, a job, and
// the monitor's whole cycle on Windows 98 and Me. The monitor leaves the
// affected interface out or a copy null, keeps what it had, never crashes,
// never reports a failure as success, and leaks nothing (run under ASan).
#include "portmon_fixture.h"

namespace {

using namespace portmontest;
using Names = std::vector<std::string>;

class Faults : public MonitorTest {};

// A failed interface set or enumeration ends the walk with what it found.
TEST_F(Faults, SetupApiEnumerationFailures)
{
    AddInterface("A", DeviceValues("P", "A"));
    AddInterface("B", DeviceValues("P", "B"));
    win9x::machine::FailNthCall("SetupDiGetClassDevsA", 1, ERROR_NOT_ENOUGH_MEMORY);
    Initialize();
    EXPECT_EQ(nullptr, PortList);

    win9x::machine::FailNthCall("SetupDiEnumDeviceInterfaces", 2, ERROR_GEN_FAILURE);
    InitPortList();
    EXPECT_EQ(Names{"USB/P/A"}, ListedNames());
}

// The detail record: a failed size query or a failed second call skips the
// interface and nothing else; in the Windows Me merge it leaves the node's
// good device path in place.
TEST_F(Faults, InterfaceDetailFailures)
{
    AddInterface("A", DeviceValues("P", "A"));
    AddInterface("B", DeviceValues("P", "B"));
    win9x::machine::FailNthCall("SetupDiGetDeviceInterfaceDetailA", 1, ERROR_GEN_FAILURE);
    Initialize();
    EXPECT_EQ(Names{"USB/P/B"}, ListedNames());
    EXPECT_EQ("<missing>", KeyValue("A", OVL_VALUE_PORT_NAME));

    win9x::machine::FailNthCall("SetupDiGetDeviceInterfaceDetailA", 2, ERROR_GEN_FAILURE);
    InitPortList();
    EXPECT_EQ(Names{"USB/P/B"}, ListedNames());

    win9x::machine::FailNthAllocation(1);
    InitPortList();
    EXPECT_EQ(Names{"USB/P/B"}, ListedNames());

    InitPortList();
    EXPECT_EQ((Names{"USB/P/A", "USB/P/B"}), ListedNames());
    win9x::machine::FailNthCall("SetupDiGetDeviceInterfaceDetailA", 2, ERROR_GEN_FAILURE);
    EnterCriticalSection(&PortListLock);
    DiscoverPorts();
    LeaveCriticalSection(&PortListLock);
    EXPECT_EQ((Names{"USB/P/A", "USB/P/B"}), ListedNames());
    EXPECT_EQ(DevicePathOf("A"), NodePath("USB/P/A"));
}

// Without a device interface key (neither opened nor created) the port
// gets the default name and counts as enabled; nothing is written.
TEST_F(Faults, InterfaceWithoutKey)
{
    AddInterface("A", DeviceValues("P", "A", 0));
    win9x::machine::FailNthCall("SetupDiOpenDeviceInterfaceRegKey", 1, ERROR_FILE_NOT_FOUND);
    win9x::machine::FailNthCall("SetupDiCreateDeviceInterfaceRegKeyA", 1, ERROR_ACCESS_DENIED);
    Initialize();
    EXPECT_EQ(Names{"USB/Sorrelink/Unknown"}, ListedNames());
    PPORT_NODE node = Find("USB/Sorrelink/Unknown");
    ASSERT_NE(nullptr, node);
    EXPECT_EQ(1u, node->Enabled);
    EXPECT_EQ(DevicePathOf("A"), node->DevicePath);
    EXPECT_EQ("<missing>", KeyValue("A", OVL_VALUE_PORT_NAME));

    // A key that only the create call yields is read as usual.
    win9x::machine::FailNthCall("SetupDiOpenDeviceInterfaceRegKey", 1, ERROR_FILE_NOT_FOUND);
    InitPortList();
    EXPECT_EQ(Names{"USB/P/A"}, ListedNames());
    EXPECT_EQ(nullptr, Find("USB/P/A"));
}

// A key whose values cannot be counted, or whose PortName cannot be
// stored, leaves its interface out.
TEST_F(Faults, RegistryFailuresLeaveTheInterfaceOut)
{
    AddInterface("A", DeviceValues("P", "A"));
    AddInterface("E", {});
    AddInterface("B", DeviceValues("P", "B"));
    win9x::machine::FailNthCall("RegQueryInfoKeyA", 1, ERROR_REGISTRY_IO_FAILED);
    Initialize();
    EXPECT_EQ((Names{"USB/Sorrelink/Unknown", "USB/P/B"}), ListedNames());
    EXPECT_EQ("<missing>", KeyValue("A", OVL_VALUE_PORT_NAME));

    // A's composed name cannot be stored: A is left out. (E now holds a
    // PortName but no Enabled, so it is left out as well.)
    win9x::machine::FailNthCall("RegSetValueExA", 1, ERROR_ACCESS_DENIED);
    InitPortList();
    EXPECT_EQ(Names{"USB/P/B"}, ListedNames());
    EXPECT_EQ("<missing>", KeyValue("A", OVL_VALUE_PORT_NAME));

    // E's default name cannot be stored again: E is left out.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, InterfaceKeyPath("E").c_str(), 0, KEY_ALL_ACCESS, &key));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, OVL_VALUE_PORT_NAME));
    RegCloseKey(key);
    win9x::machine::FailNthCall("RegSetValueExA", 2, ERROR_ACCESS_DENIED);
    InitPortList();
    EXPECT_EQ((Names{"USB/P/A", "USB/P/B"}), ListedNames());
    EXPECT_EQ("<missing>", KeyValue("E", OVL_VALUE_PORT_NAME));
    InitPortList();
    EXPECT_EQ((Names{"USB/P/A", "USB/Sorrelink/Unknown", "USB/P/B"}), ListedNames());
}

// What one node looks like after a single failed allocation: missing, or
// present with at most one null copy.
struct NodeState {
    std::string name;
    bool description;
    bool devicePath;
};

std::vector<NodeState> Snapshot()
{
    std::vector<NodeState> nodes;
    EnterCriticalSection(&PortListLock);
    for (PPORT_NODE node = PortList; node != NULL; node = node->Next) {
        EXPECT_EQ(static_cast<DWORD>(PORT_NODE_SIGNATURE), node->Signature);
        EXPECT_EQ(sizeof(PORT_NODE) + std::strlen(node->Name) + 1, node->Size);
        nodes.push_back({node->Name, node->Description != NULL, node->DevicePath != NULL});
    }
    LeaveCriticalSection(&PortListLock);
    return nodes;
}

// The Nth allocation of a discovery fails, for N = 1, 2, 3, ... until one
// lies beyond the last: each time exactly one thing degrades (an interface
// left out, or one copy null), EnumPorts still answers consistently, and
// OpenPort serves exactly the ports that have a device path.
TEST_F(Faults, AllocationFailuresInDiscovery)
{
    Plug("Sorrelink 640", "X1");
    Plug("Sorrelink 880", "X2");
    Initialize();
    const Names all{"USB/Sorrelink 640/X1", "USB/Sorrelink 880/X2"};
    ASSERT_EQ(all, ListedNames());

    unsigned degraded = 0;
    for (unsigned n = 1; n < 64; ++n) {
        win9x::machine::FailNthAllocation(n);
        InitPortList();
        win9x::machine::FailNthAllocation(0);
        std::vector<NodeState> nodes = Snapshot();
        unsigned symptoms = static_cast<unsigned>(all.size() - nodes.size());
        for (const NodeState &s : nodes)
            symptoms += !s.description + !s.devicePath;
        ASSERT_LE(symptoms, 1u) << "allocation " << n;
        if (symptoms == 0)
            break;
        ++degraded;

        DWORD needed = 0, returned = 0;
        std::vector<unsigned char> buffer(1024);
        ASSERT_TRUE(EnumPorts(nullptr, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &returned));
        EXPECT_EQ(nodes.size(), returned) << "allocation " << n;
        for (const NodeState &s : nodes) {
            HANDLE handle = nullptr;
            EXPECT_EQ(s.devicePath, OpenPort(const_cast<LPSTR>(s.name.c_str()), &handle) != FALSE)
                << "allocation " << n << ", " << s.name;
            ClosePort(handle);
        }
        EXPECT_EQ(nullptr, PortHandleList);
    }
    // Every interface needs at least its detail record, its node and the
    // node's two copies: each of those failures must have shown.
    EXPECT_GE(degraded, 8u);
    EXPECT_LT(degraded, 63u);
    EXPECT_EQ(all, ListedNames());
}

// The Nth allocation fails through a whole job that begins with a due
// rebuild: OpenPort or StartDocPort fails cleanly (the handle stays
// usable, nothing of the job reaches the printer), and with the fault gone
// the same handle prints.
TEST_F(Faults, AllocationFailuresThroughAJob)
{
    const char port[] = "USB/Sorrelink 640/X1";
    std::string instance = Plug("Sorrelink 640", "X1");
    Initialize();
    win9x::machine::OverrideTickCount(50000);

    std::string expected;
    unsigned n = 1;
    for (; n < 64; ++n) {
        EnterCriticalSection(&PortListLock);
        RebuildTime = 0;
        LeaveCriticalSection(&PortListLock);
        std::string text = "job " + std::to_string(n) + ";";
        win9x::machine::FailNthAllocation(n);
        HANDLE handle = nullptr;
        BOOL opened = OpenPort(const_cast<LPSTR>(port), &handle);
        BOOL started = opened && StartDocPort(handle, const_cast<LPSTR>("Sorrelink"), 1, 1, nullptr);
        win9x::machine::FailNthAllocation(0);

        if (!opened) {
            EXPECT_EQ(nullptr, handle) << "allocation " << n;
            EXPECT_EQ(nullptr, PortHandleList) << "allocation " << n;
        } else {
            auto *h = static_cast<PPORT_HANDLE>(handle);
            if (!started) {
                EXPECT_EQ(0u, h->Flags) << "allocation " << n;
                EXPECT_EQ(nullptr, h->PrinterName) << "allocation " << n;
                EXPECT_NE(nullptr, h->DevicePath) << "allocation " << n;
                EXPECT_EQ(0u, Opens(instance)) << "allocation " << n;
                // The handle is still good for a job.
                ASSERT_TRUE(StartDocPort(handle, const_cast<LPSTR>("Sorrelink"), 1, 1, nullptr)) << "allocation " << n;
            }
            DWORD written = 0;
            ASSERT_TRUE(Write(handle, text, &written)) << "allocation " << n;
            EXPECT_EQ(text.size(), written);
            expected += text;
            EXPECT_TRUE(EndDocPort(handle));
            EXPECT_TRUE(ClosePort(handle));
        }
        EXPECT_EQ(nullptr, PortHandleList);
        EXPECT_EQ(0u, Opens(instance));
        std::vector<NodeState> nodes = Snapshot();
        bool whole = nodes.size() == 1 && nodes[0].description && nodes[0].devicePath;
        if (started && whole)
            break;
    }
    EXPECT_GE(n, 6u); // discovery, the handle and its copies, the job's copies
    EXPECT_LT(n, 64u);
    EXPECT_EQ(expected, win9x::machine::ReceivedBytes(instance));
}

// One cycle of the monitor as the spooler drives it, with the Nth allocation
// failing somewhere in it: every call does its work or fails with a reason,
// and nothing of a failed job reaches the printer or stays open.
class WholeCycle : public MonitorTest {
  protected:
    // Runs the cycle once; true when it ended with the fault still to come.
    bool RunCycle(unsigned n, const std::string &instance, std::string *expected)
    {
        const char port[] = "USB/Sorrelink 640/X1";
        std::string text = "job " + std::to_string(n) + ";";
        ResetMonitor();
        // Due for a rebuild: EnumPorts discovers the ports again.
        win9x::machine::OverrideTickCount(50000);
        win9x::machine::FailNthAllocation(n);

        MONITOR table{};
        EXPECT_TRUE(InitializeMonitorEx(const_cast<LPSTR>(kRegistryRoot), &table)) << "allocation " << n;
        std::vector<unsigned char> buffer(1024);
        DWORD needed = 0, returned = 0;
        EXPECT_TRUE(EnumPorts(nullptr, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &returned))
            << "allocation " << n;
        EXPECT_LE(returned, 2u);
        auto *records = reinterpret_cast<PORT_INFO_2 *>(buffer.data());
        for (DWORD i = 0; i < returned; ++i)
            EXPECT_EQ(0u, std::string(records[i].pPortName).rfind("USB/Sorrelink ", 0)) << "allocation " << n;

        HANDLE handle = nullptr;
        SetLastError(0);
        BOOL opened = OpenPort(const_cast<LPSTR>(port), &handle);
        // OpenPort sets no reason of its own for a port it does not know:
        // one that the failed discovery left out or without a device path.
        PPORT_NODE node = Find(port);
        bool openable = node != nullptr && node->DevicePath != nullptr;
        EXPECT_TRUE(opened ? handle != nullptr : handle == nullptr && (GetLastError() != 0 || !openable))
            << "allocation " << n;
        BOOL started = FALSE;
        if (opened) {
            SetLastError(0);
            started = StartDocPort(handle, const_cast<LPSTR>("Sorrelink"), 1, 1, nullptr);
            EXPECT_EQ(started ? 1u : 0u, Opens(instance)) << "allocation " << n;
            // On Windows Me the job's discovery may itself lose the port;
            // StartDocPort then sets no reason of its own, as OpenPort.
            node = Find(port);
            bool startable = node != nullptr && node->DevicePath != nullptr;
            EXPECT_TRUE(started || GetLastError() != 0 || !startable) << "allocation " << n;
        }
        if (started) {
            DWORD written = 0;
            SetLastError(0);
            BOOL wrote = Write(handle, text, &written);
            EXPECT_TRUE(wrote ? written == text.size() : GetLastError() != 0) << "allocation " << n;
            if (wrote)
                *expected += text;
            EXPECT_TRUE(EndDocPort(handle));
        }
        if (opened) {
            EXPECT_TRUE(ClosePort(handle));
        }
        bool pending = win9x::machine::AllocationFaultPending();
        win9x::machine::FailNthAllocation(0);
        EXPECT_EQ(nullptr, PortHandleList) << "allocation " << n;
        EXPECT_EQ(0u, Opens(instance)) << "allocation " << n;
        if (pending) {
            EXPECT_TRUE(started && returned == 2) << "a cycle without a failure does everything";
        }
        return pending;
    }

    void Sweep(win9x::machine::WindowsVersion version)
    {
        win9x::machine::OverrideVersion(version);
        std::string instance = Plug("Sorrelink 640", "X1");
        Plug("Sorrelink 880", "X2");
        std::string expected;
        unsigned n = 1;
        while (n < 400 && !RunCycle(n, instance, &expected))
            ++n;
        // Discovery twice (two interfaces each), the handle, the job: many
        // allocations, each of which must have failed once.
        EXPECT_GE(n, 20u);
        EXPECT_LT(n, 400u);
        EXPECT_EQ(expected, win9x::machine::ReceivedBytes(instance));
    }
};

TEST_F(WholeCycle, EveryAllocationFailsOnceOnWindows98)
{
    Sweep(win9x::machine::WindowsVersion::Win98);
}

TEST_F(WholeCycle, EveryAllocationFailsOnceOnWindowsMe)
{
    Sweep(win9x::machine::WindowsVersion::WinMe);
}

} // namespace
