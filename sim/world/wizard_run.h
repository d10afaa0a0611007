// Running the troubleshooting wizard from a script, as the demonstration
// and the tests do, and waiting for the agents it starts without waiting.
#pragma once

#include <string>

namespace ovlsim {

struct WizardRun {
    bool started = false;
    int exitCode = -1;
    std::string output;  // the screens the script front end wrote
};

// Runs usbcheck98 (installed on the machine, else the build next to
// ovlsim) with the script front end reading `script`.
WizardRun RunWizardScript(const std::string &script);

// Waits until no process of the machine runs the given program of
// C:\WINDOWS\SYSTEM (e.g. "ovlcin00.exe"); false when `seconds` pass first.
bool WaitForPrograms(const std::string &name, double seconds);

}  // namespace ovlsim
