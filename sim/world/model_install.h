// What the printer's INF installation leaves for a printer, besides the
// driver files: the INF file itself, the model key the agent reads, the
// driver's static configuration, the class keys, the device's driver key,
// and the printer's setup program.
#pragma once

#include <string>

#include "world/usb_bus.h"

namespace ovlsim {

// The model without its leading run of characters from "Sorrelink " (taken
// as a set), as the model key and the printer configuration key name it.
std::string ModelSuffix(const std::string &model);

// The INF file's name in C:\WINDOWS\INF\OTHER, and the setup program.
inline constexpr const char *kInfName = "Orvaneovl64098.inf";
inline constexpr const char *kSetupRootPath = "C:\\ORVANE\\SETUP";
inline constexpr const char *kSetupExecFile = "OVSETUP.EXE";

// Writes the INF file, the setup program and every key of the install for
// this printer (adding its PortName<n> to the model key), and names the
// device's driver key in its enumeration key's "driver" value.
bool InstallModel(const PrinterIdentity &identity, std::string *error);

}  // namespace ovlsim
