// ovlsim plug and unplug: a printer comes and goes on the USB bus.
#include <cstdio>

#include "commands.h"
#include "driver_install.h"
#include "usb_bus.h"
#include "win9x/machine.h"

namespace ovlsim {

namespace {

int Plug(Context &context, PrinterIdentity identity)
{
    std::string error;
    if (!ValidateIdentity(&identity, &error))
        return Fail(error);
    if (!OpenMachine(context))
        return 1;
    if (!IsKnownPrinter(identity)) {
        // The first time: the driver installation, then the driver
        // announces the device.
        if (!InstallDriverFiles(&error) || !AnnounceDevice(identity, &error))
            return Fail(error);
        std::printf("installed the driver files and announced %s\n", identity.InstanceId().c_str());
    }
    if (!SetAttached(identity.InstanceId(), true, &error))
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

}  // namespace

void AddPlugCommands(CLI::App &app, Context &context, int *status)
{
    auto identity = std::make_shared<PrinterIdentity>();
    CLI::App *plug = app.add_subcommand("plug", "plug a Sorrelink printer in (the first time: install its driver)");
    plug->add_option("MODEL", identity->model, "the model, e.g. \"Sorrelink 640\"")->required();
    plug->add_option("SERIAL", identity->serial, "the serial number, e.g. X1")->required();
    plug->add_option("--product-id", identity->productId, "USB product ID in hex (default 0114, the 640/880 series)");
    plug->callback([identity, &context, status] { *status = Plug(context, *identity); });

    auto serial = std::make_shared<std::string>();
    CLI::App *unplug = app.add_subcommand("unplug", "unplug a printer");
    unplug->add_option("SERIAL", *serial, "the printer's serial number")->required();
    unplug->callback([serial, &context, status] { *status = Unplug(context, *serial); });
}

}  // namespace ovlsim
