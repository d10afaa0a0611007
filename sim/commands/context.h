// What every ovlsim command shares: the machine it works on and the way it
// reports a failure (one line on standard error, a non-zero exit status).
#pragma once

#include <string>

namespace ovlsim {

// Ends every message about a damaged machine.
inline constexpr const char *kCheckAdvice = "`ovlsim check` lists the damage";

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
// escaped (see EscapeControls), and returns the exit status 1. When this
// process met damage in the machine's databases, the line says so.
int Fail(const std::string &message);

// "the machine in DIR is damaged (<what>); `ovlsim check` lists the damage".
std::string DamagedMachine(const std::string &what);

// DamagedMachine of the damage this process met in the machine's databases,
// or empty when it met none.
std::string DamageNote();

// What a command that had nothing to report says once it has run: status 0
// stays 0 unless the command met damage, which is then reported as a failure.
int Conclude(int status);

}  // namespace ovlsim
