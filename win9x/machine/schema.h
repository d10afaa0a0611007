// Table layouts of a machine's databases, and a new machine's registry.
#pragma once

#include "machine/store.h"
#include "win9x/machine.h"

namespace win9x::layer {

// Creates the registry's tables and root keys where the file records an
// older layout (or none).
bool EnsureRegistrySchema(store::Database &db);
// Creates machine.db's tables (settings, files, hardware, processes) where
// the file records an older layout.
bool EnsureStateSchema(store::Database &db);
// Writes the keys a fresh Windows machine of this version has.
bool WriteDefaultRegistry(store::Database &db, machine::WindowsVersion os);

}  // namespace win9x::layer
