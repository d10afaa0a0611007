// What the port monitor costs on a fresh Windows 98 machine in a temporary
// directory:
// - WritePort throughput to a simulated printer against WriteFile straight
//   to the same device in the same run, in chunks of 16 KiB (what ovlsim
//   print hands WritePort) and 64 KiB, in wall time; the monitor should add
//   under 5 % (WritePortOverhead reports it as overhead_pct);
// - EnumPorts at level 2 and a rebuild of the port list with 1 to 10000
//   device interfaces; both should grow no worse than linearly.
#include <benchmark/benchmark.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "monitor.h"
#include "ovlcommon.h"
#include "bench_machine.h"
#include "portmon/monitor_reset.h"
#include "world/registry_values.h"
#include "world/usb_bus.h"
#include "win9x/machine.h"

namespace {

constexpr const char *kPort = "USB/Sorrelink 640/X1";
constexpr int64_t kClearBytes = 32 << 20; // what the printer holds before its memory is emptied

// A machine with `interfaces` device interfaces (the first a plugged-in
// printer) and the monitor initialised on it. The tick count is held
// still, so nothing rebuilds unless asked to.
class MonitorMachine : public BenchMachine {
  public:
    explicit MonitorMachine(int interfaces)
    {
        if (!BenchMachine::ok())
            return;
        win9x::machine::OverrideTickCount(1000);
        ovlsim::PrinterIdentity printer{"Sorrelink 640", "X1"};
        std::string error;
        if (!ovlsim::AnnounceDevice(printer, &error) || !ovlsim::SetAttached(printer.InstanceId(), true, &error)) {
            std::fprintf(stderr, "portmon_bench: %s\n", error.c_str());
            return;
        }
        instance_ = printer.InstanceId();
        if (!win9x::machine::RegistryTransaction([&] { return AddInterfaces(interfaces - 1); }))
            return;
        ResetMonitor();
        MONITOR table;
        ok_ = InitializeMonitorEx(const_cast<LPSTR>("System\\CurrentControlSet\\Control\\Print\\Monitors\\X1"),
                                  &table) != FALSE;
    }

    ~MonitorMachine()
    {
        ResetMonitor();
        win9x::machine::OverrideTickCount(std::nullopt);
    }

    bool ok() const { return ok_; }
    const std::string &instance() const { return instance_; }

  private:
    // Interfaces of printers that are not plugged in, each with the values
    // the driver writes.
    static bool AddInterfaces(int count)
    {
        const std::string classes = "System\\CurrentControlSet\\Control\\DeviceClasses\\" OVL_INTERFACE_CLASS_TEXT;
        for (int i = 0; i < count; ++i) {
            std::string serial = std::to_string(i);
            serial.insert(0, 1, 'B');
            std::string path = classes + "\\##?#USB#VID_7E51&PID_0114#" + serial + "#" OVL_INTERFACE_CLASS_TEXT;
            HKEY key = nullptr;
            if (RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key) != ERROR_SUCCESS)
                return false;
            bool ok = ovlsim::WriteKeyText(key, "DeviceInstance", "USB\\VID_7E51&PID_0114\\" + serial);
            RegCloseKey(key);
            if (!ok ||
                RegCreateKeyA(HKEY_LOCAL_MACHINE, (path + "\\#\\Device Parameters").c_str(), &key) != ERROR_SUCCESS)
                return false;
            ok = ovlsim::WriteKeyText(key, OVL_VALUE_PRODUCT, "Sorrelink 880") &&
                 ovlsim::WriteKeyText(key, OVL_VALUE_SERIAL_NUMBER, serial) &&
                 ovlsim::WriteKeyNumber(key, OVL_VALUE_ENABLED, 1);
            RegCloseKey(key);
            if (!ok)
                return false;
        }
        return true;
    }

    std::string instance_;
    bool ok_ = false;
};

// A job open on the printer's port for the whole benchmark.
class OpenJob {
  public:
    OpenJob()
    {
        if (OpenPort(const_cast<LPSTR>(kPort), &handle_) &&
            StartDocPort(handle_, const_cast<LPSTR>("Sorrelink 640"), 1, 1, nullptr))
            started_ = true;
    }
    ~OpenJob()
    {
        if (started_)
            EndDocPort(handle_);
        if (handle_)
            ClosePort(handle_);
    }
    bool ok() const { return started_; }
    HANDLE port() const { return handle_; }
    // The device the monitor opened for the job.
    HANDLE device() const { return static_cast<PPORT_HANDLE>(handle_)->Device; }

  private:
    HANDLE handle_ = nullptr;
    bool started_ = false;
};

// Empties the printer's memory of received bytes outside the timing, every
// so many bytes.
void ClearReceived(benchmark::State &state, const MonitorMachine &machine, size_t chunk)
{
    if (state.iterations() % (kClearBytes / static_cast<int64_t>(chunk)) != 0)
        return;
    state.PauseTiming();
    win9x::machine::ClearReceived(machine.instance());
    state.ResumeTiming();
}

// WriteFile straight to the printer's device, in chunks of state.range(0).
void WriteFileDirect(benchmark::State &state)
{
    MonitorMachine machine(1);
    OpenJob job;
    if (!machine.ok() || !job.ok()) {
        state.SkipWithError("cannot set the printer up");
        return;
    }
    const DWORD size = static_cast<DWORD>(state.range(0));
    std::vector<BYTE> chunk(size, 0x5A);
    for (auto _ : state) {
        DWORD written = 0;
        if (!WriteFile(job.device(), chunk.data(), size, &written, nullptr) || written != size)
            state.SkipWithError("WriteFile failed");
        ClearReceived(state, machine, size);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
}
BENCHMARK(WriteFileDirect)->Arg(16 << 10)->Arg(64 << 10)->UseRealTime()->Unit(benchmark::kMicrosecond);

// WritePort through the monitor to the same device.
void WritePortMonitor(benchmark::State &state)
{
    MonitorMachine machine(1);
    OpenJob job;
    if (!machine.ok() || !job.ok()) {
        state.SkipWithError("cannot set the printer up");
        return;
    }
    const DWORD size = static_cast<DWORD>(state.range(0));
    std::vector<BYTE> chunk(size, 0x5A);
    for (auto _ : state) {
        DWORD written = 0;
        if (!WritePort(job.port(), chunk.data(), size, &written) || written != size)
            state.SkipWithError("WritePort failed");
        ClearReceived(state, machine, size);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
}
BENCHMARK(WritePortMonitor)->Arg(16 << 10)->Arg(64 << 10)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Both on one open device, each write timed on its own, so that the two see
// the same machine state; which goes first alternates, so that neither
// always finds the file and the caches as the other left them.
// overhead_pct is what WritePort adds to WriteFile.
void WritePortOverhead(benchmark::State &state)
{
    using Clock = std::chrono::steady_clock;
    MonitorMachine machine(1);
    OpenJob job;
    if (!machine.ok() || !job.ok()) {
        state.SkipWithError("cannot set the printer up");
        return;
    }
    const DWORD size = static_cast<DWORD>(state.range(0));
    std::vector<BYTE> chunk(size, 0x5A);
    std::chrono::duration<double> direct{0}, monitor{0};
    auto writeDirect = [&] {
        DWORD written = 0;
        auto t0 = Clock::now();
        BOOL ok = WriteFile(job.device(), chunk.data(), size, &written, nullptr);
        direct += Clock::now() - t0;
        return ok;
    };
    auto writeMonitor = [&] {
        DWORD written = 0;
        auto t0 = Clock::now();
        BOOL ok = WritePort(job.port(), chunk.data(), size, &written);
        monitor += Clock::now() - t0;
        return ok;
    };
    for (auto _ : state) {
        bool directFirst = state.iterations() % 2 == 0;
        BOOL a = directFirst ? writeDirect() : writeMonitor();
        BOOL b = directFirst ? writeMonitor() : writeDirect();
        if (!a || !b)
            state.SkipWithError("a write failed");
        ClearReceived(state, machine, 2 * size);
    }
    double n = static_cast<double>(state.iterations());
    state.counters["direct_us"] = direct.count() * 1e6 / n;
    state.counters["monitor_us"] = monitor.count() * 1e6 / n;
    state.counters["overhead_pct"] = direct.count() > 0 ? (monitor.count() / direct.count() - 1) * 100 : 0;
    state.SetBytesProcessed(state.iterations() * 2 * static_cast<int64_t>(size));
}
BENCHMARK(WritePortOverhead)->Arg(16 << 10)->Arg(64 << 10)->UseRealTime()->Unit(benchmark::kMicrosecond);

// EnumPorts at level 2 as a spooler asks (size, then records) from a list
// of N ports, without a rebuild.
void EnumPortsLevel2(benchmark::State &state)
{
    MonitorMachine machine(static_cast<int>(state.range(0)));
    if (!machine.ok()) {
        state.SkipWithError("cannot set the machine up");
        return;
    }
    DWORD needed = 0, returned = 0;
    EnumPorts(nullptr, 2, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed);
    for (auto _ : state) {
        EnumPorts(nullptr, 2, nullptr, 0, &needed, &returned);
        if (!EnumPorts(nullptr, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &returned) ||
            returned != static_cast<DWORD>(state.range(0)))
            state.SkipWithError("EnumPorts failed");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(EnumPortsLevel2)
    ->Arg(1)
    ->Arg(100)
    ->Arg(1000)
    ->Complexity(benchmark::oN)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// A rebuild of the port list (empty it, walk every interface and its key)
// with N interfaces whose PortName is already stored.
void RebuildPortList(benchmark::State &state)
{
    MonitorMachine machine(static_cast<int>(state.range(0)));
    if (!machine.ok()) {
        state.SkipWithError("cannot set the machine up");
        return;
    }
    for (auto _ : state) {
        EnterCriticalSection(&PortListLock);
        FreePortList();
        DiscoverPorts();
        LeaveCriticalSection(&PortListLock);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(RebuildPortList)
    ->Arg(1)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Complexity(benchmark::oN)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
