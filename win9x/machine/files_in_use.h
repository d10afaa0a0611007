// Files that a live process uses: held open without delete sharing, loaded
// as a module, or running as its program. Windows 9x refuses to delete
// them. Kept in machine.db, keyed by the path relative to drive_c without
// regard to case; the uses of a process that died no longer count.
#pragma once

#include <cstdint>
#include <string>

#include "machine/machine.h"
#include "machine/process_identity.h"

namespace win9x::layer {

// Records a use of `relative` by `user`; the use's id, or 0 when it cannot
// be recorded.
int64_t RecordFileUse(Machine &m, const std::string &relative, const ProcessIdentity &user);
void ForgetFileUse(Machine &m, int64_t id);

// Whether a live process uses `relative`. Called inside the caller's write
// transaction on machine.db, so that the answer still holds for its change.
bool IsFileInUse(Machine &m, const std::string &relative);

}  // namespace win9x::layer
