// What the printer's driver installation leaves on the machine, outside the
// deliverables: the host builds of the monitor and the agent in the system
// folder, and the driver files.
#pragma once

#include <string>

namespace ovlsim {

// Copies ovlpom00.dll and ovlcin00.exe (their host builds) into
// C:\WINDOWS\SYSTEM and places the driver files in their folders.
bool InstallDriverFiles(std::string *error);

}  // namespace ovlsim
