// ovlsim plug, unplug and remove: a printer comes and goes on the USB bus,
// and its class installer installs and removes it with the agent.
#include <cstdio>

#include "commands/commands.h"
#include "world/printer_actions.h"
#include "world/usb_bus.h"

namespace ovlsim {

namespace {

int Plug(Context &context, PrinterIdentity identity, bool withoutAgent)
{
    // Bad arguments are refused before anything is touched.
    std::string error;
    if (!ValidateIdentity(&identity, &error))
        return Fail(error);
    if (!OpenMachine(context))
        return 1;
    return PlugInPrinter(&identity, &error, !withoutAgent) ? 0 : Fail(error);
}

int Unplug(Context &context, const std::string &serial)
{
    if (!OpenMachine(context))
        return 1;
    std::string error;
    return UnplugPrinter(serial, &error) ? 0 : Fail(error);
}

int Remove(Context &context, const std::string &serial, const std::string &model)
{
    if (!OpenMachine(context))
        return 1;
    std::string error;
    return RemoveInstalledPrinter(serial, model, &error) ? 0 : Fail(error);
}

}  // namespace

void AddPlugCommands(CLI::App &app, Context &context, int *status)
{
    auto identity = std::make_shared<PrinterIdentity>();
    CLI::App *plug = app.add_subcommand("plug", "plug a Sorrelink printer in (the first time: install it)");
    plug->add_option("MODEL", identity->model, "the model, e.g. \"Sorrelink 640\"")->required();
    plug->add_option("SERIAL", identity->serial, "the serial number, e.g. X1")->required();
    plug->add_option("--product-id", identity->productId, "USB product ID in hex (default 0114, the 640/880 series)");
    plug->add_flag("--values-pending", identity->valuesPending,
                   "the driver has not written the interface's Product, SerialNumber and Enabled yet");
    auto withoutAgent = std::make_shared<bool>(false);
    plug->add_flag("--without-agent", *withoutAgent,
                   "a first plug stops before the class installer runs the agent (printed for the caller to run)");
    plug->callback([identity, withoutAgent, &context, status] { *status = Plug(context, *identity, *withoutAgent); });

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
