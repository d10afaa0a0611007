#include "world/spooler.h"

#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "world/registry_values.h"

namespace ovlsim {

namespace {

constexpr const char *kMonitorsKey = "System\\CurrentControlSet\\Control\\Print\\Monitors";
constexpr const char *kPortsKey = "System\\CurrentControlSet\\Control\\Print\\Ports";

// Registered monitors with their "Driver" value, in registry order; false
// with the reason when the registry fails a read (no monitor key at all is
// no monitor).
bool RegisteredMonitors(std::vector<LoadedMonitor> *found, std::string *error)
{
    HKEY monitors = nullptr;
    LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMonitorsKey, 0, KEY_READ, &monitors);
    if (r != ERROR_SUCCESS) {
        *error = "cannot read the list of monitors (" + DescribeError(static_cast<DWORD>(r)) + ")";
        return r == ERROR_FILE_NOT_FOUND;
    }
    for (DWORD index = 0;; ++index) {
        char name[MAX_PATH];
        DWORD size = sizeof name;
        r = RegEnumKeyExA(monitors, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (r != ERROR_SUCCESS)
            break;
        HKEY key = nullptr;
        r = RegOpenKeyExA(monitors, name, 0, KEY_READ, &key);
        if (KeyVanished(r))
            continue;
        if (r != ERROR_SUCCESS)
            break;
        LoadedMonitor monitor;
        monitor.name = name;
        monitor.driver = ReadKeyText(key, "Driver");
        RegCloseKey(key);
        found->push_back(monitor);
    }
    RegCloseKey(monitors);
    if (r == ERROR_NO_MORE_ITEMS)
        return true;
    *error = "cannot read the list of monitors (" + DescribeError(static_cast<DWORD>(r)) + ")";
    return false;
}

std::string Text(LPSTR text)
{
    return text ? std::string(text) : std::string();
}

// Port names compare without regard to case: this is the form they are
// looked up by.
std::string Folded(const std::string &name)
{
    std::string folded = name;
    for (char &c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

}  // namespace

// The Windows 9x spooler keeps a monitor loaded while it runs; ovlsim's
// spooler runs for one command (or one step of the demonstration), and its
// monitors go with it. A library it still held would be a file in use that
// no removal could delete, where Windows' spooler frees the library when
// its last monitor is deleted.
Spooler::~Spooler()
{
    for (const auto &monitor : monitors_)
        FreeLibrary(monitor.module);
}

bool Spooler::Start(std::vector<std::string> *notes, std::string *error)
{
    std::vector<LoadedMonitor> registered;
    if (!RegisteredMonitors(&registered, error))
        return false;
    for (LoadedMonitor monitor : registered) {
        if (monitor.driver.empty()) {
            notes->push_back("monitor " + monitor.name + " has no \"Driver\" value; left out");
            continue;
        }
        monitor.module = LoadLibraryA(monitor.driver.c_str());
        if (!monitor.module && GetLastError() == ERROR_BAD_EXE_FORMAT) {
            // The file is there, but no whole library: the machine is damaged.
            *error = "monitor " + monitor.name + ": " + monitor.driver + " is " + DescribeError(ERROR_BAD_EXE_FORMAT);
            return false;
        }
        if (!monitor.module) {
            notes->push_back("monitor " + monitor.name + ": cannot load " + monitor.driver + " (" +
                             DescribeError(GetLastError()) + "); left out");
            continue;
        }
        FARPROC entry = GetProcAddress(monitor.module, "InitializeMonitorEx");
        if (!entry) {
            notes->push_back("monitor " + monitor.name + ": " + monitor.driver + " has no InitializeMonitorEx");
            FreeLibrary(monitor.module);
            continue;
        }
        PFN_INITIALIZE_MONITOR_EX initialize;
        std::memcpy(&initialize, &entry, sizeof initialize);
        std::string root = std::string(kMonitorsKey) + "\\" + monitor.name;
        if (!initialize(root.data(), &monitor.table)) {
            notes->push_back("monitor " + monitor.name + ": InitializeMonitorEx failed (" +
                             DescribeError(GetLastError()) + ")");
            FreeLibrary(monitor.module);
            continue;
        }
        monitors_.push_back(monitor);
    }
    return true;
}

bool Spooler::EnumMonitorPorts(const LoadedMonitor &monitor, DWORD level, std::vector<PortRecord> *ports,
                               std::string *error)
{
    if (!monitor.table.pfnEnumPorts)
        return true;
    // Ask for the size, allocate, ask again; the list may grow in between.
    std::vector<BYTE> buffer;
    DWORD needed = 0, returned = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (monitor.table.pfnEnumPorts(nullptr, level, buffer.empty() ? nullptr : buffer.data(),
                                       static_cast<DWORD>(buffer.size()), &needed, &returned))
            break;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            *error = "monitor " + monitor.name + ": EnumPorts failed (" + DescribeError(GetLastError()) + ")";
            return false;
        }
        buffer.assign(needed, 0);
        returned = 0;
        if (attempt == 4) {
            *error = "monitor " + monitor.name + ": the port list keeps changing";
            return false;
        }
    }
    for (DWORD i = 0; i < returned; ++i) {
        PortRecord record;
        if (level == 1) {
            record.name = Text(reinterpret_cast<PORT_INFO_1A *>(buffer.data())[i].pName);
        } else {
            const PORT_INFO_2A &info = reinterpret_cast<PORT_INFO_2A *>(buffer.data())[i];
            record.name = Text(info.pPortName);
            record.monitorName = Text(info.pMonitorName);
            record.description = Text(info.pDescription);
            record.type = info.fPortType;
        }
        record.monitor = monitor.name;
        ports->push_back(record);
    }
    return true;
}

bool Spooler::EnumAllPorts(DWORD level, std::vector<PortRecord> *ports, std::string *error)
{
    std::vector<PortRecord> all;
    for (const auto &monitor : monitors_) {
        if (!EnumMonitorPorts(monitor, level, &all, error))
            return false;
    }
    // Every registration of the one library lists the same ports: a port
    // belongs to the first monitor that offers it.
    std::unordered_map<std::string, size_t> first;  // folded name -> its first record in *ports
    for (auto &record : all) {
        auto found = first.find(Folded(record.name));
        if (found != first.end() && (*ports)[found->second].monitor != record.monitor) {
            ++(*ports)[found->second].offeredBy;
            continue;
        }
        if (found == first.end())
            first.emplace(Folded(record.name), ports->size());
        record.offeredBy = 1;
        ports->push_back(record);
    }
    return true;
}

const LoadedMonitor *Spooler::FindPortMonitor(const std::string &port)
{
    for (const auto &monitor : monitors_) {
        std::vector<PortRecord> ports;
        std::string ignored;
        if (!EnumMonitorPorts(monitor, 1, &ports, &ignored))
            continue;
        for (const auto &record : ports) {
            if (lstrcmpiA(record.name.c_str(), port.c_str()) == 0)
                return &monitor;
        }
    }
    return nullptr;
}

bool Spooler::RecordPorts(const std::vector<PortRecord> &ports)
{
    // Each port offered now gets its key, with the monitor that offers it.
    for (const auto &record : ports) {
        HKEY key = nullptr;
        std::string path = std::string(kPortsKey) + "\\" + record.name;
        if (RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key) != ERROR_SUCCESS)
            return false;
        WriteKeyText(key, "Monitor", record.monitor);
        RegCloseKey(key);
    }
    // A port a monitor offered before and none offers now is forgotten;
    // ports of no monitor (LPT1:, COM1:, FILE:) stay.
    HKEY list = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPortsKey, 0, KEY_ALL_ACCESS, &list) != ERROR_SUCCESS)
        return false;
    std::unordered_set<std::string> offeredNow;
    for (const auto &record : ports)
        offeredNow.insert(Folded(record.name));
    std::vector<std::string> stale;
    LONG r = ERROR_SUCCESS;
    for (DWORD index = 0;; ++index) {
        char name[MAX_PATH];
        DWORD size = sizeof name;
        r = RegEnumKeyExA(list, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (r != ERROR_SUCCESS)
            break;
        bool offered = offeredNow.count(Folded(name)) > 0;
        HKEY key = nullptr;
        if (!offered && RegOpenKeyExA(list, name, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            if (!ReadKeyText(key, "Monitor").empty())
                stale.push_back(name);
            RegCloseKey(key);
        }
    }
    for (const auto &name : stale)
        RegDeleteKeyA(list, name.c_str());
    RegCloseKey(list);
    return r == ERROR_NO_MORE_ITEMS;
}

std::string DescribeError(DWORD error)
{
    switch (error) {
    case ERROR_OUT_OF_PAPER: return "printer out of paper";
    case ERROR_NOT_READY: return "printer not ready";
    case ERROR_BUSY: return "port busy with another job";
    case ERROR_FILE_NOT_FOUND: return "not found";
    case ERROR_SHARING_VIOLATION: return "the printer is in use by another program";
    case ERROR_GEN_FAILURE: return "the device does not respond";
    case ERROR_MOD_NOT_FOUND: return "module not found";
    case ERROR_BAD_EXE_FORMAT: return "not a library for this machine";
    case ERROR_INVALID_PARAMETER: return "invalid parameter";
    case ERROR_INVALID_LEVEL: return "invalid level";
    case ERROR_INVALID_PRINTER_COMMAND: return "the monitor refuses that request";
    case ERROR_REGISTRY_IO_FAILED: return "the registry cannot be read";
    default: return "error " + std::to_string(error);
    }
}

}  // namespace ovlsim
