// The ovlsim commands. Each Add...Command registers a subcommand whose
// callback stores its exit status in *status.
#pragma once

#include <CLI/CLI.hpp>

#include "commands/context.h"

namespace ovlsim {

void AddInitCommand(CLI::App &app, Context &context, int *status);
void AddRegCommand(CLI::App &app, Context &context, int *status);
void AddPlugCommands(CLI::App &app, Context &context, int *status);
void AddPrinterCommand(CLI::App &app, Context &context, int *status);
void AddSpoolerCommands(CLI::App &app, Context &context, int *status);
void AddStartupCommands(CLI::App &app, Context &context, int *status);
void AddUsbcheckCommand(CLI::App &app, Context &context, int *status);
void AddDemoCommand(CLI::App &app, Context &context, int *status);
void AddCheckCommand(CLI::App &app, Context &context, int *status);

}  // namespace ovlsim
