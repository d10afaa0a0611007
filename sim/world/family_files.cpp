#include "world/family_files.h"

#include <windows.h>

#include <filesystem>

#include "world/machine_view.h"
#include "world/spooler.h"
#include "win9x/machine.h"

namespace ovlsim {

namespace {

constexpr const char *kMonitorsKey = "System\\CurrentControlSet\\Control\\Print\\Monitors";
constexpr const char *kModelsKey = "Software\\Orvane\\OVLIO";

// The names of a key's subkeys; a key that does not exist has none. False
// with the reason when the registry fails a read.
bool SubkeyNames(const std::string &path, std::vector<std::string> *names, std::string *error)
{
    HKEY key = nullptr;
    LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key);
    for (DWORD index = 0; r == ERROR_SUCCESS; ++index) {
        char name[MAX_PATH];
        DWORD size = sizeof name;
        r = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_SUCCESS)
            names->push_back(name);
    }
    if (key)
        RegCloseKey(key);
    if (r == ERROR_NO_MORE_ITEMS || r == ERROR_FILE_NOT_FOUND)
        return true;
    *error = "registry: cannot read " + path + " (" + DescribeError(static_cast<DWORD>(r)) + ")";
    return false;
}

bool OnDrive(const std::string &windowsPath)
{
    std::string host = win9x::machine::HostPath(windowsPath);
    std::error_code ec;
    return !host.empty() && std::filesystem::is_regular_file(host, ec);
}

// What is wrong with a file the registry names: "" when it is there and whole.
std::string FileProblem(const std::string &windowsPath)
{
    if (!OnDrive(windowsPath))
        return windowsPath + " is missing";
    std::string shortfall = win9x::machine::ImageShortfall(win9x::machine::HostPath(windowsPath));
    return shortfall.empty() ? "" : windowsPath + " is cut short (it " + shortfall + ")";
}

// A library named without a folder lies where LoadLibraryA looks for it.
std::string LibraryPath(const std::string &name)
{
    if (name.find_first_of("\\/:") != std::string::npos)
        return name;
    std::string inSystem = "C:\\WINDOWS\\SYSTEM\\" + name;
    return OnDrive(inSystem) || !OnDrive("C:\\WINDOWS\\" + name) ? inSystem : "C:\\WINDOWS\\" + name;
}

void AddProblem(std::vector<std::string> *problems, const std::string &owner, const std::string &problem)
{
    if (!problem.empty())
        problems->push_back(owner + ": " + problem);
}

}  // namespace

std::vector<std::string> FamilyFileProblems()
{
    std::vector<std::string> problems;
    std::vector<std::string> monitors, models;
    std::string error;
    if (!SubkeyNames(kMonitorsKey, &monitors, &error))
        problems.push_back(error);
    for (const auto &monitor : monitors) {
        auto driver = ReadMachineText(std::string(kMonitorsKey) + "\\" + monitor, "Driver");
        if (driver && !driver->empty())
            AddProblem(&problems, "monitor " + monitor, FileProblem(LibraryPath(*driver)));
    }
    if (!SubkeyNames(kModelsKey, &models, &error))
        problems.push_back(error);
    for (const auto &model : models) {
        std::string key = std::string(kModelsKey) + "\\" + model;
        auto agent = ReadMachineText(key, "ExecFile");
        if (agent && !agent->empty())
            AddProblem(&problems, "model " + model, FileProblem("C:\\WINDOWS\\SYSTEM\\" + *agent));
        auto root = ReadMachineText(key, "SetupRootPath");
        auto setup = ReadMachineText(key, "SetupExecFile");
        if (root && setup && !setup->empty())
            AddProblem(&problems, "model " + model, FileProblem(*root + "\\" + *setup));
    }
    return problems;
}

}  // namespace ovlsim
