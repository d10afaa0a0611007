// The spooler's monitor administration, with Windows 9x behaviour: a
// monitor registration is the key Monitors\<name> with its "Driver" value;
// AddMonitorA leaves the last error 0 when it succeeds.
#include <winspool.h>

#include <string>

#include "machine/api.h"
#include "machine/paths.h"

namespace {

constexpr const char *kMonitorsKey = "System\\CurrentControlSet\\Control\\Print\\Monitors";
constexpr const char *kEnvironment = "Windows 4.0";

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

// Only the local spooler and its own environment are served.
DWORD CheckTarget(LPCSTR server, LPCSTR environment)
{
    if (server && *server)
        return ERROR_INVALID_NAME;
    if (environment && *environment && lstrcmpiA(environment, kEnvironment) != 0)
        return ERROR_INVALID_ENVIRONMENT;
    return 0;
}

bool IsPlainName(LPCSTR name)
{
    return name && *name && !std::string(name).empty() && std::string(name).find('\\') == std::string::npos;
}

bool MonitorExists(const std::string &name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kMonitorsKey) + "\\" + name).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

}  // namespace

extern "C" {

BOOL WINAPI AddMonitorA(LPSTR pName, DWORD Level, LPBYTE pMonitors)
{
    if (DWORD injected = win9x::layer::InjectedFailure("AddMonitorA"))
        return Fail(injected);
    if (Level != 2)
        return Fail(ERROR_INVALID_LEVEL);
    auto *info = reinterpret_cast<MONITOR_INFO_2A *>(pMonitors);
    if (!info)
        return Fail(ERROR_INVALID_PARAMETER);
    if (DWORD error = CheckTarget(pName, info->pEnvironment))
        return Fail(error);
    if (!IsPlainName(info->pName) || !IsPlainName(info->pDLLName))
        return Fail(ERROR_INVALID_PARAMETER);
    if (MonitorExists(info->pName))
        return Fail(ERROR_ALREADY_EXISTS);
    std::string dll = std::string(win9x::layer::kSystemDirectory) + "\\" + info->pDLLName;
    DWORD attributes = GetFileAttributesA(dll.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Fail(ERROR_MOD_NOT_FOUND);
    HKEY key = nullptr;
    std::string path = std::string(kMonitorsKey) + "\\" + info->pName;
    LONG r = RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key);
    if (r != ERROR_SUCCESS)
        return Fail(static_cast<DWORD>(r));
    r = RegSetValueExA(key, "Driver", 0, REG_SZ, reinterpret_cast<const BYTE *>(info->pDLLName),
                       static_cast<DWORD>(lstrlenA(info->pDLLName) + 1));
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
        return Fail(static_cast<DWORD>(r));
    }
    SetLastError(0);
    return TRUE;
}

BOOL WINAPI DeleteMonitorA(LPSTR pName, LPSTR pEnvironment, LPSTR pMonitorName)
{
    if (DWORD injected = win9x::layer::InjectedFailure("DeleteMonitorA"))
        return Fail(injected);
    if (DWORD error = CheckTarget(pName, pEnvironment))
        return Fail(error);
    if (!IsPlainName(pMonitorName) || !MonitorExists(pMonitorName))
        return Fail(ERROR_INVALID_PARAMETER);
    std::string path = std::string(kMonitorsKey) + "\\" + pMonitorName;
    LONG r = RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
    if (r != ERROR_SUCCESS)
        return Fail(static_cast<DWORD>(r));
    return TRUE;
}

}  // extern "C"
