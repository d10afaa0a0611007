// ovlsim usbcheck: runs the real troubleshooting wizard on the machine with
// the terminal front end, or with the actions of a script.
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include <setupapi.h>

#include "commands/commands.h"
#include "ovlcommon.h"
#include "world/host_files.h"
#include "world/shown_text.h"
#include "world/spooler.h"
#include "win9x/machine.h"

extern char **environ;

namespace ovlsim {

namespace {

constexpr const char *kInstalledWizard = "C:\\WINDOWS\\SYSTEM\\usbcheck98.exe";

// Runs a host program with our environment and waits for it.
int RunAndWait(const std::string &path)
{
    std::vector<char *> argv{const_cast<char *>(path.c_str()), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return Fail("cannot start " + path);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// Why a script cannot be run: empty when it can ('-' is standard input).
std::string ScriptProblem(const std::string &script)
{
    if (script.empty())
        return "--script takes a file ('-': standard input), not an empty name";
    if (script == "-")
        return "";
    std::error_code ec;
    if (std::filesystem::is_directory(script, ec))
        return "the script " + script + " is a folder, not a file";
    std::FILE *probe = std::fopen(script.c_str(), "r");
    if (!probe)
        return "cannot read the script " + Shown(script) + ": " + std::strerror(errno);
    std::fclose(probe);
    return "";
}

// Why the transcript cannot be written: empty when it can. The file is
// made (emptied) here, so that a wizard that stops early leaves no old one.
std::string TranscriptProblem(const std::string &transcript)
{
    if (transcript.empty())
        return "--transcript takes a file ('-': standard output), not an empty name";
    if (transcript == "-")
        return "";
    std::FILE *file = std::fopen(transcript.c_str(), "w");
    if (!file)
        return "cannot write the transcript " + Shown(transcript) + ": " + std::strerror(errno);
    std::fclose(file);
    return "";
}

// The wizard finds the printers through SetupAPI: a registry that fails
// that read would show the user a machine without printers. Empty when the
// list can be read.
std::string InterfacesUnreadable()
{
    HDEVINFO set = SetupDiGetClassDevsA(&OVL_INTERFACE_CLASS_GUID, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    if (set != INVALID_HANDLE_VALUE) {
        SetupDiDestroyDeviceInfoList(set);
        return "";
    }
    return "cannot list the printers' device interfaces (" + DescribeError(GetLastError()) + ")";
}

int Run(Context &context, const std::optional<std::string> &script, const std::optional<std::string> &transcript)
{
    if (script) {
        std::string problem = ScriptProblem(*script);
        if (!problem.empty())
            return Fail(problem);
    }
    if (transcript) {
        std::string problem = TranscriptProblem(*transcript);
        if (!problem.empty())
            return Fail(problem);
    }
    if (!OpenMachine(context))
        return 1;
    std::string unreadable = InterfacesUnreadable();
    if (!unreadable.empty())
        return Fail(unreadable);
    if (script)
        setenv("OVLSIM_FRONTEND", ("script:" + *script).c_str(), 1);
    if (transcript)
        setenv("OVLSIM_TRANSCRIPT", transcript->c_str(), 1);
    std::fflush(stdout);
    // The wizard installed on the machine, else its host build.
    if (WindowsFileExists(kInstalledWizard)) {
        auto run = win9x::machine::RunCommandLine(kInstalledWizard, true);
        if (!run.started)
            return Fail(std::string("cannot start ") + kInstalledWizard);
        return run.exitCode < 0 ? 1 : run.exitCode;
    }
    std::string build = HostBuild("usbcheck98.exe");
    if (build.empty())
        return Fail("usbcheck98.exe is neither on the machine nor among the host builds; build the project first");
    return RunAndWait(build);
}

}  // namespace

void AddUsbcheckCommand(CLI::App &app, Context &context, int *status)
{
    auto script = std::make_shared<std::optional<std::string>>();
    auto transcript = std::make_shared<std::optional<std::string>>();
    CLI::App *cmd = app.add_subcommand("usbcheck", "run the troubleshooting wizard usbcheck98 on the machine");
    cmd->add_option("--script", *script,
                    "take the actions from FILE ('-': standard input) and write the screen after each");
    // The drawn screens wrap texts and draw boxes over the dialog; the
    // transcript has each text whole on a line of its own, as the Wine
    // checks' wizard driver writes it, so that the two compare line by line.
    cmd->add_option("--transcript", *transcript,
                    "also write to OUT, one text a line, what each step of the script left on screen ('-': "
                    "standard output, in place of the drawn screens)")
        ->option_text("OUT")
        ->needs("--script");
    cmd->footer("Script actions, one per line ('#' starts a comment): choose N (option 1 to 4), next, back,\n"
                "open-list, pick N (list entry, from 0), ok (answer the message box), close (Escape).\n"
                "Without --script the wizard is drawn in the terminal when standard input is one, else the\n"
                "actions are read from standard input.");
    cmd->callback([script, transcript, &context, status] { *status = Run(context, *script, *transcript); });
}

}  // namespace ovlsim
