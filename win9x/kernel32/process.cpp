// Starting programs: WinExec and the machine tool's RunCommandLine. A
// program on the machine is a host program lying on drive C:; it gets the
// rest of the command line as its argument text, exactly (one argument),
// and finds the machine through OVLSIM_MACHINE.
#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "machine/machine.h"
#include "machine/api.h"
#include "machine/paths.h"

extern char **environ;

namespace win9x::layer {

namespace {

struct SplitLine {
    std::string program;
    std::string arguments;
};

// The program is the first token (quoted or up to a blank); the argument
// text is what follows it and the blanks after it.
SplitLine Split(std::string_view line)
{
    SplitLine split;
    size_t pos = 0;
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    if (pos < line.size() && line[pos] == '"') {
        size_t close = line.find('"', pos + 1);
        split.program = std::string(line.substr(pos + 1, close == std::string_view::npos ? close : close - pos - 1));
        pos = close == std::string_view::npos ? line.size() : close + 1;
    } else {
        size_t end = line.find(' ', pos);
        split.program = std::string(line.substr(pos, end == std::string_view::npos ? end : end - pos));
        pos = end == std::string_view::npos ? line.size() : end;
    }
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    split.arguments = std::string(line.substr(pos));
    return split;
}

// Finds the program: by its path, or in C:\WINDOWS\SYSTEM then C:\WINDOWS
// (the current directory); ".exe" is added to a name without extension.
std::optional<MappedPath> FindProgram(std::string program, DWORD *error)
{
    std::string base = program.substr(program.find_last_of("\\/") == std::string::npos
                                          ? 0
                                          : program.find_last_of("\\/") + 1);
    if (base.find('.') == std::string::npos)
        program += ".exe";
    bool hasFolder = program.find_first_of("\\/:") != std::string::npos;
    std::vector<std::string> candidates;
    if (hasFolder) {
        candidates.push_back(program);
    } else {
        candidates.push_back(std::string(kSystemDirectory) + "\\" + program);
        candidates.push_back(std::string(kWindowsDirectory) + "\\" + program);
    }
    *error = ERROR_FILE_NOT_FOUND;
    for (const auto &candidate : candidates) {
        DWORD mapError = 0;
        auto mapped = MapPath(candidate, &mapError);
        if (!mapped) {
            *error = mapError;
            continue;
        }
        if (mapped->exists)
            return mapped;
        if (hasFolder && !mapped->parentExists)
            *error = ERROR_PATH_NOT_FOUND;
    }
    return std::nullopt;
}

// The folder this layer was loaded from. A program on drive C: is a copy of
// a host build, far from the folder its own search path names, so it is
// told where the layer lies.
std::string LayerFolder()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(&LayerFolder), &info) || !info.dli_fname)
        return "";
    std::string path = info.dli_fname;
    size_t cut = path.find_last_of('/');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool HasName(const char *entry, std::string_view name)
{
    return std::strncmp(entry, name.data(), name.size()) == 0 && entry[name.size()] == '=';
}

// The environment of the new process: ours, with the machine set and the
// layer's folder first on the library path.
std::vector<std::string> ChildEnvironment(const std::string &machineDir)
{
    std::vector<std::string> env;
    std::string libraryPath = LayerFolder();
    for (char **e = environ; *e; ++e) {
        if (HasName(*e, "LD_LIBRARY_PATH") && !libraryPath.empty())
            libraryPath.append(":").append(*e + std::strlen("LD_LIBRARY_PATH="));
        else if (!HasName(*e, machine::kMachineVariable) && !HasName(*e, "LD_LIBRARY_PATH"))
            env.emplace_back(*e);
    }
    env.push_back(std::string(machine::kMachineVariable) + "=" + machineDir);
    if (!libraryPath.empty())
        env.push_back("LD_LIBRARY_PATH=" + libraryPath);
    return env;
}

}  // namespace

machine::ProgramRun StartProgram(const std::string &commandLine, bool wait)
{
    machine::ProgramRun run;
    auto m = CurrentMachine();
    if (!m) {
        run.error = ERROR_FILE_NOT_FOUND;
        return run;
    }
    SplitLine split = Split(commandLine);
    if (split.program.empty()) {
        run.error = ERROR_FILE_NOT_FOUND;
        return run;
    }
    auto program = FindProgram(split.program, &run.error);
    if (!program)
        return run;
    std::vector<std::string> env = ChildEnvironment(m->dir);
    std::vector<char *> argv{program->host.data()};
    if (!split.arguments.empty())
        argv.push_back(split.arguments.data());
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (auto &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program->host.c_str(), nullptr, nullptr, argv.data(), envp.data());
    if (rc != 0) {
        run.error = rc == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_BAD_FORMAT;
        return run;
    }
    run.started = true;
    if (wait) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    } else {
        // Nobody waits for it: reap it when it ends, so it leaves no zombie.
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    }
    return run;
}

}  // namespace win9x::layer

namespace win9x::machine {

ProgramRun RunCommandLine(const std::string &commandLine, bool wait)
{
    return layer::StartProgram(commandLine, wait);
}

}  // namespace win9x::machine

extern "C" UINT WINAPI WinExec(LPCSTR lpCmdLine, UINT uCmdShow)
{
    (void)uCmdShow;
    if (DWORD injected = win9x::layer::InjectedFailure("WinExec"))
        return injected;
    if (!lpCmdLine)
        return ERROR_FILE_NOT_FOUND;
    // WinExec does not wait; above 31 means started.
    auto run = win9x::layer::StartProgram(lpCmdLine, false);
    return run.started ? 33 : run.error;
}
