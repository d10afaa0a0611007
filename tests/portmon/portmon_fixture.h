// What the port monitor's tests share: a fresh machine per test with the
// monitor's module-wide state emptied before and after, and helpers that
// announce printers and write device interfaces the way the USB driver
// does (or in the odd ways a damaged installation leaves them).
#pragma once

#include <windows.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "monitor.h"
#include "monitor_reset.h"
#include "ovlcommon.h"
#include "support/machine_fixture.h"
#include "world/usb_bus.h"

namespace portmontest {

constexpr DWORD kSeed = 0xdeadbeef;
inline HANDLE SeedHandle()
{
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0xdeadbeef));
}
// A tick count well inside the first throttle interval: no call rebuilds the
// port list unless a test moves the clock.
constexpr DWORD kQuietTicks = 1000;
constexpr const char *kRegistryRoot = "System\\CurrentControlSet\\Control\\Print\\Monitors\\X1";
constexpr const char *kDeviceClasses = "System\\CurrentControlSet\\Control\\DeviceClasses\\" OVL_INTERFACE_CLASS_TEXT;

// One registry value to put into a device interface key.
struct Value {
    std::string name;
    DWORD type;
    std::string data; // raw bytes
};

inline Value Text(const std::string &name, const std::string &text)
{
    return Value{name, REG_SZ, std::string(text.data(), text.size() + 1)};
}

inline Value Number(const std::string &name, DWORD number)
{
    return Value{name, REG_DWORD, std::string(reinterpret_cast<const char *>(&number), sizeof number)};
}

inline Value Bytes(const std::string &name, const std::string &bytes)
{
    return Value{name, REG_BINARY, bytes};
}

// The usual values of a printer's device interface key.
inline std::vector<Value> DeviceValues(const std::string &product, const std::string &serial, DWORD enabled = 1)
{
    return {Text(OVL_VALUE_PRODUCT, product), Text(OVL_VALUE_SERIAL_NUMBER, serial),
            Number(OVL_VALUE_ENABLED, enabled)};
}


class MonitorTest : public ovltest::MachineTest {
  protected:
    void SetUp() override
    {
        MachineTest::SetUp();
        ResetMonitor();
        win9x::machine::OverrideTickCount(kQuietTicks);
    }

    void TearDown() override
    {
        ResetMonitor();
        MachineTest::TearDown();
    }

    // Loads the monitor as the spooler does for the registration X1.
    void Initialize()
    {
        std::memset(&table_, 0, sizeof table_);
        ASSERT_TRUE(InitializeMonitorEx(const_cast<LPSTR>(kRegistryRoot), &table_));
    }

    // Announces a printer as `ovlsim plug` does and attaches it; returns its
    // device instance ID.
    std::string Plug(const std::string &model, const std::string &serial, bool attached = true)
    {
        ovlsim::PrinterIdentity identity{model, serial};
        std::string error;
        EXPECT_TRUE(ovlsim::AnnounceDevice(identity, &error)) << error;
        EXPECT_TRUE(ovlsim::SetAttached(identity.InstanceId(), attached, &error)) << error;
        return identity.InstanceId();
    }

    // Registry path of the interface named by `tag` (the serial part of
    // ##?#USB#VID_7E51&PID_0114#<tag>#{class}).
    static std::string InterfacePath(const std::string &tag)
    {
        return std::string(kDeviceClasses) + "\\##?#USB#VID_7E51&PID_0114#" + tag + "#" OVL_INTERFACE_CLASS_TEXT;
    }

    // Path of the interface's device interface key.
    static std::string InterfaceKeyPath(const std::string &tag)
    {
        return InterfacePath(tag) + "\\#\\Device Parameters";
    }

    // The device path SetupAPI reports for the interface.
    static std::string DevicePathOf(std::string tag)
    {
        for (char &c : tag)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return "\\\\?\\usb#vid_7e51&pid_0114#" + tag + "#" OVL_INTERFACE_CLASS_TEXT;
    }

    // Writes a device interface of the driver's class. With `withKey` its
    // device interface key is created holding `values`; without, the key is
    // missing (discovery then creates it, empty).
    void AddInterface(const std::string &tag, const std::vector<Value> &values, bool withKey = true)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, InterfacePath(tag).c_str(), &key));
        std::string instance = "USB\\VID_7E51&PID_0114\\" + tag;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, "DeviceInstance", 0, REG_SZ, reinterpret_cast<const BYTE *>(instance.c_str()),
                                 static_cast<DWORD>(instance.size() + 1)));
        RegCloseKey(key);
        if (withKey)
            SetValues(tag, values);
    }

    // Adds or replaces values in the interface's device interface key.
    void SetValues(const std::string &tag, const std::vector<Value> &values)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, InterfaceKeyPath(tag).c_str(), &key));
        for (const auto &v : values)
            ASSERT_EQ(ERROR_SUCCESS,
                      RegSetValueExA(key, v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE *>(v.data.data()),
                                     static_cast<DWORD>(v.data.size())));
        RegCloseKey(key);
    }

    // Removes the whole interface, as an uninstall does.
    void RemoveInterface(const std::string &tag)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, InterfacePath(tag).c_str()));
    }

    // Raw bytes of a value of the interface's key, or "<missing>".
    static std::string KeyValue(const std::string &tag, const char *name)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, InterfaceKeyPath(tag).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return "<missing>";
        std::string data(4096, '\0');
        DWORD size = static_cast<DWORD>(data.size());
        LONG r = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(data.data()), &size);
        RegCloseKey(key);
        if (r != ERROR_SUCCESS)
            return "<missing>";
        data.resize(size);
        return data;
    }

    // The port name a key's PortName holds, as stored with its terminator.
    static std::string Stored(const std::string &name) { return std::string(name.data(), name.size() + 1); }

    // The names of the port list, in list order.
    static std::vector<std::string> ListedNames()
    {
        std::vector<std::string> names;
        EnterCriticalSection(&PortListLock);
        for (PPORT_NODE node = PortList; node != NULL; node = node->Next)
            names.emplace_back(node->Name);
        LeaveCriticalSection(&PortListLock);
        return names;
    }

    // The node FindPortNode finds (enabled nodes only), or null.
    static PPORT_NODE Find(const char *name)
    {
        EnterCriticalSection(&PortListLock);
        PPORT_NODE node = FindPortNode(name);
        LeaveCriticalSection(&PortListLock);
        return node;
    }

    // The device path of the first node of the name, enabled or not.
    static std::string NodePath(const std::string &name)
    {
        std::string path = "<no node>";
        EnterCriticalSection(&PortListLock);
        for (PPORT_NODE node = PortList; node != NULL; node = node->Next) {
            if (name == node->Name) {
                path = node->DevicePath ? node->DevicePath : "<null>";
                break;
            }
        }
        LeaveCriticalSection(&PortListLock);
        return path;
    }

    // Changes a simulated printer's state.
    static void ChangePrinter(const std::string &instance, const std::function<void(win9x::machine::Printer &)> &change)
    {
        auto printer = win9x::machine::FindPrinter(instance);
        ASSERT_TRUE(printer.has_value()) << instance;
        change(*printer);
        ASSERT_TRUE(win9x::machine::UpdatePrinter(*printer));
    }

    static uint32_t Opens(const std::string &instance)
    {
        auto printer = win9x::machine::FindPrinter(instance);
        return printer ? printer->opens : 9999;
    }

    // Opens the port and starts a job on it; the handle, or null.
    static PPORT_HANDLE OpenAndStart(const char *port, const char *printer = "Sorrelink")
    {
        HANDLE handle = nullptr;
        if (!OpenPort(const_cast<LPSTR>(port), &handle))
            return nullptr;
        if (!StartDocPort(handle, const_cast<LPSTR>(printer), 1, 1, nullptr)) {
            ClosePort(handle);
            return nullptr;
        }
        return static_cast<PPORT_HANDLE>(handle);
    }

    static BOOL Write(HANDLE handle, const std::string &data, DWORD *written)
    {
        return WritePort(handle, reinterpret_cast<LPBYTE>(const_cast<char *>(data.data())),
                         static_cast<DWORD>(data.size()), written);
    }

    MONITOR table_{};
};

} // namespace portmontest
