// ovlsim init: a fresh machine.
#include <cstdio>

#include "commands/commands.h"
#include "win9x/machine.h"

namespace ovlsim {

void AddInitCommand(CLI::App &app, Context &context, int *status)
{
    struct Options {
        std::string os = "98";
        bool force = false;
    };
    auto options = std::make_shared<Options>();
    CLI::App *init = app.add_subcommand("init", "create a fresh Windows 98 (or Me, 95, NT 4.0) machine");
    init->add_option("--os", options->os, "Windows version: 98, me, 95 or nt4")
        ->check(CLI::IsMember({"98", "me", "95", "nt4"}, CLI::ignore_case));
    init->add_flag("--force", options->force, "replace an existing machine");
    init->callback([options, &context, status] {
        std::string dir = MachineDirectory(context);
        auto os = win9x::machine::ParseVersionKeyword(options->os);
        std::string error;
        if (!win9x::machine::Create(dir, *os, options->force, &error)) {
            *status = Fail(error);
            return;
        }
        std::printf("created a Windows %s machine in %s\n", options->os == "me" ? "Me" : options->os.c_str(),
                    win9x::machine::Directory().c_str());
    });
}

}  // namespace ovlsim
