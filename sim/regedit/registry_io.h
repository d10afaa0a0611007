// The machine's registry as REGEDIT4 text: export of a key and its subtree,
// import of a parsed file as one transaction.
#pragma once

#include <windows.h>

#include <string>

#include "regedit/regfile.h"

namespace ovlsim {

// Splits "HKEY_LOCAL_MACHINE\Software\X" (or HKLM\...) into its root and the
// rest. False for an unknown root.
bool SplitRootPath(const std::string &path, HKEY *root, std::string *rootName, std::string *subkey);

// Appends the key at `path` and everything below it to `out`, as the
// registry holds it at one moment. False, with the reason, when any part of
// it cannot be read or written as text; `out` is then unchanged.
bool ExportKey(const std::string &path, std::string *out, std::string *error);

// The whole registry of the machine (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER),
// as ExportKey does it.
bool ExportAll(std::string *out, std::string *error);

// Applies every key and value of the file, all or nothing. A refusal names
// the line of the entry ("12: cannot write value ...").
bool ImportFile(const regfile::File &file, std::string *error);

}  // namespace ovlsim
