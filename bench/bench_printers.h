// Printers placed on a benchmark's machine as plugging them in leaves them,
// and the agent program run on them as the class installer runs it.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

#include "world/class_installer.h"
#include "world/driver_install.h"
#include "world/model_install.h"
#include "world/usb_bus.h"
#include "win9x/machine.h"

namespace bench {

constexpr const char *kModel = "Sorrelink 640";

inline ovlsim::PrinterIdentity Identity(const std::string &serial)
{
    ovlsim::PrinterIdentity identity;
    identity.model = kModel;
    identity.serial = serial;
    return identity;
}

// What plugging the printer in leaves before the agent runs: the driver
// package, the device's keys and the model's installation.
inline bool PlacePrinter(const std::string &serial, bool withDriverFiles, benchmark::State &state)
{
    std::string error;
    auto identity = Identity(serial);
    if ((withDriverFiles && !ovlsim::InstallDriverFiles(&error)) || !ovlsim::AnnounceDevice(identity, &error) ||
        !ovlsim::InstallModel(identity, &error)) {
        state.SkipWithError(error.c_str());
        return false;
    }
    return true;
}

// Runs the agent program as the class installer does and waits for it.
inline bool RunAgent(int action, const std::string &serial, benchmark::State &state)
{
    auto run = win9x::machine::RunCommandLine(ovlsim::AgentCommandLine(action, kModel, serial), true);
    if (!run.started || run.exitCode != 0) {
        state.SkipWithError("the agent did not run to its end");
        return false;
    }
    return true;
}

}  // namespace bench
