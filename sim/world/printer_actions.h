// What a person does with a printer on the machine: plug it in (the first
// time the driver package is installed and the class installer runs the
// agent), unplug it, remove its installation. Shared by the commands and
// the demonstration; each tells what it did on standard output.
#pragma once

#include <string>

#include "world/usb_bus.h"

namespace ovlsim {

// Validates the identity (see ValidateIdentity), then installs or attaches.
// Without runAgent a first plug stops before the class installer runs the
// agent: a machine as the agent's install finds it, for a check that runs
// the agent itself (the Wine comparison runs the Windows build there).
bool PlugInPrinter(PrinterIdentity *identity, std::string *error, bool runAgent = true);
bool UnplugPrinter(const std::string &serial, std::string *error);
// `model` empty: the model its device was installed with. The serial number
// and the model are validated as for a plug before anything is done.
bool RemoveInstalledPrinter(const std::string &serial, std::string model, std::string *error);

}  // namespace ovlsim
