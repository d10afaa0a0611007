// What the installation agent costs: one install and one remove action, each
// the whole agent process from its start to its exit on a prepared machine
// (wall time), and the purge of one printer's installation while many
// printers of the model are installed.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "agent.h"
#include "bench_machine.h"
#include "bench_printers.h"
#include "win9x/machine.h"

namespace {

// A machine with the desktop shell stopped, as during the installs of a
// start-up.
class TempMachine : public BenchMachine {
public:
    TempMachine() { win9x::machine::SetShellRunning(false); }
};

using bench::kModel;
using bench::PlacePrinter;
using bench::RunAgent;

// Rename entries of earlier rounds would make every round's work larger.
void ForgetRenameSection()
{
    DeleteFileA("C:\\WINDOWS\\WININIT.INI");
}

// The install action: monitor registration, restore copy and rename entry,
// CmdLine and RunOnce.
void BM_InstallAction(benchmark::State &state)
{
    TempMachine machine;
    if (!machine.ok() || !PlacePrinter("X1", true, state))
        return;
    char serial[] = "X1";
    for (auto _ : state) {
        if (!RunAgent(ovlsim::kInstallAction, "X1", state))
            break;
        state.PauseTiming();
        DeleteMonitorA(nullptr, nullptr, serial);
        ForgetRenameSection();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_InstallAction)->UseRealTime()->Unit(benchmark::kMillisecond);

// The remove action of the family's last printer: unregistration and the
// whole purge, down to the shared files.
void BM_RemoveAction(benchmark::State &state)
{
    TempMachine machine;
    if (!machine.ok())
        return;
    for (auto _ : state) {
        state.PauseTiming();
        ForgetRenameSection();
        if (!PlacePrinter("X1", true, state) || !RunAgent(ovlsim::kInstallAction, "X1", state))
            break;
        state.ResumeTiming();
        if (!RunAgent(ovlsim::kRemoveAction, "X1", state))
            break;
    }
}
BENCHMARK(BM_RemoveAction)->UseRealTime()->Unit(benchmark::kMillisecond);

// The purge of one printer while state.range(0) printers of the model are
// installed, in this process: the device's keys go, found among all the
// others' (its interface key is the last one of the walk).
void BM_PurgeAmongInstalledPrinters(benchmark::State &state)
{
    TempMachine machine;
    if (!machine.ok())
        return;
    const int printers = static_cast<int>(state.range(0));
    char last[16];
    for (int n = 0; n < printers; ++n) {
        std::snprintf(last, sizeof last, "P%03d", n);
        if (!PlacePrinter(last, n == 0, state))
            return;
    }
    for (auto _ : state) {
        ResetRunState();
        std::strcpy(g_Model, kModel);
        std::strcpy(g_Serial, last);
        BuildModelKeyPath(g_ModelKeyPath, g_Model);
        UninstallPurge();
        state.PauseTiming();
        bool placed = PlacePrinter(last, false, state);
        state.ResumeTiming();
        if (!placed)
            break;
    }
}
BENCHMARK(BM_PurgeAmongInstalledPrinters)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
