// ovlsim ports and ovlsim print: the spooler at work.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "commands/commands.h"
#include "world/print_job.h"
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
        std::fprintf(stderr, "ovlsim: note: %s\n", note.c_str());
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

// Progress on a terminal: a bar with bytes, percent and rate.
class TerminalObserver : public PrintObserver {
public:
    TerminalObserver() : tty_(isatty(STDERR_FILENO) != 0), start_(std::chrono::steady_clock::now()) {}

    void Progress(uint64_t sent, uint64_t total) override
    {
        if (!tty_)
            return;
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        double rate = seconds > 0 ? static_cast<double>(sent) / seconds : 0;
        int percent = total ? static_cast<int>(sent * 100 / total) : 100;
        int filled = percent * 30 / 100;
        std::fprintf(stderr, "\r[%-30s] %3d%%  %llu of %llu bytes  %.1f KiB/s ", std::string(filled, '#').c_str(),
                     percent, static_cast<unsigned long long>(sent), static_cast<unsigned long long>(total),
                     rate / 1024);
        std::fflush(stderr);
    }

    void Stalled(const std::string &reason, uint64_t sent, uint64_t total) override
    {
        std::fprintf(stderr, "%swaiting: %s (%llu of %llu bytes sent); retrying\n", tty_ ? "\n" : "", reason.c_str(),
                     static_cast<unsigned long long>(sent), static_cast<unsigned long long>(total));
    }

    void Resumed() override { std::fprintf(stderr, "the printer accepts data again\n"); }

    void Finish()
    {
        if (tty_)
            std::fprintf(stderr, "\n");
    }

private:
    bool tty_;
    std::chrono::steady_clock::time_point start_;
};

int Print(Context &context, const PrintOptions &options, const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return Fail("cannot read " + file);
    std::ostringstream content;
    content << in.rdbuf();
    if (!OpenMachine(context))
        return 1;
    Spooler spooler;
    if (!StartSpooler(&spooler))
        return 1;
    const LoadedMonitor *monitor = spooler.FindPortMonitor(options.port);
    if (!monitor)
        return Fail("no monitor offers the port " + options.port + " (see 'ovlsim ports')");
    TerminalObserver observer;
    PrintResult result = RunPrintJob(*monitor, options, content.str(), observer);
    observer.Finish();
    if (!result.completed)
        return Fail(result.error + " (" + std::to_string(result.sent) + " of " + std::to_string(content.str().size()) +
                    " bytes sent)");
    std::printf("printed %llu bytes of %s to %s\n", static_cast<unsigned long long>(result.sent), file.c_str(),
                options.port.c_str());
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
        return "a time-out is a number of seconds, 0 or more, not '" + text + "'";
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
    print->add_option("FILE", *file, "the file to send")->required()->check(CLI::ExistingFile);
    print->add_option("--printer", options->printer, "the printer name of the job");
    print->add_option("--timeout", options->timeoutSeconds,
                      "give up after SECONDS without progress (default: wait until the printer recovers)")
        ->check(CLI::Validator(CheckSeconds, "SECONDS"));
    print->callback([options, file, &context, status] { *status = Print(context, *options, *file); });
}

}  // namespace ovlsim
