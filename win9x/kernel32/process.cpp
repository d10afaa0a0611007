// Starting programs: WinExec, CreateProcessA, WaitForInputIdle, the
// process objects they hand out, and the machine tool's RunCommandLine. A
// program on the machine is a host program lying on drive C:; it gets the
// rest of the command line as its argument text, exactly (one argument),
// and finds the machine through OVLSIM_MACHINE. Each child is reaped by a
// thread of its own, which records its exit code; its first wait for input
// reaches the starter through an input-idle channel (machine/input_idle.h).
//
// WaitForInputIdle belongs to user32 on Windows; it lives here because it
// waits on the process object that this library keeps.
#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "kernel32/handles.h"
#include "machine/api.h"
#include "machine/files_in_use.h"
#include "machine/input_idle.h"
#include "machine/machine.h"
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

// The environment of the new process: ours, with the machine set, the
// layer's folder first on the library path and the child's end of its
// input-idle channel named (-1: none).
std::vector<std::string> ChildEnvironment(const std::string &machineDir, int idleEnd)
{
    std::vector<std::string> env;
    std::string libraryPath = LayerFolder();
    for (char **e = environ; *e; ++e) {
        if (HasName(*e, "LD_LIBRARY_PATH") && !libraryPath.empty())
            libraryPath.append(":").append(*e + std::strlen("LD_LIBRARY_PATH="));
        else if (!HasName(*e, machine::kMachineVariable) && !HasName(*e, "LD_LIBRARY_PATH") &&
                 !HasName(*e, kInputIdleVariable))
            env.emplace_back(*e);
    }
    env.push_back(std::string(machine::kMachineVariable) + "=" + machineDir);
    if (idleEnd >= 0)
        env.push_back(std::string(kInputIdleVariable) + "=" + std::to_string(idleEnd));
    if (!libraryPath.empty())
        env.push_back("LD_LIBRARY_PATH=" + libraryPath);
    return env;
}

// A program the layer started, as long as anyone holds it: its exit is
// recorded by the thread that reaps it.
class ChildProcess {
public:
    ChildProcess(pid_t pid, std::optional<InputIdleChannel> idle) : pid_(pid), idle_(std::move(idle)) {}

    pid_t pid() const { return pid_; }

    // While the child runs, its program file is in use.
    void MarkImageInUse(std::shared_ptr<Machine> machine, int64_t useId)
    {
        machine_ = std::move(machine);
        imageUse_ = useId;
    }

    // Reaps the child on a thread of its own, which keeps the object alive.
    static void Reap(const std::shared_ptr<ChildProcess> &child)
    {
        std::thread([child] {
            int status = 0;
            while (waitpid(child->pid_, &status, 0) < 0 && errno == EINTR) {
            }
            if (child->machine_)
                ForgetFileUse(*child->machine_, child->imageUse_);
            std::lock_guard<std::mutex> guard(child->mutex_);
            child->exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            child->ended_ = true;
            child->changed_.notify_all();
        }).detach();
    }

    // WAIT_OBJECT_0 once the child has ended, else WAIT_TIMEOUT.
    DWORD WaitEnd(DWORD timeoutMs)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        auto ended = [this] { return ended_; };
        if (timeoutMs == INFINITE)
            changed_.wait(lock, ended);
        else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended))
            return WAIT_TIMEOUT;
        return WAIT_OBJECT_0;
    }

    // WAIT_OBJECT_0 once the child has waited for input or ended, else
    // WAIT_TIMEOUT; WAIT_FAILED when it was started without a channel. A
    // child that closed its end is ending: it is waited for (within the
    // time left), so that what it held is free when this returns.
    DWORD WaitInputIdle(DWORD timeoutMs)
    {
        if (!idle_)
            return WAIT_FAILED;
        auto start = std::chrono::steady_clock::now();
        auto state = idle_->Wait(timeoutMs == INFINITE ? UINT32_MAX : timeoutMs);
        if (state == InputIdleChannel::State::Waiting)
            return WAIT_TIMEOUT;
        if (state == InputIdleChannel::State::Idle)
            return WAIT_OBJECT_0;
        if (timeoutMs == INFINITE)
            return WaitEnd(INFINITE);
        auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        DWORD left = spent.count() >= timeoutMs ? 0 : timeoutMs - static_cast<DWORD>(spent.count());
        return WaitEnd(left);
    }

    // The exit code, or STILL_ACTIVE while it runs.
    DWORD ExitCode()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return ended_ ? static_cast<DWORD>(exitCode_) : STILL_ACTIVE;
    }

private:
    pid_t pid_;
    std::optional<InputIdleChannel> idle_;
    std::shared_ptr<Machine> machine_;
    int64_t imageUse_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ended_ = false;
    int exitCode_ = -1;
};

// A handle of CreateProcessA: the process (and, for hThread, its one
// thread). Waiting on it waits for the end.
class ProcessHandle : public WaitableObject {
public:
    explicit ProcessHandle(std::shared_ptr<ChildProcess> child) : child_(std::move(child)) {}
    DWORD WaitFor(DWORD timeoutMs) override { return child_->WaitEnd(timeoutMs); }
    ChildProcess &child() { return *child_; }

private:
    std::shared_ptr<ChildProcess> child_;
};

// What starting a program gave: the child, or why there is none.
struct Started {
    std::shared_ptr<ChildProcess> child;
    DWORD error = ERROR_SUCCESS;
};

// Starts `program` (found as WinExec finds it) with `arguments` as its
// argument text. The child gets an input-idle channel when one can be made.
Started StartProgram(const std::string &program, const std::string &arguments)
{
    Started started;
    auto m = CurrentMachine();
    if (!m || program.empty()) {
        started.error = ERROR_FILE_NOT_FOUND;
        return started;
    }
    auto found = FindProgram(program, &started.error);
    if (!found)
        return started;
    auto idle = InputIdleChannel::Create();
    int idleEnd = idle ? idle->ChildEnd() : -1;
    std::vector<std::string> env = ChildEnvironment(m->dir, idleEnd);
    std::string argumentText = arguments;
    std::vector<char *> argv{found->host.data()};
    if (!argumentText.empty())
        argv.push_back(argumentText.data());
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (auto &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    // The child's end is inherited under its own number: a dup2 onto itself
    // clears its close-on-exec flag in the child alone.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (idleEnd >= 0)
        posix_spawn_file_actions_adddup2(&actions, idleEnd, idleEnd);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, found->host.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (idle)
        idle->CloseChildEnd();
    if (rc != 0) {
        started.error = rc == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_BAD_FORMAT;
        return started;
    }
    started.child = std::make_shared<ChildProcess>(pid, std::move(idle));
    started.child->MarkImageInUse(m, RecordFileUse(*m, found->relative, IdentityOf(pid)));
    ChildProcess::Reap(started.child);
    return started;
}

Started StartCommandLine(const std::string &commandLine)
{
    SplitLine split = Split(commandLine);
    return StartProgram(split.program, split.arguments);
}

// How long WinExec waits for the program's first wait for input.
constexpr DWORD kWinExecIdleTimeoutMs = 10000;

}  // namespace

}  // namespace win9x::layer

namespace win9x::machine {

ProgramRun RunCommandLine(const std::string &commandLine, bool wait)
{
    ProgramRun run;
    auto started = layer::StartCommandLine(commandLine);
    run.error = started.error;
    if (!started.child)
        return run;
    run.started = true;
    if (wait) {
        started.child->WaitEnd(INFINITE);
        run.exitCode = static_cast<int>(started.child->ExitCode());
    }
    return run;
}

}  // namespace win9x::machine

using namespace win9x::layer;

extern "C" {

UINT WINAPI WinExec(LPCSTR lpCmdLine, UINT uCmdShow)
{
    (void)uCmdShow;
    if (DWORD injected = InjectedFailure("WinExec"))
        return injected;
    if (!lpCmdLine)
        return ERROR_FILE_NOT_FOUND;
    auto started = StartCommandLine(lpCmdLine);
    if (!started.child)
        return started.error;
    // As Windows does: back when the program first waits for input, ends,
    // or has not waited within the time-out. Above 31 means started.
    started.child->WaitInputIdle(kWinExecIdleTimeoutMs);
    return 33;
}

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags,
                           LPVOID lpEnvironment, LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation)
{
    (void)lpProcessAttributes, (void)lpThreadAttributes, (void)bInheritHandles, (void)dwCreationFlags;
    (void)lpEnvironment, (void)lpCurrentDirectory;
    if (DWORD injected = InjectedFailure("CreateProcessA"))
        return Fail(injected, FALSE);
    if (!lpStartupInfo || !lpProcessInformation || (!lpApplicationName && !lpCommandLine))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    // The command line's first token names the program unless it is named
    // apart; the argument text is what follows that token either way.
    SplitLine split = Split(lpCommandLine ? lpCommandLine : "");
    std::string program = lpApplicationName ? lpApplicationName : split.program;
    auto started = StartProgram(program, split.arguments);
    if (!started.child)
        return Fail(started.error, FALSE);
    auto process = std::make_shared<ProcessHandle>(started.child);
    lpProcessInformation->hProcess = InsertHandle(process);
    lpProcessInformation->hThread = InsertHandle(process);
    lpProcessInformation->dwProcessId = static_cast<DWORD>(started.child->pid());
    lpProcessInformation->dwThreadId = static_cast<DWORD>(started.child->pid());
    return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode)
{
    auto process = LookupHandleAs<ProcessHandle>(hProcess);
    if (!process)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!lpExitCode)
        return Fail(ERROR_NOACCESS, FALSE);
    *lpExitCode = process->child().ExitCode();
    return TRUE;
}

DWORD WINAPI WaitForInputIdle(HANDLE hProcess, DWORD dwMilliseconds)
{
    auto process = LookupHandleAs<ProcessHandle>(hProcess);
    if (!process)
        return Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
    DWORD result = process->child().WaitInputIdle(dwMilliseconds);
    return result == WAIT_FAILED ? Fail(ERROR_NOT_SUPPORTED, WAIT_FAILED) : result;
}

}  // extern "C"
