// The registry a fresh machine starts with: the keys of a Windows 9x
// installation that the deliverables and the spooler read.
#include <cstring>

#include "layer.h"
#include "registry_store.h"
#include "schema.h"

namespace win9x::layer {

namespace {

bool CreateKey(const char *path, HKEY *out = nullptr)
{
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, path, &key) != ERROR_SUCCESS)
        return false;
    if (out)
        *out = key;
    else
        RegCloseKey(key);
    return true;
}

bool SetText(const char *path, const char *name, const char *text)
{
    HKEY key = nullptr;
    if (!CreateKey(path, &key))
        return false;
    LONG r = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                            static_cast<DWORD>(std::strlen(text) + 1));
    RegCloseKey(key);
    return r == ERROR_SUCCESS;
}

const char *VersionNumber(machine::WindowsVersion os)
{
    switch (os) {
    case machine::WindowsVersion::Win95: return "4.00.950";
    case machine::WindowsVersion::Win98: return "4.10.1998";
    case machine::WindowsVersion::WinMe: return "4.90.3000";
    case machine::WindowsVersion::NT4: return "4.0";
    }
    return "";
}

bool WriteVersionKeys(machine::WindowsVersion os)
{
    const char *current = "Software\\Microsoft\\Windows\\CurrentVersion";
    if (os == machine::WindowsVersion::NT4) {
        // Windows NT keeps its version elsewhere and no "Version" text here.
        return CreateKey(current) &&
               SetText("Software\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion", VersionNumber(os));
    }
    std::string product = std::string("Microsoft ") + machine::VersionText(os);
    return SetText(current, "Version", machine::VersionText(os)) &&
           SetText(current, "VersionNumber", VersionNumber(os)) && SetText(current, "ProductName", product.c_str()) &&
           SetText(current, "SystemRoot", "C:\\WINDOWS");
}

}  // namespace

bool EnsureRegistrySchema(store::Database &db)
{
    return registry::CreateSchema(db);
}

bool WriteDefaultRegistry(machine::WindowsVersion os)
{
    static const char *const kKeys[] = {
        "Software\\Classes",
        "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
        "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
        "System\\CurrentControlSet\\Control\\Print\\Monitors",
        "System\\CurrentControlSet\\Control\\Print\\Printers",
        "System\\CurrentControlSet\\Control\\Print\\Environments\\Windows 4.0",
        "System\\CurrentControlSet\\Control\\Print\\Ports\\LPT1:",
        "System\\CurrentControlSet\\Control\\Print\\Ports\\COM1:",
        "System\\CurrentControlSet\\Control\\Print\\Ports\\COM2:",
        "System\\CurrentControlSet\\Control\\Print\\Ports\\FILE:",
        "System\\CurrentControlSet\\Control\\DeviceClasses",
        "System\\CurrentControlSet\\Services\\Class\\Display",
        "System\\CurrentControlSet\\Services\\Class\\Printer",
        "System\\CurrentControlSet\\Services\\Class\\USB",
        "System\\CurrentControlSet\\Services\\VxD",
        "Enum\\USB",
    };
    return machine::RegistryTransaction([&] {
        for (const char *path : kKeys) {
            if (!CreateKey(path))
                return false;
        }
        HKEY user = nullptr;
        if (RegCreateKeyA(HKEY_CURRENT_USER, "Software", &user) != ERROR_SUCCESS)
            return false;
        RegCloseKey(user);
        return WriteVersionKeys(os);
    });
}

bool EnsureStateSchema(store::Database &db)
{
    return db.Exec("CREATE TABLE IF NOT EXISTS settings(name TEXT PRIMARY KEY, value TEXT NOT NULL)") &&
           db.Exec("CREATE TABLE IF NOT EXISTS file_attributes("
                   "  path TEXT PRIMARY KEY COLLATE NOCASE, attributes INTEGER NOT NULL)");
}

}  // namespace win9x::layer
