// ovlsim printer SERIAL: shows a simulated printer and changes its state.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "commands/commands.h"
#include "win9x/machine.h"
#include "world/shown_text.h"

namespace ovlsim {

namespace {

struct PrinterOptions {
    std::string serial;
    bool paperOut = false;
    std::optional<std::string> loadPaper;  // "" for unlimited
    bool offline = false, online = false, error = false, clear = false;
    std::optional<std::string> deviceId;
    bool refuseWrites = false, acceptWrites = false;
    std::optional<uint32_t> failControl;
    bool failOpen = false, clearFaults = false;
    bool received = false;
};

std::string Describe(const win9x::machine::Printer &p)
{
    uint8_t status = win9x::machine::PrinterStatus(p);
    std::string paper = p.paper < 0 ? "unlimited" : p.paper == 0 ? "out" : std::to_string(p.paper) + " bytes";
    std::string faults;
    if (p.refuseWrites)
        faults += "refuses writes; ";
    if (p.failControlIn)
        faults += "control request " + std::to_string(p.failControlIn) + " from now fails; ";
    if (p.failOpen)
        faults += "opens fail; ";
    if (faults.empty())
        faults = "none";
    else
        faults.resize(faults.size() - 2);
    char statusText[160];
    std::snprintf(statusText, sizeof statusText, "0x%02x (%s, %s%s)", status, p.online ? "selected" : "not selected",
                  p.error ? "error" : "no error", p.paper == 0 ? ", paper empty" : "");
    std::string out;
    out += "printer " + p.serial + " (" + p.instanceId + ")\n";
    out += "  attached   " + std::string(p.attached ? "yes" : "no") + "\n";
    out += "  online     " + std::string(p.online ? "yes" : "no") + "\n";
    out += "  error      " + std::string(p.error ? "yes" : "no") + "\n";
    out += "  paper      " + paper + "\n";
    out += "  status     " + std::string(statusText) + "\n";
    out += "  device ID  " + p.deviceId + "\n";
    out += "  received   " + std::to_string(p.received) + " bytes\n";
    out += "  faults     " + faults + "\n";
    out += "  opened by  " + std::to_string(p.opens) + (p.opens == 1 ? " handle\n" : " handles\n");
    return out;
}

// An IEEE 1284 device ID travels after a two-byte length that counts
// itself: printable ASCII of at most 65,533 bytes.
constexpr size_t kMaxDeviceIdBytes = 65533;

bool ValidDeviceId(const std::string &id, std::string *why)
{
    if (id.size() > kMaxDeviceIdBytes) {
        *why = "a device ID is at most 65533 bytes, not " + std::to_string(id.size());
        return false;
    }
    for (unsigned char c : id) {
        if (c < 0x20 || c > 0x7e) {
            *why = "a device ID is printable ASCII; this one holds " + Shown(std::string(1, static_cast<char>(c)));
            return false;
        }
    }
    return true;
}

// --fail-control N: a count of control requests, digits only ("" is no
// number, not 0).
std::string CheckRequestCount(std::string &text)
{
    bool digits = !text.empty() && text.size() <= 10 && text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::strtoull(text.c_str(), nullptr, 10) > UINT32_MAX)
        return "--fail-control takes a number of requests (0 to 4294967295), not " + Shown(text);
    return "";
}

// The change the options ask for; false with the reason when they
// contradict or a value is refused.
bool Apply(const PrinterOptions &o, win9x::machine::PrinterChange *p, std::string *why)
{
    if ((o.online && o.offline) || (o.error && o.clear) || (o.refuseWrites && o.acceptWrites) ||
        (o.paperOut && o.loadPaper)) {
        *why = "contradicting options";
        return false;
    }
    if (o.paperOut)
        p->paper = 0;
    if (o.loadPaper) {
        if (o.loadPaper->empty()) {
            p->paper = -1;
        } else {
            // A number beyond 64 bits comes back as the largest one, with
            // ERANGE: refused, not taken as that much paper.
            errno = 0;
            char *end = nullptr;
            long long bytes = std::strtoll(o.loadPaper->c_str(), &end, 10);
            if (*end || errno == ERANGE || bytes <= 0) {
                *why = "--load-paper takes a positive number of bytes, not " + Shown(*o.loadPaper);
                return false;
            }
            p->paper = bytes;
        }
    }
    if (o.offline || o.online)
        p->online = o.online;
    if (o.error || o.clear)
        p->error = o.error;
    if (o.deviceId && !ValidDeviceId(*o.deviceId, why))
        return false;
    if (o.deviceId)
        p->deviceId = *o.deviceId;
    if (o.clearFaults) {
        p->refuseWrites = false;
        p->failControlIn = 0;
        p->failOpen = false;
    }
    if (o.refuseWrites || o.acceptWrites)
        p->refuseWrites = o.refuseWrites;
    if (o.failControl)
        p->failControlIn = *o.failControl;
    if (o.failOpen)
        p->failOpen = true;
    return true;
}

bool NamesAnything(const win9x::machine::PrinterChange &c)
{
    return c.attached || c.online || c.error || c.paper || c.deviceId || c.refuseWrites || c.failControlIn ||
           c.failOpen;
}

int Run(Context &context, const PrinterOptions &o)
{
    if (!OpenMachine(context))
        return 1;
    auto printer = win9x::machine::FindPrinterBySerial(o.serial);
    if (!printer)
        return Fail("no printer with serial number " + Shown(o.serial) + " was ever plugged in");
    // Bytes received and lost from the printer's file are never passed off
    // as all it received.
    std::string damage = win9x::machine::ReceivedFileDamage(printer->instanceId);
    if (o.received) {
        if (!damage.empty())
            return Fail("printer " + Shown(o.serial) + ": " + DamagedMachine(damage));
        std::string bytes = win9x::machine::ReceivedBytes(printer->instanceId);
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        return 0;
    }
    std::string why;
    win9x::machine::PrinterChange change;
    if (!Apply(o, &change, &why))
        return Fail(why);
    // Only the settings asked for are written: what a job or another
    // command changed meanwhile stays.
    if (NamesAnything(change) && !win9x::machine::ChangePrinter(printer->instanceId, change))
        return Fail("cannot change printer " + Shown(o.serial));
    printer = win9x::machine::FindPrinter(printer->instanceId);
    if (!printer)
        return Fail("cannot read printer " + Shown(o.serial) + " back");
    std::fputs(Describe(*printer).c_str(), stdout);
    if (!damage.empty())
        return Fail("printer " + Shown(o.serial) + ": " + DamagedMachine(damage));
    return 0;
}

}  // namespace

void AddPrinterCommand(CLI::App &app, Context &context, int *status)
{
    auto o = std::make_shared<PrinterOptions>();
    CLI::App *cmd = app.add_subcommand("printer", "show a simulated printer; the options change its state");
    cmd->add_option("SERIAL", o->serial, "the printer's serial number")->required();
    cmd->add_flag("--paper-out", o->paperOut, "the printer runs out of paper");
    cmd->add_option("--load-paper", o->loadPaper, "load paper for BYTES bytes (no number: unlimited)")
        ->expected(0, 1)
        ->default_str("");
    cmd->add_flag("--offline", o->offline, "take the printer off line");
    cmd->add_flag("--online", o->online, "put the printer on line");
    cmd->add_flag("--error", o->error, "the printer reports an error");
    cmd->add_flag("--clear", o->clear, "the printer's error is cleared");
    cmd->add_option("--device-id", o->deviceId,
                    "the IEEE 1284 device ID text it reports (printable ASCII, at most 65533 bytes)");
    cmd->add_flag("--refuse-writes", o->refuseWrites, "fault: refuse every write");
    cmd->add_flag("--accept-writes", o->acceptWrites, "undo --refuse-writes");
    cmd->add_option("--fail-control", o->failControl, "fault: the Nth control request from now fails (0: none)")
        ->check(CLI::Validator(CheckRequestCount, "N"));
    cmd->add_flag("--fail-open", o->failOpen, "fault: opening the device fails");
    cmd->add_flag("--clear-faults", o->clearFaults, "remove every injected fault");
    cmd->add_flag("--received", o->received, "write the bytes the printer received to standard output");
    cmd->callback([o, &context, status] { *status = Run(context, *o); });
}

}  // namespace ovlsim
