// Running the troubleshooting wizard from a script, as the demonstration
// and the tests do. The agents it starts have done their work when it ends:
// WinExec returns only when the program it started first waits for input
// or ends, and the agent does all its work before that.
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

}  // namespace ovlsim
