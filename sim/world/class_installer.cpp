#include "world/class_installer.h"

#include <cstdio>

#include "world/machine_view.h"
#include "world/model_install.h"
#include "win9x/machine.h"

namespace ovlsim {

namespace {

constexpr const char *kMonitors = "System\\CurrentControlSet\\Control\\Print\\Monitors\\";
constexpr const char *kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

void PrintList(const char *title, const std::vector<std::string> &items)
{
    std::printf("  %s: %s\n", title, items.empty() ? "none" : "");
    for (const auto &item : items)
        std::printf("    %s\n", item.c_str());
}

}  // namespace

std::string AgentCommandLine(int action, const std::string &model, const std::string &serial)
{
    return "C:\\WINDOWS\\SYSTEM\\ovlcin00.exe -action=" + std::to_string(action) + " -model=" + model +
           " -serial=" + serial;
}

bool RunAgent(int action, const std::string &model, const std::string &serial, std::string *error)
{
    std::string line = AgentCommandLine(action, model, serial);
    std::printf("class installer: %s\n", line.c_str());
    std::fflush(stdout);
    auto run = win9x::machine::RunCommandLine(line, true);
    if (!run.started) {
        *error = "cannot start the agent (error " + std::to_string(run.error) + ")";
        return false;
    }
    if (run.exitCode != 0) {
        *error = "the agent ended with exit status " + std::to_string(run.exitCode);
        return false;
    }
    return true;
}

bool InstallPrinter(const PrinterIdentity &identity, std::string *error)
{
    auto renameBefore = RenameEntries();
    if (!RunAgent(kInstallAction, identity.model, identity.serial, error))
        return false;
    std::printf("the install left:\n");
    auto driver = ReadMachineText(kMonitors + identity.serial, "Driver");
    std::printf("  monitor %s: %s\n", identity.serial.c_str(),
                driver ? ("registered (" + *driver + ")").c_str() : "not registered");
    std::string configKey = "Software\\Orvane\\OVL\\" + ModelSuffix(identity.model) + "\\" + identity.serial;
    auto cmdLine = ReadMachineText(configKey, "CmdLine");
    std::printf("  CmdLine: %s\n", cmdLine ? cmdLine->c_str() : "none");
    auto runOnce = ReadMachineText(kRunOnce, "RunOnce");
    std::printf("  RunOnce: %s\n", runOnce ? runOnce->c_str()
                                           : (win9x::machine::ShellRunning() ? "none (the shell is running)" : "none"));
    PrintList("new rename entries", Added(renameBefore, RenameEntries()));
    return true;
}

bool RemovePrinter(const std::string &model, const std::string &serial, std::string *error)
{
    // A registry that cannot be read whole is not handed to the agent: what
    // the removal purged could not be told either.
    std::vector<std::string> keysBefore, keysAfter;
    if (!AllMachineKeys(&keysBefore)) {
        *error = "cannot read the registry's keys; nothing was removed";
        return false;
    }
    auto filesBefore = AllFiles();
    auto renameBefore = RenameEntries();
    if (!RunAgent(kRemoveAction, model, serial, error))
        return false;
    if (!AllMachineKeys(&keysAfter)) {
        *error = "the agent ran, but the registry's keys it left cannot be read";
        return false;
    }
    std::printf("the removal left:\n");
    PrintList("keys purged", RemovedKeys(keysBefore, keysAfter));
    PrintList("files deleted", Added(AllFiles(), filesBefore));
    PrintList("scheduled for the next start", Added(renameBefore, RenameEntries()));
    return true;
}

}  // namespace ovlsim
