// The open machine of this process: its directory, its databases and its
// settings. Everything the libraries of the layer share about the machine
// starts here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "machine/registry_cache.h"
#include "machine/store.h"
#include "win9x/machine.h"

namespace win9x::layer {

struct Machine {
    std::string dir;     // absolute machine directory
    std::string driveC;  // dir + "/drive_c"
    std::unique_ptr<store::Database> registry;  // registry.db
    std::unique_ptr<store::Database> state;     // machine.db: settings, hardware, processes
    registry::Cache registryCache;              // guarded by registry's mutex
    machine::WindowsVersion version = machine::WindowsVersion::Win98;
    uint64_t bootTimeMs = 0;
};

// This process's machine, opened from OVLSIM_MACHINE on first use; null
// when there is none (the caller fails with its own error).
std::shared_ptr<Machine> CurrentMachine();

// Settings in machine.db.
std::string ReadSetting(Machine &m, const char *name, const std::string &fallback);
bool WriteSetting(Machine &m, const char *name, const std::string &value);

// Milliseconds since the Unix epoch, from the wall clock.
uint64_t WallClockMs();

}  // namespace win9x::layer
