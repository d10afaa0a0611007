// Telling whether a process recorded in the machine still runs, without
// being fooled by a process id that the system has reused.
#pragma once

#include <cstdint>

namespace win9x::layer {

struct ProcessIdentity {
    int64_t pid = 0;
    int64_t start = 0;  // start time in clock ticks since boot (/proc/<pid>/stat)
};

ProcessIdentity CurrentProcess();
// The identity of another process, read now (start -1 when it is gone).
ProcessIdentity IdentityOf(int64_t pid);
bool IsAlive(const ProcessIdentity &process);

}  // namespace win9x::layer
