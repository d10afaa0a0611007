// ovlsim demo: one printer's whole road on a fresh machine, told step by
// step and checked on the machine as it goes; it exits 0 only when every
// check held.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "commands/commands.h"
#include "world/machine_view.h"
#include "world/model_install.h"
#include "world/print_job.h"
#include "world/printer_actions.h"
#include "world/spooler.h"
#include "world/startup.h"
#include "win9x/machine.h"
#include "world/wizard_run.h"

namespace fs = std::filesystem;

namespace ovlsim {

namespace {

constexpr const char *kModel = "Sorrelink 640";
constexpr const char *kPort1 = "USB/Sorrelink 640/X1";
constexpr const char *kPort2 = "USB/Sorrelink 640/X2";
constexpr const char *kMonitors = "System\\CurrentControlSet\\Control\\Print\\Monitors\\";
constexpr const char *kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const char *kModelKey = "Software\\Orvane\\OVLIO\\640";

struct Check {
    std::string step;
    std::string what;
    bool held;
};

class Demo {
public:
    int Run();

private:
    void Step(const std::string &title)
    {
        ++steps_;
        step_ = title;
        std::printf("\n== %d. %s\n", steps_, title.c_str());
        std::fflush(stdout);
    }

    bool Expect(bool held, const std::string &what)
    {
        checks_.push_back({step_, what, held});
        std::printf("   %s: %s\n", held ? "ok" : "FAILED", what.c_str());
        std::fflush(stdout);
        return held;
    }

    bool Do(bool done, const std::string &error)
    {
        if (!done)
            Expect(false, error);
        return done;
    }

    void PlugFirstPrinter();
    void RestartForSetup();
    void ListPorts(size_t expected);
    void PrintSample();
    void PaperOut();
    void UnplugAndPlugAgain();
    void SecondPrinter();
    void WizardTest();
    void WizardDeletePort();
    void RemoveLastPrinter();
    void RestartAfterRemoval();
    void WizardUninstall();
    int Summary();

    void Restart()
    {
        std::vector<std::string> report;
        std::string error;
        bool started = RestartWindows(&report, &error);
        for (const auto &line : report)
            std::printf("   %s\n", line.c_str());
        Do(started, error);
    }

    bool PrintJob(const std::string &port, const std::string &data, PrintObserver &observer, PrintResult *result);
    std::string Sample() const;

    int steps_ = 0;
    std::string step_;
    std::vector<Check> checks_;
};

// Prints nothing while a job runs; remembers why it stalled.
class QuietObserver : public PrintObserver {
public:
    explicit QuietObserver(std::function<void()> onStall = {}) : onStall_(std::move(onStall)) {}
    void Progress(uint64_t, std::optional<uint64_t>) override {}
    void Stalled(const std::string &reason, uint64_t sent, std::optional<uint64_t> total) override
    {
        reasons.push_back(reason);
        std::printf("   the spooler waits: %s (%llu of %llu bytes sent)\n", reason.c_str(),
                    static_cast<unsigned long long>(sent), static_cast<unsigned long long>(total.value_or(0)));
        if (onStall_)
            onStall_();
    }
    void Resumed() override { std::printf("   the printer accepts data again; the job goes on\n"); }
    std::vector<std::string> reasons;

private:
    std::function<void()> onStall_;
};

std::string Demo::Sample() const
{
    std::string page = "%!PS-Adobe-2.0\n%%Title: Sorrelink test page\n";
    for (int line = 1; line <= 4000; ++line) {
        char text[96];
        std::snprintf(text, sizeof text, "(Line %04d: the quick brown fox jumps over the lazy dog) show\n", line);
        page += text;
    }
    return page + "showpage\n%%EOF\n";
}

bool Demo::PrintJob(const std::string &port, const std::string &data, PrintObserver &observer, PrintResult *result)
{
    Spooler spooler;
    std::vector<std::string> notes;
    std::string error;
    if (!Do(spooler.Start(&notes, &error), error))
        return false;
    const LoadedMonitor *monitor = spooler.FindPortMonitor(port);
    if (!monitor)
        return Expect(false, "a monitor offers " + port);
    PrintOptions options;
    options.port = port;
    options.timeoutSeconds = 10;
    *result = RunPrintJob(*monitor, options, data, observer);
    return true;
}

void Demo::PlugFirstPrinter()
{
    Step("Plug in a Sorrelink 640 (serial X1) while Windows starts up: the shell is not running yet");
    win9x::machine::SetShellRunning(false);
    PrinterIdentity identity{kModel, "X1", "0114"};
    std::string error;
    if (!Do(PlugInPrinter(&identity, &error), error))
        return;
    Expect(ReadMachineText(std::string(kMonitors) + "X1", "Driver").value_or("") == "ovlpom00.dll",
           "the agent registered the monitor X1 with ovlpom00.dll");
    auto renames = RenameEntries();
    bool restore = !renames.empty() && renames.back().rfind("C:\\Windows\\System\\ovlcin00.exe=", 0) == 0;
    Expect(restore, "a restore copy of ovlcin00.exe is scheduled in the rename section of WININIT.INI");
    if (restore) {
        std::string copy = renames.back().substr(renames.back().find('=') + 1);
        Expect(GetFileAttributesA(copy.c_str()) != INVALID_FILE_ATTRIBUTES, "the restore copy " + copy + " exists");
    }
    std::string cmdLine = ReadMachineText("Software\\Orvane\\OVL\\640\\X1", "CmdLine").value_or("");
    std::string tail = " -v dialog=0 -v error=0 -v abort=0";
    Expect(cmdLine.size() > tail.size() && cmdLine.compare(cmdLine.size() - tail.size(), tail.size(), tail) == 0,
           "CmdLine for the setup program ends in \"" + tail.substr(1) + "\"");
    Expect(ReadMachineText(kRunOnce, "RunOnce").value_or("") ==
               std::string(kSetupRootPath) + "\\" + kSetupExecFile + " -ovregistry=640\\X1",
           "RunOnce holds the setup program with -ovregistry=640\\X1");
}

void Demo::RestartForSetup()
{
    Step("Restart Windows: the rename section is carried out, the shell runs the setup program");
    Restart();
    Expect(!ReadMachineText(kRunOnce, "RunOnce"), "RunOnce ran once and is gone");
    Expect(ReadMachineText("System\\CurrentControlSet\\Control\\Print\\Printers\\Sorrelink 640 (X1)", "Port")
                   .value_or("") == kPort1,
           "the setup program added the printer \"Sorrelink 640 (X1)\" on port " + std::string(kPort1));
    Expect(GetFileAttributesA("C:\\WINDOWS\\SYSTEM\\ovlcin00.exe") != INVALID_FILE_ATTRIBUTES,
           "ovlcin00.exe is in place after the restore copy moved over it");
}

void Demo::ListPorts(size_t expected)
{
    Step("The spooler starts: it loads the registered monitors and lists their ports");
    Spooler spooler;
    std::vector<std::string> notes;
    std::string error;
    if (!Do(spooler.Start(&notes, &error), error))
        return;
    std::vector<PortRecord> ports;
    if (!Do(spooler.EnumAllPorts(2, &ports, &error), error))
        return;
    spooler.RecordPorts(ports);
    for (const auto &port : ports)
        std::printf("   %-24s monitor %s\n", port.name.c_str(), port.monitor.c_str());
    Expect(ports.size() == expected, std::to_string(expected) + " USB port" + (expected == 1 ? "" : "s") +
                                         " listed, through " + std::to_string(spooler.monitors().size()) +
                                         " registered monitor" + (spooler.monitors().size() == 1 ? "" : "s"));
    Expect(!ports.empty() && ports.front().name == kPort1 && ports.front().type == (PORT_TYPE_WRITE | PORT_TYPE_READ),
           std::string(kPort1) + " is a write and read port");
}

void Demo::PrintSample()
{
    Step("Print a sample document to " + std::string(kPort1));
    auto printer = win9x::machine::FindPrinterBySerial("X1");
    win9x::machine::ClearReceived(printer->instanceId);
    std::string sample = Sample();
    QuietObserver observer;
    PrintResult result;
    if (!PrintJob(kPort1, sample, observer, &result))
        return;
    std::printf("   sent %llu bytes\n", static_cast<unsigned long long>(result.sent));
    Expect(result.completed, "the job completed");
    Expect(win9x::machine::ReceivedBytes(printer->instanceId) == sample,
           "the printer received exactly the document's " + std::to_string(sample.size()) + " bytes");
}

void Demo::PaperOut()
{
    Step("Paper runs out during a job; paper is loaded and the job completes");
    auto printer = win9x::machine::FindPrinterBySerial("X1");
    win9x::machine::ClearReceived(printer->instanceId);
    std::string sample = Sample();
    printer->paper = static_cast<int64_t>(sample.size() / 3);
    win9x::machine::UpdatePrinter(*printer);
    std::printf("   the printer has paper for %lld bytes of the %zu\n", static_cast<long long>(printer->paper),
                sample.size());
    QuietObserver observer([instance = printer->instanceId] {
        auto p = win9x::machine::FindPrinter(instance);
        p->paper = -1;
        win9x::machine::UpdatePrinter(*p);
        std::printf("   paper is loaded\n");
    });
    PrintResult result;
    if (!PrintJob(kPort1, sample, observer, &result))
        return;
    Expect(!observer.reasons.empty() && observer.reasons.front() == "printer out of paper",
           "the spooler reported \"printer out of paper\"");
    Expect(result.completed, "the job completed after the paper was loaded");
    Expect(win9x::machine::ReceivedBytes(printer->instanceId) == sample,
           "nothing was lost or sent twice: the printer holds exactly the document");
}

void Demo::UnplugAndPlugAgain()
{
    Step("Unplug the printer and plug it in again");
    std::string error;
    if (!Do(UnplugPrinter("X1", &error), error))
        return;
    QuietObserver observer;
    PrintResult result;
    PrintJob(kPort1, "a job for an unplugged printer\n", observer, &result);
    std::printf("   a job while unplugged: %s\n", result.error.c_str());
    Expect(!result.completed && result.error.find("printer not connected") != std::string::npos,
           "a job for the unplugged printer fails: printer not connected");
    PrinterIdentity identity{kModel, "X1", "0114"};
    if (!Do(PlugInPrinter(&identity, &error), error))
        return;
    auto printer = win9x::machine::FindPrinterBySerial("X1");
    win9x::machine::ClearReceived(printer->instanceId);
    PrintJob(kPort1, "after plugging in again\n", observer, &result);
    Expect(result.completed, "plugged in again, the port prints without a new installation");
}

void Demo::SecondPrinter()
{
    Step("Plug in a second Sorrelink 640 (serial X2) while the shell runs");
    PrinterIdentity identity{kModel, "X2", "0114"};
    std::string error;
    if (!Do(PlugInPrinter(&identity, &error), error))
        return;
    Expect(ReadMachineText(std::string(kMonitors) + "X2", "Driver").value_or("") == "ovlpom00.dll",
           "the monitor X2 is registered with the same library");
    Expect(!ReadMachineText(kRunOnce, "RunOnce"), "with the shell running, no RunOnce is written");
    Expect(ReadMachineText(kModelKey, "PortName2").value_or("") == kPort2, "the model key lists the port of X2");
}

void Demo::WizardTest()
{
    Step("The troubleshooting wizard tests the communication with the second printer");
    auto run = RunWizardScript("choose 1\nnext\nopen-list\npick 1\nnext\n");
    std::printf("   usbcheck98 ran the script: choose 1, next, open-list, pick 1, next (exit %d)\n", run.exitCode);
    Expect(run.started && run.exitCode == 0, "the wizard ran to its end");
    Expect(run.output.find(kPort2) != std::string::npos, "the printer list showed " + std::string(kPort2));
    Expect(run.output.find("Test successful !") != std::string::npos, "the wizard says \"Test successful !\"");
}

void Demo::WizardDeletePort()
{
    Step("The wizard deletes the port of the second printer; the agent it starts removes it");
    auto run = RunWizardScript("choose 2\nnext\nopen-list\npick 1\nnext\n");
    std::printf("   usbcheck98 ran the script: choose 2, next, open-list, pick 1, next (exit %d)\n", run.exitCode);
    Expect(run.output.find("Port deletion succeeded !") != std::string::npos,
           "the wizard says \"Port deletion succeeded !\"");
    Expect(!MachineKeyExists(std::string(kMonitors) + "X2"), "the agent unregistered the monitor X2");
    Expect(!MachineKeyExists("Enum\\USB\\VID_7E51&PID_0114\\X2"), "the device's enumeration key is gone");
    Expect(MachineKeyExists(kModelKey) && MachineKeyExists(std::string(kMonitors) + "X1"),
           "the model key and the first printer stay: another device of the model remains");
}

void Demo::RemoveLastPrinter()
{
    Step("Remove the first printer, the last of its family: the model's and the family's keys go last");
    std::string error;
    if (!Do(RemoveInstalledPrinter("X1", kModel, &error), error))
        return;
    Expect(!MachineKeyExists(std::string(kMonitors) + "X1"), "the monitor X1 is unregistered");
    Expect(!MachineKeyExists("Software\\Orvane\\OVLIO"), "no Software\\Orvane\\OVLIO key is left");
    Expect(!MachineKeyExists("System\\CurrentControlSet\\Services\\Ovlion00"), "the driver service key is gone");
    Expect(GetFileAttributesA("C:\\WINDOWS\\SYSTEM\\ovlpom00.dll") == INVALID_FILE_ATTRIBUTES,
           "the monitor library ovlpom00.dll is deleted");
    auto renames = RenameEntries();
    bool scheduled = false;
    for (const auto &entry : renames)
        scheduled = scheduled || entry == "NUL=C:\\Windows\\System\\ovlcin00.exe";
    Expect(scheduled, "the rename section holds NUL=C:\\Windows\\System\\ovlcin00.exe");
}

void Demo::RestartAfterRemoval()
{
    Step("Restart Windows: the scheduled deletions are done");
    Restart();
    Expect(GetFileAttributesA("C:\\WINDOWS\\SYSTEM\\ovlcin00.exe") == INVALID_FILE_ATTRIBUTES,
           "ovlcin00.exe is deleted");
    Expect(GetFileAttributesA("C:\\WINDOWS\\SYSTEM\\VMM32\\ovliou00.dll") == INVALID_FILE_ATTRIBUTES,
           "ovliou00.dll is deleted");
    Expect(GetFileAttributesA("C:\\WINDOWS\\WININIT.BAK") != INVALID_FILE_ATTRIBUTES,
           "WININIT.INI became WININIT.BAK");
}

void Demo::WizardUninstall()
{
    Step("The wizard, run again, uninstalls the USB communication files");
    auto run = RunWizardScript("choose 4\nnext\nnext\n");
    std::printf("   usbcheck98 ran the script: choose 4, next, next (exit %d)\n", run.exitCode);
    Expect(run.output.find("Uninstallation successful !") != std::string::npos,
           "the wizard says \"Uninstallation successful !\" (what was already gone is no error)");
    Expect(!MachineKeyExists("Enum\\USB\\VID_7E51&PID_0114") &&
               !MachineKeyExists("System\\CurrentControlSet\\Control\\DeviceClasses\\{7c2e5a10-3b4f-4d6a-9e21-"
                                 "5f8c0b1d2e3a}"),
           "no enumeration key and no device interface class key are left");
    Expect(GetFileAttributesA("C:\\WINDOWS\\SYSTEM32\\DRIVERS\\ovlusb00.sys") == INVALID_FILE_ATTRIBUTES &&
               GetFileAttributesA("C:\\WINDOWS\\INF\\OTHER\\Orvaneovl64098.inf") == INVALID_FILE_ATTRIBUTES,
           "no driver file and no INF file are left");
}

int Demo::Summary()
{
    size_t failed = 0;
    for (const auto &check : checks_)
        failed += check.held ? 0 : 1;
    std::printf("\n== Summary: %d steps, %zu checks, ", steps_, checks_.size());
    if (failed == 0) {
        std::printf("every check held\n");
        return 0;
    }
    std::printf("%zu failed:\n", failed);
    for (const auto &check : checks_) {
        if (!check.held)
            std::printf("   %s: %s\n", check.step.c_str(), check.what.c_str());
    }
    return 1;
}

int Demo::Run()
{
    PlugFirstPrinter();
    RestartForSetup();
    ListPorts(1);
    PrintSample();
    PaperOut();
    UnplugAndPlugAgain();
    SecondPrinter();
    ListPorts(2);
    WizardTest();
    WizardDeletePort();
    RemoveLastPrinter();
    RestartAfterRemoval();
    WizardUninstall();
    return Summary();
}

int RunDemo(Context &context, bool keep, bool force)
{
    std::string dir = context.machineOption;
    bool temporary = dir.empty();
    if (temporary) {
        char pattern[] = "/tmp/ovlsim-demo-XXXXXX";
        if (!mkdtemp(pattern))
            return Fail("cannot create a temporary folder for the machine");
        dir = std::string(pattern) + "/machine";
    }
    std::string error;
    if (!win9x::machine::Create(dir, win9x::machine::WindowsVersion::Win98, force, &error))
        return Fail(error);
    setenv(win9x::machine::kMachineVariable, win9x::machine::Directory().c_str(), 1);
    std::printf("A fresh Windows 98 machine in %s\n", win9x::machine::Directory().c_str());
    int status = Demo().Run();
    win9x::machine::Close();
    std::error_code ec;
    if (temporary && !keep)
        fs::remove_all(fs::path(dir).parent_path(), ec);
    else
        std::printf("The machine stays in %s\n", dir.c_str());
    return status;
}

}  // namespace

void AddDemoCommand(CLI::App &app, Context &context, int *status)
{
    auto keep = std::make_shared<bool>(false);
    auto force = std::make_shared<bool>(false);
    CLI::App *demo = app.add_subcommand("demo", "walk a printer's whole road on a fresh machine, checking each step");
    demo->add_flag("--keep", *keep, "keep the temporary machine afterwards");
    demo->add_flag("--force", *force, "with --machine: replace a machine that is there");
    demo->callback([keep, force, &context, status] { *status = RunDemo(context, *keep, *force); });
}

}  // namespace ovlsim
