// Files that ovlsim puts on a machine's drive C: from the host: the host
// builds of the deliverables and placeholder files.
#pragma once

#include <string>

namespace ovlsim {

// The host build of a deliverable, e.g. HostBuild("ovlpom00.dll"): next to
// the running ovlsim (a build tree), else where an install puts it; empty
// when it is in neither.
std::string HostBuild(const std::string &name);

// Copies a host file to a Windows path on drive C: (creating its folders),
// replacing what is there; read-only when asked. False with the reason.
bool InstallHostFile(const std::string &hostSource, const std::string &windowsTarget, bool readOnly,
                     std::string *error);

// Writes a small text file to a Windows path on drive C: (folders created).
bool InstallTextFile(const std::string &windowsTarget, const std::string &content, bool readOnly,
                     std::string *error);

// Whether a Windows path on drive C: names an existing file.
bool WindowsFileExists(const std::string &windowsPath);

}  // namespace ovlsim
