// One print job through a port monitor, as the spooler runs it: OpenPort,
// StartDocPort, WritePort in chunks, EndDocPort, ClosePort. A write that
// fails is reported in words and retried when a printer's state changes
// (paper loaded, back on line) until the printer recovers or the time-out
// passes; the bytes the monitor reports as written are never sent again
// and none are skipped.
#pragma once

#include <cstdint>
#include <string>

#include "world/spooler.h"

namespace ovlsim {

struct PrintOptions {
    std::string port;
    std::string printer = "Sorrelink";  // the printer name the job is for
    double timeoutSeconds = 0;  // give up after this long without progress; 0: never
    size_t chunkSize = 16384;
    // The longest wait between retries while no printer's state changes.
    unsigned recheckMs = 1000;
};

// What a job reports while it runs.
class PrintObserver {
public:
    virtual ~PrintObserver() = default;
    virtual void Progress(uint64_t sent, uint64_t total) = 0;
    // The printer takes nothing; `reason` in words. Called once per stall.
    virtual void Stalled(const std::string &reason, uint64_t sent, uint64_t total) = 0;
    // Called while stalled, before each wait for a retry.
    virtual void Retrying() {}
    virtual void Resumed() {}
};

struct PrintResult {
    bool completed = false;
    uint64_t sent = 0;
    std::string error;  // why the job was abandoned
};

PrintResult RunPrintJob(const LoadedMonitor &monitor, const PrintOptions &options, const std::string &data,
                        PrintObserver &observer);

}  // namespace ovlsim
