// SQLite's own verdict on a database file of a machine.
#pragma once

#include <string>

namespace ovltest {

// The result of PRAGMA integrity_check on the database ("ok" when sound),
// or the reason it could not be run.
std::string IntegrityCheck(const std::string &databasePath);

// The same for both databases of a machine: "ok", or each database's name
// with what is wrong in it.
std::string MachineIntegrity(const std::string &machineDir);

}  // namespace ovltest
