// Looking at a machine the way a person checks what a run left behind.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ovlsim {

// A text value of a key below HKEY_LOCAL_MACHINE, or nullopt.
std::optional<std::string> ReadMachineText(const std::string &keyPath, const std::string &valueName);
bool MachineKeyExists(const std::string &keyPath);

// Every key path below HKEY_LOCAL_MACHINE, parents before children.
std::vector<std::string> AllMachineKeys();
// The same; false when the registry fails a read (the list is then partial).
bool AllMachineKeys(std::vector<std::string> *keys);

// Every file on drive C:, as Windows paths.
std::vector<std::string> AllFiles();

// The lines of the [rename] section of C:\WINDOWS\WININIT.INI, in order.
std::vector<std::string> RenameEntries();
// The same; false when the section cannot be read whole (the list is then
// partial, and nothing may be done on its strength).
bool RenameEntries(std::vector<std::string> *entries);

// What is in `after` and not in `before`, in the order of `after`.
std::vector<std::string> Added(const std::vector<std::string> &before, const std::vector<std::string> &after);
// Removed entries, leaving out those below a removed parent key path.
std::vector<std::string> RemovedKeys(const std::vector<std::string> &before, const std::vector<std::string> &after);

}  // namespace ovlsim
