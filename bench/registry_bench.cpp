// What the registry layer costs: value reads and writes per second on a
// fresh Windows 98 machine in a temporary directory, in wall time (writes
// wait for the disk at checkpoints). Every write is one transaction on
// registry.db, and the batch case shows what that costs; a read that nothing
// changed is answered from the process's cache.
#include <benchmark/benchmark.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench_machine.h"
#include "win9x/machine.h"

namespace {

constexpr const char *kKeyPath = "Software\\Orvane\\Bench\\Ports\\USB001";
const char kText[] = "USB/Sorrelink 640 X123456789";

// The key the benchmarks work on, with one text value; closed by the caller.
HKEY OpenBenchKey(benchmark::State &state)
{
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kKeyPath, &key) != ERROR_SUCCESS ||
        RegSetValueExA(key, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE *>(kText), sizeof kText) !=
            ERROR_SUCCESS) {
        state.SkipWithError("cannot prepare the key");
        return nullptr;
    }
    return key;
}

// RegQueryValueExA on a key held open.
void QueryValueOnOpenKey(benchmark::State &state)
{
    HKEY key = OpenBenchKey(state);
    char buffer[64];
    for (auto _ : state) {
        DWORD size = sizeof buffer;
        if (RegQueryValueExA(key, "PortName", nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &size) !=
            ERROR_SUCCESS)
            state.SkipWithError("RegQueryValueExA failed");
        benchmark::DoNotOptimize(buffer);
    }
    state.SetItemsProcessed(state.iterations());
    RegCloseKey(key);
}
BENCHMARK(QueryValueOnOpenKey)->UseRealTime();

// RegOpenKeyExA of a five-part path, RegQueryValueExA, RegCloseKey.
void OpenQueryClose(benchmark::State &state)
{
    RegCloseKey(OpenBenchKey(state));
    char buffer[64];
    for (auto _ : state) {
        HKEY key = nullptr;
        DWORD size = sizeof buffer;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS ||
            RegQueryValueExA(key, "PortName", nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &size) !=
                ERROR_SUCCESS)
            state.SkipWithError("open or query failed");
        RegCloseKey(key);
        benchmark::DoNotOptimize(buffer);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(OpenQueryClose)->UseRealTime();

// RegSetValueExA rewriting one value with data that differs every time:
// SQLite leaves a row whose bytes did not change unwritten.
void SetValueRewrite(benchmark::State &state)
{
    HKEY key = OpenBenchKey(state);
    DWORD n = 0;
    for (auto _ : state) {
        ++n;
        if (RegSetValueExA(key, "Counter", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&n), sizeof n) !=
            ERROR_SUCCESS)
            state.SkipWithError("RegSetValueExA failed");
    }
    state.SetItemsProcessed(state.iterations());
    RegCloseKey(key);
}
BENCHMARK(SetValueRewrite)->UseRealTime();

// RegSetValueExA adding a new value each time (the key grows).
void SetValueNew(benchmark::State &state)
{
    HKEY key = nullptr;
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Orvane\\Bench\\Growing");
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Orvane\\Bench\\Growing", &key) != ERROR_SUCCESS) {
        state.SkipWithError("cannot create the key");
        return;
    }
    unsigned long n = 0;
    char name[32];
    for (auto _ : state) {
        std::snprintf(name, sizeof name, "Value%lu", ++n);
        if (RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(kText), sizeof kText) !=
            ERROR_SUCCESS)
            state.SkipWithError("RegSetValueExA failed");
    }
    state.SetItemsProcessed(state.iterations());
    RegCloseKey(key);
}
BENCHMARK(SetValueNew)->UseRealTime();

// 100 RegSetValueExA calls inside one batch transaction.
void SetValueBatchOf100(benchmark::State &state)
{
    HKEY key = OpenBenchKey(state);
    for (auto _ : state) {
        bool ok = win9x::machine::RegistryTransaction([&] {
            for (DWORD i = 0; i < 100; ++i) {
                if (RegSetValueExA(key, "Counter", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&i), sizeof i) !=
                    ERROR_SUCCESS)
                    return false;
            }
            return true;
        });
        if (!ok)
            state.SkipWithError("the batch failed");
    }
    state.SetItemsProcessed(state.iterations() * 100);
    RegCloseKey(key);
}
BENCHMARK(SetValueBatchOf100)->UseRealTime();

}  // namespace

int main(int argc, char **argv)
{
    BenchMachine machine;
    if (!machine.ok())
        return 1;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
