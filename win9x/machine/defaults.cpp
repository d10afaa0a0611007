// The registry a fresh machine starts with: the keys of a Windows 9x
// installation that the deliverables and the spooler read. Written straight
// into the registry's tables, in one transaction, below the Win32 API.
#include <cstring>
#include <string_view>

#include "machine/hardware.h"
#include "machine/machine.h"
#include "machine/registry_store.h"
#include "machine/schema.h"

namespace win9x::layer {

namespace {

using registry::KeyId;

// Finds or creates each key of the backslash-separated `path` below `root`;
// 0 on failure.
KeyId CreateKey(store::Database &db, KeyId root, std::string_view path)
{
    KeyId key = root;
    while (!path.empty()) {
        size_t cut = path.find('\\');
        std::string_view name = path.substr(0, cut);
        KeyId child = 0;
        registry::Lookup found = registry::FindChild(db, key, name, &child);
        if (found == registry::Lookup::Failed)
            return 0;
        if (found == registry::Lookup::Missing && (child = registry::CreateChild(db, key, name)) == 0)
            return 0;
        key = child;
        path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
    }
    return key;
}

bool SetText(store::Database &db, const char *path, const char *name, const char *text)
{
    KeyId key = CreateKey(db, registry::kLocalMachineId, path);
    return key != 0 && registry::SetValue(db, key, name, REG_SZ, reinterpret_cast<const uint8_t *>(text),
                                          std::strlen(text) + 1) == registry::Lookup::Found;
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

bool WriteVersionKeys(store::Database &db, machine::WindowsVersion os)
{
    const char *current = "Software\\Microsoft\\Windows\\CurrentVersion";
    if (os == machine::WindowsVersion::NT4) {
        // Windows NT keeps its version elsewhere and no "Version" text here.
        return CreateKey(db, registry::kLocalMachineId, current) != 0 &&
               SetText(db, "Software\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion", VersionNumber(os));
    }
    std::string product = std::string("Microsoft ") + machine::VersionText(os);
    return SetText(db, current, "Version", machine::VersionText(os)) &&
           SetText(db, current, "VersionNumber", VersionNumber(os)) &&
           SetText(db, current, "ProductName", product.c_str()) && SetText(db, current, "SystemRoot", "C:\\WINDOWS");
}

}  // namespace

bool EnsureRegistrySchema(store::Database &db)
{
    return registry::CreateSchema(db);
}

bool WriteDefaultRegistry(store::Database &db, machine::WindowsVersion os)
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
    store::Transaction tx(db, store::Transaction::Mode::Write);
    if (!tx.ok())
        return false;
    for (const char *path : kKeys) {
        if (CreateKey(db, registry::kLocalMachineId, path) == 0)
            return false;
    }
    return CreateKey(db, registry::kCurrentUserId, "Software") != 0 && WriteVersionKeys(db, os) && tx.Commit();
}

bool EnsureStateSchema(store::Database &db)
{
    // Version 2 keeps the printers' received bytes in files beside the
    // database; version 3 adds the files live processes hold in use.
    return db.EnsureSchema(3, [&db] {
        return db.Exec("CREATE TABLE IF NOT EXISTS settings(name TEXT PRIMARY KEY, value TEXT NOT NULL)") &&
               db.Exec("CREATE TABLE IF NOT EXISTS file_attributes("
                       "  path TEXT PRIMARY KEY COLLATE NOCASE, attributes INTEGER NOT NULL)") &&
               db.Exec("CREATE TABLE IF NOT EXISTS files_in_use("
                       "  id INTEGER PRIMARY KEY AUTOINCREMENT, path TEXT NOT NULL COLLATE NOCASE,"
                       "  pid INTEGER NOT NULL, start INTEGER NOT NULL)") &&
               db.Exec("CREATE INDEX IF NOT EXISTS files_in_use_by_path ON files_in_use(path)") &&
               CreateHardwareTables(db);
    });
}

}  // namespace win9x::layer
