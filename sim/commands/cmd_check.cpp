// ovlsim check: looks a machine over for damage and lists what it finds.
#include <cstdio>

#include "commands/commands.h"
#include "world/family_files.h"
#include "win9x/machine.h"

namespace ovlsim {

namespace {

int Check(Context &context)
{
    std::string dir = MachineDirectory(context);
    if (!win9x::machine::IsMachineDirectory(dir))
        return OpenMachine(context) ? 0 : 1;  // says what is missing
    bool opened = false;
    std::vector<std::string> problems = win9x::machine::CheckStoredFiles(dir, &opened);
    if (opened) {
        for (auto &problem : FamilyFileProblems())
            problems.push_back(std::move(problem));
    }
    for (const auto &problem : problems)
        std::printf("%s\n", problem.c_str());
    if (problems.empty()) {
        std::printf("no damage found in the machine in %s\n", dir.c_str());
        return 0;
    }
    std::fprintf(stderr, "ovlsim: the machine in %s is damaged: %zu problem%s found\n", dir.c_str(), problems.size(),
                 problems.size() == 1 ? "" : "s");
    return 2;
}

}  // namespace

void AddCheckCommand(CLI::App &app, Context &context, int *status)
{
    CLI::App *check = app.add_subcommand(
        "check", "look the machine over for damage: its databases, shared pages, printers' files and drive C:");
    check->callback([&context, status] { *status = Check(context); });
}

}  // namespace ovlsim
