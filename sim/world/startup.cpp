#include "world/startup.h"

#include <windows.h>

#include "world/machine_view.h"
#include "win9x/machine.h"

namespace ovlsim {

namespace {

constexpr const char *kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

std::string Result(DWORD error)
{
    return error == ERROR_SUCCESS ? "done" : "failed (error " + std::to_string(error) + ")";
}

// The RunOnce values in order: name and command line. False when the
// registry fails a read before the last value.
bool RunOnceValues(HKEY key, std::vector<std::pair<std::string, std::string>> *values, LONG *error)
{
    for (DWORD index = 0;; ++index) {
        char name[MAX_PATH];
        DWORD nameSize = sizeof name;
        char data[4096] = {};
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        LONG r = RegEnumValueA(key, index, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE *>(data), &dataSize);
        if (r == ERROR_NO_MORE_ITEMS)
            return true;
        if (r != ERROR_SUCCESS) {
            *error = r;
            return false;
        }
        if (type == REG_SZ || type == REG_EXPAND_SZ)
            values->emplace_back(name, data);
    }
}

}  // namespace

bool ProcessRenameSection(std::vector<std::string> *report, std::string *error)
{
    std::string ini = "C:\\WINDOWS\\WININIT.INI";
    if (GetFileAttributesA(ini.c_str()) == INVALID_FILE_ATTRIBUTES) {
        report->push_back("no WININIT.INI: nothing to do before the start");
        return true;
    }
    std::vector<std::string> entries;
    if (!RenameEntries(&entries)) {
        if (error)
            *error = "the [rename] section of WININIT.INI cannot be read whole (error " +
                     std::to_string(GetLastError()) + "); nothing was done and WININIT.INI stays";
        return false;
    }
    for (const auto &entry : entries) {
        size_t cut = entry.find('=');
        if (cut == std::string::npos) {
            report->push_back("skipped \"" + entry + "\" (no '=')");
            continue;
        }
        std::string target = entry.substr(0, cut), source = entry.substr(cut + 1);
        if (lstrcmpiA(target.c_str(), "NUL") == 0)
            report->push_back("deleted " + source + ": " + Result(win9x::machine::DeleteFileForce(source)));
        else
            report->push_back("moved " + source + " over " + target + ": " +
                              Result(win9x::machine::MoveFileOver(source, target)));
    }
    std::string bak = "C:\\WINDOWS\\WININIT.BAK";
    report->push_back("WININIT.INI renamed to WININIT.BAK: " + Result(win9x::machine::MoveFileOver(ini, bak)));
    return true;
}

bool StartShell(std::vector<std::string> *report, std::string *error)
{
    win9x::machine::SetShellRunning(true);
    report->push_back("the desktop shell started");
    HKEY key = nullptr;
    LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnce, 0, KEY_ALL_ACCESS, &key);
    std::vector<std::pair<std::string, std::string>> values;
    if (r == ERROR_SUCCESS && !RunOnceValues(key, &values, &r))
        RegCloseKey(key);
    if (r == ERROR_FILE_NOT_FOUND)
        return true;
    if (r != ERROR_SUCCESS) {
        if (error)
            *error = "the shell cannot read RunOnce (error " + std::to_string(r) + ")";
        return false;
    }
    for (const auto &[name, command] : values) {
        // Removed first, so that it runs once even if it never returns.
        RegDeleteValueA(key, name.c_str());
        auto run = win9x::machine::RunCommandLine(command, true);
        if (run.started)
            report->push_back("RunOnce \"" + name + "\": " + command + " (exit " + std::to_string(run.exitCode) + ")");
        else
            report->push_back("RunOnce \"" + name + "\": " + command + " could not start (error " +
                              std::to_string(run.error) + ")");
    }
    RegCloseKey(key);
    return true;
}

bool RestartWindows(std::vector<std::string> *report, std::string *error)
{
    win9x::machine::SetShellRunning(false);
    if (!ProcessRenameSection(report, error))
        return false;
    win9x::machine::Reboot();
    report->push_back("the tick count starts again at 0");
    return StartShell(report, error);
}

}  // namespace ovlsim
