// The printer's class installer, as ovlsim plays it: it starts the agent
// for an install or a removal, waits for it, and tells what it left.
#pragma once

#include <string>

#include "world/usb_bus.h"

namespace ovlsim {

inline constexpr int kInstallAction = 2;
inline constexpr int kRemoveAction = 64;

// "C:\WINDOWS\SYSTEM\ovlcin00.exe -action=<n> -model=<model> -serial=<serial>"
std::string AgentCommandLine(int action, const std::string &model, const std::string &serial);

// Runs the agent and waits; false (with the reason) when it could not run.
bool RunAgent(int action, const std::string &model, const std::string &serial, std::string *error);

// Installs: runs the agent with action 2 and prints what the install left
// (monitor registration, CmdLine, RunOnce, rename entries).
bool InstallPrinter(const PrinterIdentity &identity, std::string *error);

// Removes: runs the agent with action 64 and prints what was purged and
// what is scheduled for the next start. A registry whose keys cannot all be
// read stops it before the agent runs.
bool RemovePrinter(const std::string &model, const std::string &serial, std::string *error);

}  // namespace ovlsim
