// Creating, opening and configuring machines; per-process overrides.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "machine/machine.h"
#include "machine/beneath.h"
#include "machine/text.h"
#include "machine/hardware.h"
#include "machine/received_file.h"
#include "machine/schema.h"

namespace fs = std::filesystem;

namespace win9x::layer {

namespace {

std::mutex g_machineMutex;
std::shared_ptr<Machine> g_machine;
bool g_triedEnvironment = false;

}  // namespace

// The drive C: folders a new machine starts with.
extern const char *const kDriveFolders[];
const char *const kDriveFolders[] = {"Windows",
                                     "Windows/System",
                                     "Windows/System32",
                                     "Windows/System32/Drivers",
                                     "Windows/System/VMM32",
                                     "Windows/Inf",
                                     "Windows/Inf/Other",
                                     "Windows/Temp"};

namespace {

// The parts every machine has; a directory with some of them but not all is
// a damaged machine, which is never completed silently.
// The shared pages are made with the databases: processes of one machine
// that counted on different pages would read stale values without an error.
const char *const kMachineParts[] = {"registry.db", "machine.db", "drive_c", "registry.db-changes",
                                     "machine.db-changes"};

bool IsSharedPage(std::string_view part)
{
    return part.size() > 8 && part.substr(part.size() - 8) == "-changes";
}

// True when the part is there as what it must be (a link is not): drive_c a
// folder, a shared page a file of one page, a database a file.
bool PartExists(const fs::path &dir, const char *part)
{
    std::error_code ec;
    auto status = fs::symlink_status(dir / part, ec);
    if (std::string_view(part) == "drive_c")
        return fs::is_directory(status);
    if (!fs::is_regular_file(status))
        return false;
    return !IsSharedPage(part) || fs::file_size(dir / part, ec) == store::SharedPage::kBytes;
}

// True when something of the part's name is there, whatever it is.
bool PartNamed(const fs::path &dir, const char *part)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(dir / part, ec));
}

// What is wrong with the first part the directory lacks ("machine.db
// missing"), or "" when it has them all.
std::string MissingPart(const fs::path &dir)
{
    for (const char *part : kMachineParts) {
        if (PartExists(dir, part))
            continue;
        bool damagedPage = IsSharedPage(part) && PartNamed(dir, part);
        return std::string(part) +
               (damagedPage ? " not a file of " + std::to_string(store::SharedPage::kBytes) + " bytes" : " missing");
    }
    return "";
}

bool HasAnyPart(const fs::path &dir)
{
    for (const char *part : kMachineParts) {
        if (PartNamed(dir, part))
            return true;
    }
    return false;
}

std::string IncompleteMessage(const std::string &dir, const std::string &what)
{
    return "the machine in " + dir + " is incomplete (" + what + "); `ovlsim init --force` makes a new one";
}

// Opens one of the machine's databases, which must exist and hold tables: an
// empty file is a damaged machine, not a new database.
std::unique_ptr<store::Database> OpenExistingDatabase(const std::string &dir, const std::string &path,
                                                      const char *name, std::string *error)
{
    auto db = store::Database::Open(path + "/" + name, store::Database::Create::No, error);
    if (!db)
        return nullptr;
    bool empty = false;
    {
        store::Transaction tx(*db, store::Transaction::Mode::Read);
        auto stmt = db->Prepare("SELECT count(*) FROM sqlite_master");
        empty = tx.ok() && stmt.Step() && stmt.Int(0) == 0;
    }
    if (empty) {
        if (error)
            *error = IncompleteMessage(dir, std::string(name) + " empty");
        return nullptr;
    }
    return db;
}

std::shared_ptr<Machine> OpenMachine(const std::string &dir, std::string *error)
{
    std::error_code ec;
    fs::path absolute = fs::absolute(dir, ec);
    if (ec || !HasAnyPart(absolute)) {
        if (error)
            *error = "no machine in " + dir + " (create one with 'ovlsim init')";
        return nullptr;
    }
    // Nothing in a machine is ever reached through a link (see beneath.h);
    // a machine that holds one is refused whole, naming it.
    std::string link = beneath::FindLink(absolute.string());
    if (!link.empty()) {
        if (error)
            *error = (fs::path(dir) / link).string() + ": is a symbolic link";
        return nullptr;
    }
    std::string missing = MissingPart(absolute);
    if (!missing.empty()) {
        if (error)
            *error = IncompleteMessage(dir, missing);
        return nullptr;
    }
    auto m = std::make_shared<Machine>();
    m->dir = absolute.lexically_normal().string();
    if (!m->dir.empty() && m->dir.back() == '/')
        m->dir.pop_back();
    m->driveC = m->dir + "/drive_c";
    m->registry = OpenExistingDatabase(dir, m->dir, "registry.db", error);
    if (!m->registry)
        return nullptr;
    m->state = OpenExistingDatabase(dir, m->dir, "machine.db", error);
    if (!m->state)
        return nullptr;
    if (!EnsureRegistrySchema(*m->registry) || !EnsureStateSchema(*m->state)) {
        if (error)
            *error = "the machine's databases in " + dir + " are damaged";
        return nullptr;
    }
    auto version = machine::ParseVersionKeyword(ReadSetting(*m, "version", "98"));
    m->version = version.value_or(machine::WindowsVersion::Win98);
    m->bootTimeMs = std::strtoull(ReadSetting(*m, "boot_ms", "0").c_str(), nullptr, 10);
    return m;
}

}  // namespace

std::shared_ptr<Machine> OpenMachineForProcess(const std::string &dir, std::string *error)
{
    auto m = OpenMachine(dir, error);
    if (!m)
        return nullptr;
    std::lock_guard<std::mutex> guard(g_machineMutex);
    g_machine = m;
    g_triedEnvironment = true;
    return m;
}

void CloseMachineForProcess()
{
    std::lock_guard<std::mutex> guard(g_machineMutex);
    g_machine.reset();
    g_triedEnvironment = true;
}


std::shared_ptr<Machine> CurrentMachine()
{
    // Callers racing the first open wait for it rather than see no machine.
    static std::mutex opening;
    std::lock_guard<std::mutex> wait(opening);
    const char *dir = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_machineMutex);
        if (g_machine || g_triedEnvironment)
            return g_machine;
        g_triedEnvironment = true;
        dir = std::getenv(machine::kMachineVariable);
    }
    if (!dir)
        return nullptr;
    // The databases are opened outside the lock: opening takes their locks,
    // and a thread holding one of those may be asking for the machine.
    std::string error;
    auto opened = OpenMachine(dir, &error);
    if (!opened)
        std::fprintf(stderr, "win9x: %s\n", error.c_str());
    std::lock_guard<std::mutex> guard(g_machineMutex);
    if (!g_machine)
        g_machine = opened;
    return g_machine;
}

std::string ReadSetting(Machine &m, const char *name, const std::string &fallback)
{
    store::Transaction tx(*m.state, store::Transaction::Mode::Read);
    auto stmt = m.state->Prepare("SELECT value FROM settings WHERE name = ?1");
    stmt.Bind(1, name);
    return stmt.Step() ? stmt.Text(0) : fallback;
}

bool WriteSetting(Machine &m, const char *name, const std::string &value)
{
    store::Transaction tx(*m.state, store::Transaction::Mode::Write);
    auto stmt = m.state->Prepare("INSERT OR REPLACE INTO settings(name, value) VALUES (?1, ?2)");
    stmt.Bind(1, name).Bind(2, value);
    return tx.ok() && stmt.Run() && tx.Commit();
}

uint64_t WallClockMs()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

}  // namespace win9x::layer

namespace win9x::machine {

using layer::Machine;

const char *VersionKeyword(WindowsVersion version)
{
    switch (version) {
    case WindowsVersion::Win95: return "95";
    case WindowsVersion::Win98: return "98";
    case WindowsVersion::WinMe: return "me";
    case WindowsVersion::NT4: return "nt4";
    }
    return "98";
}

std::optional<WindowsVersion> ParseVersionKeyword(std::string_view keyword)
{
    std::string lower = layer::ToLower(keyword);
    if (lower == "95")
        return WindowsVersion::Win95;
    if (lower == "98")
        return WindowsVersion::Win98;
    if (lower == "me")
        return WindowsVersion::WinMe;
    if (lower == "nt4")
        return WindowsVersion::NT4;
    return std::nullopt;
}

const char *VersionText(WindowsVersion version)
{
    switch (version) {
    case WindowsVersion::Win95: return "Windows 95";
    case WindowsVersion::Win98: return "Windows 98";
    case WindowsVersion::WinMe: return "Windows Millennium Edition";
    case WindowsVersion::NT4: return "";
    }
    return "";
}

// The databases and drive C: are there; a shared page that is damaged or
// missing is damage of a machine, which ovlsim check lists.
bool IsMachineDirectory(const std::string &dir)
{
    for (const char *part : layer::kMachineParts) {
        if (!layer::IsSharedPage(part) && !layer::PartExists(dir, part))
            return false;
    }
    return true;
}

namespace {

// Creates a new database of the machine with its tables.
bool CreateDatabase(const fs::path &path, bool (*schema)(store::Database &), std::string *error)
{
    auto db = store::Database::Open(path.string(), store::Database::Create::Yes, error);
    if (db && schema(*db))
        return true;
    if (error && db)
        *error = "cannot create the tables of " + path.string();
    return false;
}

}  // namespace

bool Create(const std::string &dir, WindowsVersion os, bool force, std::string *error)
{
    std::error_code ec;
    if (fs::exists(dir, ec)) {
        if (layer::HasAnyPart(dir) && !force) {
            if (error) {
                std::string missing = layer::MissingPart(dir);
                *error = !missing.empty() ? layer::IncompleteMessage(dir, missing)
                                          : "a machine already exists in " + dir + " (use --force to replace it)";
            }
            return false;
        }
        if (!fs::is_directory(dir, ec)) {
            if (error)
                *error = dir + " exists and is not a directory";
            return false;
        }
        if (layer::HasAnyPart(dir)) {
            Close();
            for (const char *db : {"registry.db", "machine.db"}) {
                for (const auto &name : store::Database::Companions((fs::path(dir) / db).string()))
                    fs::remove(name, ec);
            }
            layer::received::RemoveAll(dir);
            fs::remove_all(fs::path(dir) / "drive_c", ec);
            fs::remove_all(fs::path(dir) / "locks", ec);
            fs::remove_all(fs::path(dir) / "hardware", ec);
        } else if (!fs::is_empty(dir, ec)) {
            if (error)
                *error = dir + " is not empty and holds no machine; refusing to use it";
            return false;
        }
    }
    for (const char *folder : layer::kDriveFolders) {
        fs::create_directories(fs::path(dir) / "drive_c" / folder, ec);
        if (ec) {
            if (error)
                *error = "cannot create " + (fs::path(dir) / "drive_c" / folder).string() + ": " + ec.message();
            return false;
        }
    }
    fs::create_directories(fs::path(dir) / "locks", ec);
    // The databases come last: with them the directory is a whole machine.
    if (!CreateDatabase(fs::path(dir) / "machine.db", layer::EnsureStateSchema, error) ||
        !CreateDatabase(fs::path(dir) / "registry.db", layer::EnsureRegistrySchema, error))
        return false;
    if (!Open(dir, error))
        return false;
    auto m = layer::CurrentMachine();
    if (!layer::WriteSetting(*m, "version", VersionKeyword(os)) || !layer::WriteSetting(*m, "shell", "1")) {
        if (error)
            *error = "cannot write the settings of " + dir;
        return false;
    }
    m->version = os;
    Reboot();
    if (!layer::WriteDefaultRegistry(*m->registry, os)) {
        if (error)
            *error = "cannot write the registry of " + dir;
        return false;
    }
    return true;
}

bool Open(const std::string &dir, std::string *error)
{
    auto m = layer::OpenMachineForProcess(dir, error);
    return m != nullptr;
}

bool OpenFromEnvironment(std::string *error)
{
    if (layer::CurrentMachine())
        return true;
    const char *dir = std::getenv(kMachineVariable);
    if (!dir) {
        if (error)
            *error = std::string(kMachineVariable) + " is not set";
        return false;
    }
    return Open(dir, error);
}

void Close()
{
    layer::CloseMachineForProcess();
}

std::string DamageSeen()
{
    return store::FirstDamage();
}

std::string Directory()
{
    auto m = layer::CurrentMachine();
    return m ? m->dir : std::string();
}

WindowsVersion Version()
{
    auto m = layer::CurrentMachine();
    return m ? m->version : WindowsVersion::Win98;
}

void SetVersion(WindowsVersion version)
{
    if (auto m = layer::CurrentMachine()) {
        layer::WriteSetting(*m, "version", VersionKeyword(version));
        m->version = version;
    }
}

bool ShellRunning()
{
    auto m = layer::CurrentMachine();
    return m && layer::ReadSetting(*m, "shell", "1") == "1";
}

void SetShellRunning(bool running)
{
    if (auto m = layer::CurrentMachine())
        layer::WriteSetting(*m, "shell", running ? "1" : "0");
}

void Reboot()
{
    if (auto m = layer::CurrentMachine()) {
        m->bootTimeMs = layer::WallClockMs();
        layer::WriteSetting(*m, "boot_ms", std::to_string(m->bootTimeMs));
    }
}

}  // namespace win9x::machine


