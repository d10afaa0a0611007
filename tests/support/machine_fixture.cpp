#include "support/machine_fixture.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char **environ;

namespace fs = std::filesystem;

namespace ovltest {

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "ovltest-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    char *made = mkdtemp(buffer.data());
    if (!made)
        throw std::runtime_error("cannot create a temporary directory");
    path_ = made;
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void MachineTest::SetUp()
{
    Recreate(win9x::machine::WindowsVersion::Win98);
}

void MachineTest::Recreate(win9x::machine::WindowsVersion os)
{
    win9x::machine::ClearFaults();
    win9x::machine::OverrideTickCount(std::nullopt);
    win9x::machine::OverrideVersion(std::nullopt);
    win9x::machine::OverrideWindowsDirectory(std::nullopt);
    std::string error;
    ASSERT_TRUE(win9x::machine::Create(MachineDir(), os, true, &error)) << error;
}

void MachineTest::TearDown()
{
    win9x::machine::ClearFaults();
    win9x::machine::OverrideTickCount(std::nullopt);
    win9x::machine::OverrideVersion(std::nullopt);
    win9x::machine::OverrideWindowsDirectory(std::nullopt);
    win9x::machine::Close();
}

std::string MachineTest::HostPath(const std::string &windowsPath) const
{
    return win9x::machine::HostPath(windowsPath);
}

std::string TestProgram(const std::string &name)
{
    return std::string(OVL_TEST_BIN_DIR) + "/" + name;
}

// Starts a program with OVLSIM_MACHINE set to `machineDir` and the file
// actions given (null for none); returns its process id (or -1).
static int Spawn(const std::string &machineDir, const std::vector<std::string> &argv,
                 const posix_spawn_file_actions_t *actions)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        if (std::string(*e).rfind(std::string(win9x::machine::kMachineVariable) + "=", 0) != 0)
            env.emplace_back(*e);
    }
    env.push_back(std::string(win9x::machine::kMachineVariable) + "=" + machineDir);
    std::vector<char *> args, envp;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (auto &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0].c_str(), actions, nullptr, args.data(), envp.data()) != 0)
        return -1;
    return pid;
}

int StartProgram(const std::string &machineDir, const std::vector<std::string> &argv)
{
    return Spawn(machineDir, argv, nullptr);
}

// Waits for a started program; its exit status (-1 when killed) and, when
// asked, the most memory it held at once.
static int WaitProgramUsage(int pid, long *peakResidentKiB)
{
    int status = 0;
    struct rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) < 0)
        return -1;
    if (peakResidentKiB)
        *peakResidentKiB = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int WaitProgram(int pid)
{
    return WaitProgramUsage(pid, nullptr);
}

int RunProgram(const std::string &machineDir, const std::vector<std::string> &argv)
{
    return WaitProgram(StartProgram(machineDir, argv));
}

ProgramOutput RunProgramCaptured(const std::string &machineDir, const std::vector<std::string> &argv,
                                 const std::string &inputPath)
{
    // The streams go to files rather than pipes, so that a program writing
    // much to both cannot block on a full pipe.
    TempDir dir;
    std::string outPath = dir.path() + "/stdout", errPath = dir.path() + "/stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!inputPath.empty())
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, inputPath.c_str(), O_RDONLY, 0);
    ProgramOutput output;
    output.status = WaitProgramUsage(Spawn(machineDir, argv, &actions), &output.peakResidentKiB);
    posix_spawn_file_actions_destroy(&actions);
    output.out = ReadHostFile(outPath);
    output.err = ReadHostFile(errPath);
    return output;
}

WatchedProgram::WatchedProgram(const std::string &machineDir, const std::vector<std::string> &argv)
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (dir_.path() + "/stdout").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    pid_ = Spawn(machineDir, argv, &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    errFd_ = pipeFds[0];
}

WatchedProgram::~WatchedProgram()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        WaitProgram(pid_);
    }
    if (errFd_ >= 0)
        close(errFd_);
}

bool WatchedProgram::AwaitError(const std::string &text)
{
    while (err_.find(text) == std::string::npos) {
        char buffer[4096];
        ssize_t got = errFd_ < 0 ? 0 : read(errFd_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        err_.append(buffer, static_cast<size_t>(got));
    }
    return true;
}

ProgramOutput WatchedProgram::Finish()
{
    AwaitError(std::string(1, '\0'));  // reads to the end: no message holds a NUL
    ProgramOutput output;
    output.status = WaitProgramUsage(pid_, &output.peakResidentKiB);
    pid_ = -1;
    output.out = ReadHostFile(dir_.path() + "/stdout");
    output.err = err_;
    return output;
}

std::string ReadHostFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteHostFile(const std::string &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string Numbered(const char *prefix, long long number)
{
    std::string name(prefix);
    name += std::to_string(number);
    return name;
}

}  // namespace ovltest
