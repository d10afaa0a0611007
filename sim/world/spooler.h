// The Windows 9x print spooler's side of the port monitors, as ovlsim plays
// it: loading every registered monitor, asking it for its ports, and
// handing a job to the monitor that offers a port.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "monitor9x.h"

namespace ovlsim {

struct LoadedMonitor {
    std::string name;    // the registration's name (the agent uses the serial)
    std::string driver;  // its "Driver" value, e.g. ovlpom00.dll
    HMODULE module = nullptr;
    MONITOR table{};
};

struct PortRecord {
    std::string name;
    std::string monitorName;  // level 2: what the monitor reports
    std::string description;  // level 2
    DWORD type = 0;           // level 2: PORT_TYPE_* bits
    std::string monitor;      // the registration that offers it (the first)
    int offeredBy = 0;        // how many registrations offer it
};

class Spooler {
public:
    Spooler() = default;
    Spooler(const Spooler &) = delete;
    Spooler &operator=(const Spooler &) = delete;
    ~Spooler();  // frees the monitors' libraries

    // Loads and initialises every monitor registered under
    // System\CurrentControlSet\Control\Print\Monitors; a monitor that cannot
    // be loaded is noted and left out. False with the reason when the list
    // cannot be read or a monitor's library is damaged.
    bool Start(std::vector<std::string> *notes, std::string *error);

    // The ports of every monitor, each once, sized as a spooler does: ask,
    // allocate, ask again. Level 1 or 2.
    bool EnumAllPorts(DWORD level, std::vector<PortRecord> *ports, std::string *error);

    // The first monitor that offers the port (names compared without regard
    // to case), or null.
    const LoadedMonitor *FindPortMonitor(const std::string &port);

    // Records the ports under System\CurrentControlSet\Control\Print\Ports,
    // as the Windows 9x spooler keeps its list of ports, and forgets the
    // ports a monitor offered before and none offers now.
    bool RecordPorts(const std::vector<PortRecord> &ports);

    const std::vector<LoadedMonitor> &monitors() const { return monitors_; }

private:
    bool EnumMonitorPorts(const LoadedMonitor &monitor, DWORD level, std::vector<PortRecord> *ports,
                          std::string *error);

    std::vector<LoadedMonitor> monitors_;
};

// "printer out of paper", "printer not ready", ... for a spooler's report.
std::string DescribeError(DWORD error);

}  // namespace ovlsim
