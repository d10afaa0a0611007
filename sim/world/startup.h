// The next start of Windows 9x on the machine, and its desktop shell.
#pragma once

#include <string>
#include <vector>

namespace ovlsim {

// Carries out the [rename] section of C:\WINDOWS\WININIT.INI in order
// (NUL=path deletes the file; target=source moves source over target) and
// renames WININIT.INI to WININIT.BAK. Each step is reported in `report`.
// False with the reason when the section cannot be read whole: then nothing
// is done and WININIT.INI stays for the next start.
bool ProcessRenameSection(std::vector<std::string> *report, std::string *error = nullptr);

// The whole restart: the shell stops, the rename section is carried out,
// the tick count starts again and the shell starts.
bool RestartWindows(std::vector<std::string> *report, std::string *error = nullptr);

// Starts the shell: it runs each RunOnce value of the machine once, in
// order, removing it before running it, and waits for it. False with the
// reason when the registry fails to read RunOnce (nothing is run then).
bool StartShell(std::vector<std::string> *report, std::string *error = nullptr);

}  // namespace ovlsim
