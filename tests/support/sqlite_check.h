// SQLite's own verdict on a database file of a machine.
#pragma once

#include <string>

namespace ovltest {

// The result of PRAGMA integrity_check on the database ("ok" when sound),
// or the reason it could not be run.
std::string IntegrityCheck(const std::string &databasePath);

}  // namespace ovltest
