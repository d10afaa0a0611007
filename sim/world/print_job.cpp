#include "world/print_job.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "win9x/machine.h"
#include "world/port_queue.h"

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

std::string Seconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

// Waits for the job's turn on its port; false with the reason when it does
// not come.
bool TakeTurn(PortTurn &turn, const PrintOptions &options, PrintObserver &observer, std::string *error)
{
    std::string why;
    auto waiting = [&observer](size_t ahead) { observer.WaitingForPort(ahead); };
    switch (turn.Wait(options.port, options.timeoutSeconds, waiting, &why)) {
    case PortTurn::Outcome::Ready:
        return true;
    case PortTurn::Outcome::TimedOut:
        *error = "gave up after " + Seconds(options.timeoutSeconds) + " s waiting for the port " + options.port +
                 ": the jobs queued before this one have not ended";
        return false;
    case PortTurn::Outcome::Failed:
        break;
    }
    *error = "cannot queue the job for " + options.port + ": " + why;
    return false;
}

// Sends what the source gives through the open port, one piece in memory
// at a time; a piece the printer takes in part is offered again from where
// it stopped.
void SendAll(const MONITOR &table, HANDLE handle, const PrintOptions &options, JobSource &source,
             PrintObserver &observer, PrintResult *result)
{
    const std::optional<uint64_t> total = source.Size();
    std::vector<char> piece(std::max<size_t>(options.chunkSize, 1));
    size_t have = 0, offset = 0;
    auto lastProgress = Clock::now();
    bool stalled = false;
    observer.Progress(0, total);
    for (;;) {
        if (offset == have) {
            offset = 0;
            if (!source.Read(piece.data(), piece.size(), &have, &result->error))
                return;
            if (have == 0) {
                result->completed = true;
                return;
            }
            lastProgress = Clock::now();  // time spent reading is not the printer's
        }
        DWORD chunk = static_cast<DWORD>(have - offset);
        DWORD written = 0;
        // Taken before the write, so that a change made while it fails is not missed.
        uint32_t changes = win9x::machine::PrinterChanges();
        SetLastError(0);
        BOOL ok = table.pfnWritePort(handle, reinterpret_cast<LPBYTE>(piece.data() + offset), chunk, &written);
        if (written > chunk)
            written = chunk;  // never trust a count past what was offered
        if (written > 0) {
            offset += written;
            result->sent += written;
            lastProgress = Clock::now();
            if (stalled) {
                stalled = false;
                observer.Resumed();
            }
            observer.Progress(result->sent, total);
            continue;
        }
        if (!stalled) {
            stalled = true;
            observer.Stalled(StallReason(ok), result->sent, total);
        }
        std::chrono::duration<double> waited = Clock::now() - lastProgress;
        if (options.timeoutSeconds > 0 && waited.count() >= options.timeoutSeconds) {
            result->error = "job abandoned after " + Seconds(options.timeoutSeconds) +
                            " s without progress: " + StallReason(ok);
            return;
        }
        observer.Retrying();
        double wait = options.recheckMs / 1000.0;
        if (options.timeoutSeconds > 0)
            wait = std::min(wait, options.timeoutSeconds - waited.count());
        win9x::machine::WaitForPrinterChange(changes, static_cast<unsigned>(wait * 1000) + 1);
    }
}

}  // namespace

PrintResult RunPrintJob(const LoadedMonitor &monitor, const PrintOptions &options, JobSource &source,
                        PrintObserver &observer)
{
    PrintResult result;
    PortTurn turn;
    if (!TakeTurn(turn, options, observer, &result.error))
        return result;
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
    SendAll(table, handle, options, source, observer, &result);
    table.pfnEndDocPort(handle);
    table.pfnClosePort(handle);
    return result;
}

PrintResult RunPrintJob(const LoadedMonitor &monitor, const PrintOptions &options, const std::string &data,
                        PrintObserver &observer)
{
    auto source = JobText(data);
    return RunPrintJob(monitor, options, *source, observer);
}

}  // namespace ovlsim
