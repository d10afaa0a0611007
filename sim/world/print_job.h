// One print job through a port monitor, as the spooler runs it: its turn
// on the port (jobs queued before it go first), then OpenPort,
// StartDocPort, WritePort piece by piece as the job's source is read,
// EndDocPort, ClosePort. A write that
// fails is reported in words and retried when a printer's state changes
// (paper loaded, back on line) until the printer recovers or the time-out
// passes; the bytes the monitor reports as written are never sent again
// and none are skipped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "world/job_source.h"
#include "world/spooler.h"

namespace ovlsim {

struct PrintOptions {
    std::string port;
    std::string printer = "Sorrelink";  // the printer name the job is for
    // Give up after this long without progress, or waiting this long for
    // the port; 0: never.
    double timeoutSeconds = 0;
    size_t chunkSize = 16384;
    // The longest wait between retries while no printer's state changes.
    unsigned recheckMs = 1000;
};

// What a job reports while it runs.
class PrintObserver {
public:
    virtual ~PrintObserver() = default;
    // `total` is the job's length when it is known ahead.
    virtual void Progress(uint64_t sent, std::optional<uint64_t> total) = 0;
    // The printer takes nothing; `reason` in words. Called once per stall.
    virtual void Stalled(const std::string &reason, uint64_t sent, std::optional<uint64_t> total) = 0;
    // Other jobs are queued for the port before this one: it waits.
    virtual void WaitingForPort(size_t jobsAhead) { (void)jobsAhead; }
    // Called while stalled, before each wait for a retry.
    virtual void Retrying() {}
    virtual void Resumed() {}
};

struct PrintResult {
    bool completed = false;
    uint64_t sent = 0;
    std::string error;  // why the job was abandoned
};

PrintResult RunPrintJob(const LoadedMonitor &monitor, const PrintOptions &options, JobSource &source,
                        PrintObserver &observer);
PrintResult RunPrintJob(const LoadedMonitor &monitor, const PrintOptions &options, const std::string &data,
                        PrintObserver &observer);

}  // namespace ovlsim
