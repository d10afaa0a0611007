#include "support/machine_fixture.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

int WaitProgram(int pid)
{
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) < 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunProgram(const std::string &machineDir, const std::vector<std::string> &argv)
{
    return WaitProgram(StartProgram(machineDir, argv));
}

ProgramOutput RunProgramCaptured(const std::string &machineDir, const std::vector<std::string> &argv)
{
    // The streams go to files rather than pipes, so that a program writing
    // much to both cannot block on a full pipe.
    TempDir dir;
    std::string outPath = dir.path() + "/stdout", errPath = dir.path() + "/stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ProgramOutput output;
    output.status = WaitProgram(Spawn(machineDir, argv, &actions));
    posix_spawn_file_actions_destroy(&actions);
    output.out = ReadHostFile(outPath);
    output.err = ReadHostFile(errPath);
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
