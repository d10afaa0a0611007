// ovlsim plug, unplug and remove: a printer comes and goes on the USB bus,
// and its class installer installs and removes it with the agent.
#include <cstdio>

#include "class_installer.h"
#include "commands.h"
#include "driver_install.h"
#include "inspect.h"
#include "model_install.h"
#include "usb_bus.h"
#include "win9x/machine.h"

namespace ovlsim {

namespace {

// What happens when a printer the machine has no installation of is
// plugged in: the driver package is installed, the driver announces the
// device, and the class installer runs the agent.
bool InstallNewPrinter(const PrinterIdentity &identity, std::string *error)
{
    if (!InstallDriverFiles(error) || !AnnounceDevice(identity, error) || !InstallModel(identity, error) ||
        !SetAttached(identity.InstanceId(), true, error))
        return false;
    std::printf("installed the driver package and announced %s\n", identity.InstanceId().c_str());
    return InstallPrinter(identity, error);
}

int Plug(Context &context, PrinterIdentity identity)
{
    std::string error;
    if (!ValidateIdentity(&identity, &error))
        return Fail(error);
    if (!OpenMachine(context))
        return 1;
    bool installed = MachineKeyExists(identity.EnumKey());
    if (!installed && !InstallNewPrinter(identity, &error))
        return Fail(error);
    if (installed && !SetAttached(identity.InstanceId(), true, &error))
        return Fail(error);
    std::printf("plugged in %s (serial %s) as %s\n", identity.model.c_str(), identity.serial.c_str(),
                identity.InstanceId().c_str());
    return 0;
}

int Unplug(Context &context, const std::string &serial)
{
    if (!OpenMachine(context))
        return 1;
    auto printer = win9x::machine::FindPrinterBySerial(serial);
    if (!printer)
        return Fail("no printer with serial number " + serial + " was ever plugged in");
    std::string error;
    if (!SetAttached(printer->instanceId, false, &error))
        return Fail(error);
    std::printf("unplugged %s\n", printer->instanceId.c_str());
    return 0;
}

int Remove(Context &context, const std::string &serial, std::string model)
{
    if (!OpenMachine(context))
        return 1;
    if (model.empty()) {
        auto printer = win9x::machine::FindPrinterBySerial(serial);
        auto described = printer ? ReadMachineText("Enum\\" + printer->instanceId, "DeviceDesc") : std::nullopt;
        if (!described)
            return Fail("no installed printer with serial number " + serial + " (give its model with --model)");
        model = *described;
    }
    std::string error;
    if (!RemovePrinter(model, serial, &error))
        return Fail(error);
    return 0;
}

}  // namespace

void AddPlugCommands(CLI::App &app, Context &context, int *status)
{
    auto identity = std::make_shared<PrinterIdentity>();
    CLI::App *plug = app.add_subcommand("plug", "plug a Sorrelink printer in (the first time: install it)");
    plug->add_option("MODEL", identity->model, "the model, e.g. \"Sorrelink 640\"")->required();
    plug->add_option("SERIAL", identity->serial, "the serial number, e.g. X1")->required();
    plug->add_option("--product-id", identity->productId, "USB product ID in hex (default 0114, the 640/880 series)");
    plug->callback([identity, &context, status] { *status = Plug(context, *identity); });

    auto serial = std::make_shared<std::string>();
    CLI::App *unplug = app.add_subcommand("unplug", "unplug a printer");
    unplug->add_option("SERIAL", *serial, "the printer's serial number")->required();
    unplug->callback([serial, &context, status] { *status = Unplug(context, *serial); });

    auto removeSerial = std::make_shared<std::string>();
    auto removeModel = std::make_shared<std::string>();
    CLI::App *remove = app.add_subcommand("remove", "remove an installed printer (the agent purges it)");
    remove->add_option("SERIAL", *removeSerial, "the printer's serial number")->required();
    remove->add_option("--model", *removeModel, "its model (default: as its device was installed)");
    remove->callback([removeSerial, removeModel, &context, status] {
        *status = Remove(context, *removeSerial, *removeModel);
    });
}

}  // namespace ovlsim
