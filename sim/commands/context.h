// What every ovlsim command shares: the machine it works on and the way it
// reports a failure (one line on standard error, a non-zero exit status).
#pragma once

#include <string>

namespace ovlsim {

struct Context {
    std::string machineOption;  // --machine DIR, empty when not given
};

// The directory of the machine: --machine, else $OVLSIM_MACHINE, else ./machine.
std::string MachineDirectory(const Context &context);

// Opens the machine for this process and for the programs it starts
// (OVLSIM_MACHINE is set to its absolute directory). False after printing
// the reason.
bool OpenMachine(const Context &context);

// Prints "ovlsim: <message>" on standard error, its control characters
// escaped (see EscapeControls), and returns the exit status 1.
int Fail(const std::string &message);

}  // namespace ovlsim
