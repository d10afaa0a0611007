// The monitor's entry: InitializeMonitorEx's argument checks, the 13-entry
// Windows 9x function table, the routines shared by several entries, and
// the locks surviving a second initialisation (one per registered printer).
#include <atomic>
#include <chrono>
#include <thread>

#include "portmon_fixture.h"

namespace {

using namespace portmontest;

class Monitor : public MonitorTest {};

// A bad registry root or a missing table fails with 87 and builds nothing;
// any non-empty root is accepted.
TEST_F(Monitor, InitializeArguments)
{
    AddInterface("S", DeviceValues("P", "S"));
    MONITOR table;
    std::memset(&table, 0xAB, sizeof table);
    char empty[] = "";
    for (LPSTR root : {static_cast<LPSTR>(nullptr), empty}) {
        SetLastError(kSeed);
        EXPECT_FALSE(InitializeMonitorEx(root, &table));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
        for (size_t i = 0; i < sizeof table; ++i)
            ASSERT_EQ(0xAB, reinterpret_cast<unsigned char *>(&table)[i]) << "byte " << i;
    }
    SetLastError(kSeed);
    EXPECT_FALSE(InitializeMonitorEx(const_cast<LPSTR>(kRegistryRoot), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(nullptr, PortList);
    EXPECT_TRUE(HandleListLockCreated);

    char anything[] = "not a registry path at all";
    SetLastError(kSeed);
    EXPECT_TRUE(InitializeMonitorEx(anything, &table));
    EXPECT_NE(nullptr, PortList);
    EXPECT_EQ(0u, RebuildTime);
}

// The table in the Windows 9x order; OpenPortEx is not offered, AddPort and
// DeletePort share the refusal, ConfigurePort and SetPortTimeOuts the
// acceptance.
TEST_F(Monitor, FunctionTable)
{
    MONITOR table;
    std::memset(&table, 0xAB, sizeof table);
    ASSERT_TRUE(InitializeMonitorEx(const_cast<LPSTR>(kRegistryRoot), &table));
    EXPECT_EQ(&EnumPorts, table.pfnEnumPorts);
    EXPECT_EQ(&OpenPort, table.pfnOpenPort);
    EXPECT_EQ(nullptr, table.pfnOpenPortEx);
    EXPECT_EQ(&StartDocPort, table.pfnStartDocPort);
    EXPECT_EQ(&WritePort, table.pfnWritePort);
    EXPECT_EQ(&ReadPort, table.pfnReadPort);
    EXPECT_EQ(&EndDocPort, table.pfnEndDocPort);
    EXPECT_EQ(&ClosePort, table.pfnClosePort);
    EXPECT_EQ(&GetPrinterDataFromPort, table.pfnGetPrinterDataFromPort);
    EXPECT_EQ(table.pfnAddPort, table.pfnDeletePort);
    EXPECT_EQ(reinterpret_cast<void *>(table.pfnConfigurePort), reinterpret_cast<void *>(table.pfnSetPortTimeOuts));
    EXPECT_NE(table.pfnAddPort, table.pfnConfigurePort);

    char name[] = "server";
    char port[] = "USB/P/S";
    for (auto refuse : {table.pfnAddPort, table.pfnDeletePort}) {
        SetLastError(kSeed);
        EXPECT_FALSE(refuse(name, nullptr, port));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_COMMAND), GetLastError());
        SetLastError(kSeed);
        EXPECT_FALSE(refuse(nullptr, nullptr, nullptr));
        EXPECT_EQ(1803u, GetLastError());
    }
    SetLastError(kSeed);
    EXPECT_TRUE(table.pfnConfigurePort(name, nullptr, port));
    EXPECT_TRUE(table.pfnSetPortTimeOuts(nullptr, nullptr, 0));
    EXPECT_EQ(kSeed, GetLastError());
}

// Waits until a thread waits on `lock` (held once by another thread) or
// `done` is set.
void WaitForWaiterOrEnd(CRITICAL_SECTION &lock, const std::atomic<bool> &done)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::atomic_ref<LONG>(lock.LockCount).load() < 1 && !done &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
}

// A later InitializeMonitorEx (the next printer's registration) keeps both
// locks: it waits for a port-list lock that another thread holds, and the
// handle-list lock that another thread holds keeps OpenPort waiting.
TEST_F(Monitor, SecondInitializeKeepsTheLocks)
{
    AddInterface("S", DeviceValues("P", "S"));
    Initialize();

    std::atomic<int> stage{0};
    std::atomic<bool> initDone{false}, openDone{false};
    std::thread holder([&] {
        // In the monitor's own order (handle list, then port list), so that
        // the holder itself adds no lock-order inversion.
        EnterCriticalSection(&HandleListLock);
        EnterCriticalSection(&PortListLock);
        stage = 1;
        while (stage != 2)
            std::this_thread::yield();
        LeaveCriticalSection(&PortListLock);
        while (stage != 3)
            std::this_thread::yield();
        LeaveCriticalSection(&HandleListLock);
    });
    while (stage != 1)
        std::this_thread::yield();

    MONITOR second;
    std::thread init([&] {
        InitializeMonitorEx(const_cast<LPSTR>("System\\CurrentControlSet\\Control\\Print\\Monitors\\X2"), &second);
        initDone = true;
    });
    // The lock's count shows the second thread waiting on the holder's lock;
    // had the lock been created again, the thread would have finished.
    WaitForWaiterOrEnd(PortListLock, initDone);
    EXPECT_FALSE(initDone) << "the port-list lock was created again";
    stage = 2;
    init.join();
    EXPECT_TRUE(initDone);

    HANDLE handle = nullptr;
    std::thread opener([&] {
        OpenPort(const_cast<LPSTR>("USB/P/S"), &handle);
        openDone = true;
    });
    WaitForWaiterOrEnd(HandleListLock, openDone);
    EXPECT_FALSE(openDone) << "the handle-list lock was created again";
    stage = 3;
    opener.join();
    holder.join();
    EXPECT_NE(nullptr, handle);
    EXPECT_EQ(std::vector<std::string>{"USB/P/S"}, ListedNames());
}

// The Windows Me test: 4.90 and later 4.x only.
TEST_F(Monitor, WindowsMeIsDetected)
{
    using win9x::machine::WindowsVersion;
    const std::pair<WindowsVersion, BOOL> cases[] = {{WindowsVersion::Win95, FALSE},
                                                     {WindowsVersion::Win98, FALSE},
                                                     {WindowsVersion::WinMe, TRUE},
                                                     {WindowsVersion::NT4, FALSE}};
    for (auto [version, me] : cases) {
        win9x::machine::OverrideVersion(version);
        EXPECT_EQ(me, IsWindowsMe()) << win9x::machine::VersionKeyword(version);
    }
}

} // namespace
