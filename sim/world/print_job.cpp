#include "world/print_job.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "win9x/machine.h"

namespace ovlsim {

namespace {

using Clock = std::chrono::steady_clock;

// Why a write moved nothing: the monitor's answer, or its silence.
std::string StallReason(BOOL ok)
{
    if (ok)
        return "printer not accepting data";
    return DescribeError(GetLastError());
}

}  // namespace

PrintResult RunPrintJob(const LoadedMonitor &monitor, const PrintOptions &options, const std::string &data,
                        PrintObserver &observer)
{
    PrintResult result;
    const MONITOR &table = monitor.table;
    std::string port = options.port;
    HANDLE handle = nullptr;
    if (!table.pfnOpenPort(port.data(), &handle) || !handle) {
        result.error = "cannot open port " + port;
        return result;
    }
    std::string printer = options.printer;
    if (!table.pfnStartDocPort(handle, printer.data(), 1, 1, nullptr)) {
        DWORD error = GetLastError();
        result.error = "cannot start the job on " + port + ": " +
                       (error == ERROR_FILE_NOT_FOUND ? "printer not connected" : DescribeError(error));
        table.pfnClosePort(handle);
        return result;
    }
    const uint64_t total = data.size();
    auto lastProgress = Clock::now();
    bool stalled = false;
    observer.Progress(0, total);
    while (result.sent < total) {
        DWORD chunk = static_cast<DWORD>(std::min<uint64_t>(options.chunkSize, total - result.sent));
        DWORD written = 0;
        auto *bytes = reinterpret_cast<LPBYTE>(const_cast<char *>(data.data() + result.sent));
        // Taken before the write, so that a change made while it fails is not missed.
        uint32_t changes = win9x::machine::PrinterChanges();
        SetLastError(0);
        BOOL ok = table.pfnWritePort(handle, bytes, chunk, &written);
        if (written > chunk)
            written = chunk;  // never trust a count past what was offered
        if (written > 0) {
            result.sent += written;
            lastProgress = Clock::now();
            if (stalled) {
                stalled = false;
                observer.Resumed();
            }
            observer.Progress(result.sent, total);
            continue;
        }
        if (!stalled) {
            stalled = true;
            observer.Stalled(StallReason(ok), result.sent, total);
        }
        std::chrono::duration<double> waited = Clock::now() - lastProgress;
        if (options.timeoutSeconds > 0 && waited.count() >= options.timeoutSeconds) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%g", options.timeoutSeconds);
            result.error = "job abandoned after " + std::string(seconds) + " s without progress: " + StallReason(ok);
            break;
        }
        observer.Retrying();
        double wait = options.recheckMs / 1000.0;
        if (options.timeoutSeconds > 0)
            wait = std::min(wait, options.timeoutSeconds - waited.count());
        win9x::machine::WaitForPrinterChange(changes, static_cast<unsigned>(wait * 1000) + 1);
    }
    table.pfnEndDocPort(handle);
    table.pfnClosePort(handle);
    result.completed = result.sent == total;
    return result;
}

}  // namespace ovlsim
