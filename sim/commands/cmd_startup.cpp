// ovlsim restart and ovlsim shell: the next start of Windows, and the
// desktop shell's state.
#include <cstdio>

#include "commands/commands.h"
#include "world/startup.h"
#include "win9x/machine.h"

namespace ovlsim {

namespace {

void PrintReport(const std::vector<std::string> &report)
{
    for (const auto &line : report)
        std::printf("  %s\n", line.c_str());
}

int Restart(Context &context)
{
    if (!OpenMachine(context))
        return 1;
    std::vector<std::string> report;
    std::printf("Windows shuts down and starts again:\n");
    std::string error;
    bool started = RestartWindows(&report, &error);
    PrintReport(report);
    return started ? 0 : Fail(error);
}

int Shell(Context &context, const std::string &action)
{
    if (!OpenMachine(context))
        return 1;
    if (action == "stop") {
        win9x::machine::SetShellRunning(false);
        std::printf("the desktop shell is stopped: installs now run before the shell, as during start-up\n");
        return 0;
    }
    if (win9x::machine::ShellRunning()) {
        std::printf("the desktop shell is running already\n");
        return 0;
    }
    std::vector<std::string> report;
    std::string error;
    bool started = StartShell(&report, &error);
    PrintReport(report);
    return started ? 0 : Fail(error);
}

}  // namespace

void AddStartupCommands(CLI::App &app, Context &context, int *status)
{
    CLI::App *restart = app.add_subcommand(
        "restart", "start Windows again: the rename section is carried out, then the shell runs RunOnce");
    restart->callback([&context, status] { *status = Restart(context); });

    auto action = std::make_shared<std::string>();
    CLI::App *shell = app.add_subcommand("shell", "start or stop the desktop shell");
    shell->add_option("ACTION", *action, "start or stop")->required()->check(CLI::IsMember({"start", "stop"}));
    shell->callback([action, &context, status] { *status = Shell(context, *action); });
}

}  // namespace ovlsim
