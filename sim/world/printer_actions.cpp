#include "world/printer_actions.h"

#include <strings.h>

#include <cstdio>

#include "world/class_installer.h"
#include "world/driver_install.h"
#include "world/machine_view.h"
#include "world/model_install.h"
#include "world/shown_text.h"
#include "win9x/machine.h"

namespace ovlsim {

namespace {

// A printer the machine has no installation of: the driver package is
// installed, the driver announces the device, the class installer runs the
// agent (unless the caller runs it).
bool InstallNewPrinter(const PrinterIdentity &identity, bool runAgent, std::string *error)
{
    if (!InstallDriverFiles(error) || !AnnounceDevice(identity, error) || !InstallModel(identity, error) ||
        !SetAttached(identity.InstanceId(), true, error))
        return false;
    std::printf("installed the driver package and announced %s\n", identity.InstanceId().c_str());
    if (!runAgent) {
        std::printf("left to the caller: %s\n",
                    AgentCommandLine(kInstallAction, identity.model, identity.serial).c_str());
        return true;
    }
    return InstallPrinter(identity, error);
}

// A model given for a removal must be the one the printer was installed
// as: the agent purges by model, and with another it finds nothing to purge
// and leaves the printer installed. Without its device (removed by hand,
// say) the model must have left its model key or the printer's
// configuration key.
bool CheckGivenModel(const std::string &serial, const std::string &model, std::string *error)
{
    auto printer = win9x::machine::FindPrinterBySerial(serial);
    auto described = printer ? ReadMachineText("Enum\\" + printer->instanceId, "DeviceDesc") : std::nullopt;
    if (described) {
        if (strcasecmp(described->c_str(), model.c_str()) == 0)
            return true;
        *error = "printer " + Shown(serial) + " was installed as " + Shown(*described) + ", not " + Shown(model);
        return false;
    }
    std::string suffix = ModelSuffix(model);
    if (!suffix.empty() && (MachineKeyExists("Software\\Orvane\\OVLIO\\" + suffix) ||
                            MachineKeyExists("Software\\Orvane\\OVL\\" + suffix + "\\" + serial)))
        return true;
    *error = "no printer " + Shown(serial) + " of model " + Shown(model) + " is installed on this machine";
    return false;
}

}  // namespace

bool PlugInPrinter(PrinterIdentity *identity, std::string *error, bool runAgent)
{
    if (!ValidateIdentity(identity, error))
        return false;
    if (MachineKeyExists(identity->EnumKey())) {
        if (!SetAttached(identity->InstanceId(), true, error))
            return false;
    } else if (!InstallNewPrinter(*identity, runAgent, error)) {
        return false;
    }
    std::printf("plugged in %s (serial %s) as %s\n", identity->model.c_str(), identity->serial.c_str(),
                identity->InstanceId().c_str());
    return true;
}

bool UnplugPrinter(const std::string &serial, std::string *error)
{
    auto printer = win9x::machine::FindPrinterBySerial(serial);
    if (!printer) {
        *error = "no printer with serial number " + Shown(serial) + " was ever plugged in";
        return false;
    }
    if (!SetAttached(printer->instanceId, false, error))
        return false;
    std::printf("unplugged %s\n", printer->instanceId.c_str());
    return true;
}

bool RemoveInstalledPrinter(const std::string &serial, std::string model, std::string *error)
{
    // Checked as a plug checks them, before the agent unregisters anything:
    // a model the agent's purge refuses would leave the removal half done.
    if (!ValidateSerial(serial, error) || (!model.empty() && !ValidateModel(model, error)))
        return false;
    if (!model.empty() && !CheckGivenModel(serial, model, error))
        return false;
    if (model.empty()) {
        auto printer = win9x::machine::FindPrinterBySerial(serial);
        auto described = printer ? ReadMachineText("Enum\\" + printer->instanceId, "DeviceDesc") : std::nullopt;
        if (!described) {
            *error = "no installed printer with serial number " + Shown(serial) + " (give its model with --model)";
            return false;
        }
        model = *described;
        if (!ValidateModel(model, error))
            return false;
    }
    return RemovePrinter(model, serial, error);
}

}  // namespace ovlsim
