// ovlsim ports and ovlsim print: the spooler at work.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "commands/commands.h"
#include "world/job_source.h"
#include "world/print_job.h"
#include "world/shown_text.h"
#include "world/spooler.h"

namespace ovlsim {

namespace {

std::string TypeText(DWORD type)
{
    std::string text;
    if (type & PORT_TYPE_WRITE)
        text += "write,";
    if (type & PORT_TYPE_READ)
        text += "read,";
    if (type & PORT_TYPE_REDIRECTED)
        text += "redirected,";
    if (type & PORT_TYPE_NET_ATTACHED)
        text += "network,";
    if (!text.empty())
        text.pop_back();
    return text;
}

// Starts the spooler; what it could not load is noted on standard error.
// False after reporting a monitor list it cannot read or a damaged library.
bool StartSpooler(Spooler *spooler)
{
    std::vector<std::string> notes;
    std::string error;
    bool started = spooler->Start(&notes, &error);
    for (const auto &note : notes)
        std::fprintf(stderr, "ovlsim: note: %s\n", EscapeControls(note).c_str());
    if (!started)
        Fail(DamageNote().empty() ? DamagedMachine(error) : error);
    return started;
}

int Ports(Context &context, int level)
{
    if (!OpenMachine(context))
        return 1;
    Spooler spooler;
    if (!StartSpooler(&spooler))
        return 1;
    std::vector<PortRecord> ports;
    std::string error;
    if (!spooler.EnumAllPorts(static_cast<DWORD>(level), &ports, &error))
        return Fail(error);
    if (!spooler.RecordPorts(ports))
        return Fail("cannot record the ports in the registry");
    if (ports.empty()) {
        std::printf("no ports (%zu monitor%s loaded)\n", spooler.monitors().size(),
                    spooler.monitors().size() == 1 ? "" : "s");
        return 0;
    }
    size_t width = 4;
    for (const auto &p : ports)
        width = std::max(width, p.name.size());
    if (level == 1) {
        std::printf("%-*s  %s\n", static_cast<int>(width), "PORT", "MONITOR");
        for (const auto &p : ports)
            std::printf("%-*s  %s\n", static_cast<int>(width), p.name.c_str(), p.monitor.c_str());
    } else {
        std::printf("%-*s  %-10s  %-10s  %s\n", static_cast<int>(width), "PORT", "MONITOR", "TYPE", "DESCRIPTION");
        for (const auto &p : ports)
            std::printf("%-*s  %-10s  %-10s  %s\n", static_cast<int>(width), p.name.c_str(), p.monitor.c_str(),
                        TypeText(p.type).c_str(), p.description.c_str());
    }
    return 0;
}

// "N of M bytes", or "N bytes" when the job's length is not known ahead.
std::string BytesText(uint64_t sent, std::optional<uint64_t> total)
{
    std::string text = std::to_string(sent);
    if (total)
        text += " of " + std::to_string(*total);
    return text + " bytes";
}

// Progress on a terminal: a bar with bytes, percent and rate; a job read
// from a pipe, whose length is not known, shows bytes and rate alone.
class TerminalObserver : public PrintObserver {
public:
    TerminalObserver() : tty_(isatty(STDERR_FILENO) != 0), start_(std::chrono::steady_clock::now()) {}

    void Progress(uint64_t sent, std::optional<uint64_t> total) override
    {
        if (!tty_)
            return;
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        double rate = seconds > 0 ? static_cast<double>(sent) / seconds : 0;
        if (!total) {
            std::fprintf(stderr, "\r%s  %.1f KiB/s ", BytesText(sent, total).c_str(), rate / 1024);
        } else {
            // A file that grew while it is printed goes past its length.
            int percent = *total ? static_cast<int>(std::min<uint64_t>(sent, *total) * 100 / *total) : 100;
            int filled = percent * 30 / 100;
            std::fprintf(stderr, "\r[%-30s] %3d%%  %s  %.1f KiB/s ", std::string(filled, '#').c_str(), percent,
                         BytesText(sent, total).c_str(), rate / 1024);
        }
        std::fflush(stderr);
    }

    void Stalled(const std::string &reason, uint64_t sent, std::optional<uint64_t> total) override
    {
        std::fprintf(stderr, "%swaiting: %s (%s sent); retrying\n", tty_ ? "\n" : "", reason.c_str(),
                     BytesText(sent, total).c_str());
    }

    void Resumed() override { std::fprintf(stderr, "the printer accepts data again\n"); }

    void WaitingForPort(size_t jobsAhead) override
    {
        std::fprintf(stderr, "waiting for the port: %zu job%s queued before this one\n", jobsAhead,
                     jobsAhead == 1 ? " is" : "s are");
        start_ = std::chrono::steady_clock::now();  // the rate counts from the job's start
    }

    void Finish()
    {
        if (tty_)
            std::fprintf(stderr, "\n");
    }

private:
    bool tty_;
    std::chrono::steady_clock::time_point start_;
};

// The job is read piece by piece as it is printed: a file of any length, or
// standard input ("-"), holds one piece in memory.
int Print(Context &context, const PrintOptions &options, const std::string &file)
{
    std::string error;
    std::unique_ptr<JobSource> source = OpenJobFile(file, &error);
    if (!source)
        return Fail(error);
    if (!OpenMachine(context))
        return 1;
    Spooler spooler;
    if (!StartSpooler(&spooler))
        return 1;
    const LoadedMonitor *monitor = spooler.FindPortMonitor(options.port);
    if (!monitor)
        return Fail("no monitor offers the port " + Shown(options.port) + " (see 'ovlsim ports')");
    TerminalObserver observer;
    PrintResult result = RunPrintJob(*monitor, options, *source, observer);
    observer.Finish();
    if (!result.completed)
        return Fail(result.error + " (" + BytesText(result.sent, source->Size()) + " sent)");
    std::string name = file == "-" ? "standard input" : EscapeControls(file);
    std::printf("printed %llu bytes of %s to %s\n", static_cast<unsigned long long>(result.sent), name.c_str(),
                EscapeControls(options.port).c_str());
    return 0;
}

// A time-out is a finite number of seconds, 0 or more: "nan", "inf" and
// numbers beyond a double mean nothing as a wait.
std::string CheckSeconds(std::string &text)
{
    errno = 0;
    char *end = nullptr;
    double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || errno == ERANGE || !std::isfinite(seconds) || seconds < 0)
        return "a time-out is a number of seconds, 0 or more, not " + Shown(text);
    return "";
}

}  // namespace

void AddSpoolerCommands(CLI::App &app, Context &context, int *status)
{
    auto level = std::make_shared<int>(1);
    CLI::App *ports = app.add_subcommand("ports", "load the registered port monitors and list their ports");
    ports->add_option("--level", *level, "1: names; 2: names, monitor, type and description")
        ->check(CLI::IsMember({1, 2}));
    ports->callback([level, &context, status] { *status = Ports(context, *level); });

    auto options = std::make_shared<PrintOptions>();
    auto file = std::make_shared<std::string>();
    CLI::App *print = app.add_subcommand("print", "print a file through the monitor that offers PORT");
    print->add_option("PORT", options->port, "e.g. \"USB/Sorrelink 640/X1\"")->required();
    print->add_option("FILE", *file, "the file to send ('-': standard input)")->required();
    print->add_option("--printer", options->printer, "the printer name of the job");
    print->add_option("--timeout", options->timeoutSeconds,
                      "give up after SECONDS without progress, or waiting that long for the port while other "
                      "jobs print on it (default: wait until the printer recovers)")
        ->check(CLI::Validator(CheckSeconds, "SECONDS"));
    print->callback([options, file, &context, status] { *status = Print(context, *options, *file); });
}

}  // namespace ovlsim
