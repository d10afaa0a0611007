#include "commands/context.h"

#include <cstdio>
#include <cstdlib>

#include "win9x/machine.h"
#include "world/shown_text.h"

namespace ovlsim {

std::string MachineDirectory(const Context &context)
{
    if (!context.machineOption.empty())
        return context.machineOption;
    if (const char *fromEnvironment = std::getenv(win9x::machine::kMachineVariable)) {
        if (*fromEnvironment)
            return fromEnvironment;
    }
    return "machine";
}

bool OpenMachine(const Context &context)
{
    std::string error;
    if (!win9x::machine::Open(MachineDirectory(context), &error)) {
        Fail(error);
        return false;
    }
    setenv(win9x::machine::kMachineVariable, win9x::machine::Directory().c_str(), 1);
    return true;
}

std::string DamagedMachine(const std::string &what)
{
    return "the machine in " + win9x::machine::Directory() + " is damaged (" + what + "); " + kCheckAdvice;
}

std::string DamageNote()
{
    std::string damage = win9x::machine::DamageSeen();
    return damage.empty() ? "" : DamagedMachine(damage);
}

// Whatever a message echoes (a user's argument, a name read from the
// machine), its control characters are escaped here: the line stays one line.
int Fail(const std::string &message)
{
    std::string note = DamageNote();
    std::string line = note.empty() || message.find(kCheckAdvice) != std::string::npos ? message
                                                                                         : message + ": " + note;
    std::fprintf(stderr, "ovlsim: %s\n", EscapeControls(line).c_str());
    return 1;
}

int Conclude(int status)
{
    if (status != 0 || DamageNote().empty())
        return status;
    std::fprintf(stderr, "ovlsim: %s\n", EscapeControls(DamageNote()).c_str());
    return 1;
}

}  // namespace ovlsim
