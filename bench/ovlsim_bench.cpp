// What the spooler's start costs in ovlsim: `ovlsim ports`, the whole
// process, on a machine with 1, 10 and 100 printers installed. Each printer
// is a monitor registration whose InitializeMonitorEx rebuilds the port
// list, so k printers make k rebuilds of k ports; ovlsim itself should add
// nothing worse. No other process has the machine open while it runs, as
// when a person types the command.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_machine.h"
#include "bench_printers.h"
#include "win9x/machine.h"

extern char **environ;

namespace {

// ovlsim lies beside this program in the build tree.
std::string OvlsimProgram()
{
    std::error_code ec;
    return (std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "ovlsim").string();
}

// Runs `ovlsim --machine DIR ports` with its output discarded; its exit status.
int RunPorts(const std::string &program, const std::string &machine)
{
    std::vector<std::string> args{program, "--machine", machine, "ports"};
    std::vector<char *> argv;
    for (auto &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_OvlsimPorts(benchmark::State &state)
{
    BenchMachine machine;
    if (!machine.ok())
        return;
    const int printers = static_cast<int>(state.range(0));
    for (int n = 0; n < printers; ++n) {
        std::string serial = std::to_string(n);
        serial.insert(0, 1, 'P');  // not "P" + ...: GCC 12 warns wrongly of an overlap at -O3
        if (!bench::PlacePrinter(serial, n == 0, state) || !bench::RunAgent(ovlsim::kInstallAction, serial, state))
            return;
    }
    std::string dir = win9x::machine::Directory();
    std::string program = OvlsimProgram();
    win9x::machine::Close();
    for (auto _ : state) {
        if (RunPorts(program, dir) != 0) {
            state.SkipWithError("ovlsim ports failed");
            break;
        }
    }
}
BENCHMARK(BM_OvlsimPorts)->Arg(1)->Arg(10)->Arg(100)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
