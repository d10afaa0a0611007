// The simulated USB printers in machine.db, as the device objects see them.
#pragma once

#include <optional>
#include <string>

#include "machine/store.h"
#include "win9x/machine.h"

namespace win9x::layer {

bool EnsureHardwareSchema(store::Database &db);

// The printer row, read inside the caller's transaction on machine.db.
std::optional<machine::Printer> LoadPrinter(store::Database &db, const std::string &instanceId);

// Whether the printer with this device instance is plugged in now.
bool IsAttached(const std::string &instanceId);

// Appends received bytes and takes the paper they used, inside the caller's
// transaction.
bool RecordReceived(store::Database &db, const std::string &instanceId, const void *data, size_t size,
                    int64_t paperLeft);

// Counts one control request; true when the armed control fault fires now.
bool CountControlRequest(store::Database &db, const machine::Printer &printer);

}  // namespace win9x::layer
