// The simulated USB printers in machine.db, as the device objects see them.
#pragma once

#include <optional>
#include <string>

#include "machine/store.h"
#include "win9x/machine.h"

namespace win9x::layer {

// Creates the printers' tables in machine.db; the bytes an older machine
// kept in the database move into the printers' files.
bool CreateHardwareTables(store::Database &db);

// The printer row, read inside the caller's transaction on machine.db.
std::optional<machine::Printer> LoadPrinter(store::Database &db, const std::string &instanceId);

// Whether the printer with this device instance is plugged in now.
bool IsAttached(const std::string &instanceId);

// Appends received bytes and takes the paper they used, inside the caller's
// write transaction. The bytes go to an append-only file beside machine.db
// (printer-<row>.received) and the database holds its committed length: a
// crash before the commit leaves at most a tail past that length, which
// the next write overwrites and the next open of the device cuts.
bool RecordReceived(store::Database &db, const std::string &instanceId, const void *data, size_t size,
                    int64_t paperLeft);
// Cuts what lies past the committed length of the printer's file, inside
// the caller's write transaction (a file that came up short, from a power
// cut, is taken as it is).
bool CutUnacknowledgedBytes(store::Database &db, const std::string &instanceId);

// Counts one control request; true when the armed control fault fires now.
bool CountControlRequest(store::Database &db, const machine::Printer &printer);

}  // namespace win9x::layer
