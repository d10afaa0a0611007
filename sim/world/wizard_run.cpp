#include "world/wizard_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "world/host_files.h"
#include "win9x/machine.h"

extern char **environ;

namespace fs = std::filesystem;

namespace ovlsim {

namespace {

std::string WizardProgram()
{
    std::string installed = win9x::machine::HostPath("C:\\WINDOWS\\SYSTEM\\usbcheck98.exe");
    std::error_code ec;
    if (!installed.empty() && fs::exists(installed, ec))
        return installed;
    return HostBuild("usbcheck98.exe");
}

// A path in the machine's own folder for the run's script and screens.
std::string ScratchPath(const std::string &name)
{
    return win9x::machine::Directory() + "/" + name;
}

}  // namespace

WizardRun RunWizardScript(const std::string &script)
{
    WizardRun run;
    std::string program = WizardProgram();
    if (program.empty())
        return run;
    std::string scriptPath = ScratchPath("wizard-script.txt");
    std::string outputPath = ScratchPath("wizard-screens.txt");
    std::ofstream(scriptPath, std::ios::trunc) << script;
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        if (std::string(*e).rfind("OVLSIM_FRONTEND=", 0) != 0)
            env.emplace_back(*e);
    }
    env.push_back("OVLSIM_FRONTEND=script:" + scriptPath);
    std::vector<char *> envp;
    for (auto &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char *> argv{program.data(), nullptr};
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return run;
    run.started = true;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(outputPath);
    std::ostringstream text;
    text << in.rdbuf();
    run.output = text.str();
    std::error_code ec;
    fs::remove(scriptPath, ec);
    fs::remove(outputPath, ec);
    return run;
}

}  // namespace ovlsim
