// The registry API family, with Windows 9x behaviour: RegDeleteKeyA deletes
// a whole subtree, an empty subkey names the key itself, a name too long for
// an enumeration buffer comes back cut with ERROR_MORE_DATA, and what the
// Windows 9x registry cannot hold (names over 255 characters, key names with
// characters that are not printable, values over 16,300 bytes) is refused
// with ERROR_INVALID_PARAMETER. Each call is one transaction on the
// machine's registry.db, shared by all its processes; a read that nothing
// has changed since is answered from this process's cache
// (machine/registry_view.h).
#include <cstring>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "machine/machine.h"
#include "machine/api.h"
#include "machine/registry_store.h"
#include "machine/registry_view.h"

using win9x::layer::CurrentMachine;
using win9x::layer::InjectedFailure;
using win9x::layer::Machine;
using win9x::registry::EnumPosition;
using win9x::registry::KeyId;
using win9x::registry::Lookup;
using win9x::registry::View;
using win9x::store::Transaction;

namespace {

// An open key of this process: the key's row and the machine whose registry
// holds it, so that a handle kept across a change of machine is refused
// rather than taken for whatever key has the same row there; and where its
// enumerations by index stand, so that the next index continues from there.
struct OpenKey {
    KeyId id;
    std::weak_ptr<Machine> machine;
    EnumPosition subkeys;
    EnumPosition values;
};

// Open key handles of this process. Values never repeat, so a handle that
// was closed stays invalid.
std::mutex g_keyMutex;
std::unordered_map<uintptr_t, OpenKey> g_keys;
uintptr_t g_nextKey = 0x1000;

HKEY NewKeyHandle(const std::shared_ptr<Machine> &m, KeyId id)
{
    std::lock_guard<std::mutex> guard(g_keyMutex);
    uintptr_t value = g_nextKey;
    g_nextKey += 4;
    g_keys[value] = OpenKey{id, m, {}, {}};
    return reinterpret_cast<HKEY>(value);
}

// After a batch was undone: its keys are gone, and as their rows will be
// handed out again, handles to them are made to see a deleted key (row 0
// never exists) instead of whatever key gets the row next. Enumerations
// start again from the store: they may stand on rows that are gone.
void ForgetBatch(const Machine &m, KeyId last)
{
    std::lock_guard<std::mutex> guard(g_keyMutex);
    for (auto &entry : g_keys) {
        if (entry.second.machine.lock().get() != &m)
            continue;
        if (entry.second.id > last)
            entry.second.id = 0;
        entry.second.subkeys = {};
        entry.second.values = {};
    }
}

// What the Windows 9x registry holds at most: 255 characters in a key or
// value name, 16,300 bytes of data in one value.
constexpr size_t kMaxNameLength = 255;
constexpr DWORD kMaxValueData = 16300;

// A key name that may be stored: at most 255 characters, all printable
// (control characters would also break every text form of the registry).
bool IsStorableKeyName(std::string_view name)
{
    if (name.size() > kMaxNameLength)
        return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return false;
    }
    return true;
}

// Where an enumeration of the handle's subkeys (or values) stands; nothing
// for the predefined handles.
EnumPosition Position(HKEY key, EnumPosition OpenKey::*which)
{
    std::lock_guard<std::mutex> guard(g_keyMutex);
    auto found = g_keys.find(reinterpret_cast<uintptr_t>(key));
    return found == g_keys.end() ? EnumPosition{} : found->second.*which;
}

void RememberPosition(HKEY key, EnumPosition OpenKey::*which, const EnumPosition &at)
{
    std::lock_guard<std::mutex> guard(g_keyMutex);
    auto found = g_keys.find(reinterpret_cast<uintptr_t>(key));
    if (found != g_keys.end())
        found->second.*which = at;
}

bool IsPredefined(HKEY key)
{
    return key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_USERS || key == HKEY_CLASSES_ROOT;
}

// The Win32 result for a lookup that found nothing or could not read.
LONG LookupError(Lookup lookup, LONG missing)
{
    return lookup == Lookup::Failed ? static_cast<LONG>(ERROR_REGISTRY_IO_FAILED) : missing;
}

// HKEY_CLASSES_ROOT: Windows 9x keeps the classes under HKLM\Software\Classes.
LONG ResolveClassesRoot(View &view, KeyId *id)
{
    KeyId software = 0;
    Lookup found = view.FindChild(win9x::registry::kLocalMachineId, "Software", &software);
    if (found == Lookup::Found)
        found = view.FindChild(software, "Classes", id);
    return found == Lookup::Found ? static_cast<LONG>(ERROR_SUCCESS) : LookupError(found, ERROR_BADKEY);
}

// The key row behind a handle. Whether the key still exists is left to the
// call's own lookup: a lookup that finds something proves it, and only one
// that finds nothing asks (MissingBelow).
LONG ResolveKey(Machine &m, View &view, HKEY key, KeyId *id)
{
    if (key == HKEY_LOCAL_MACHINE) {
        *id = win9x::registry::kLocalMachineId;
        return ERROR_SUCCESS;
    }
    if (key == HKEY_CURRENT_USER) {
        *id = win9x::registry::kCurrentUserId;
        return ERROR_SUCCESS;
    }
    if (key == HKEY_USERS) {
        *id = win9x::registry::kUsersId;
        return ERROR_SUCCESS;
    }
    if (key == HKEY_CLASSES_ROOT)
        return ResolveClassesRoot(view, id);
    std::lock_guard<std::mutex> guard(g_keyMutex);
    auto found = g_keys.find(reinterpret_cast<uintptr_t>(key));
    if (found == g_keys.end() || found->second.machine.lock().get() != &m)
        return ERROR_INVALID_HANDLE;
    *id = found->second.id;
    return ERROR_SUCCESS;
}

// The result when nothing was found below a key: `missing`, unless the key
// itself is gone.
LONG MissingBelow(View &view, KeyId key, LONG missing)
{
    Lookup exists = view.KeyExists(key);
    return exists == Lookup::Found ? missing : LookupError(exists, ERROR_KEY_DELETED);
}

// Splits a subkey path at backslashes; empty components are passed over.
std::vector<std::string_view> SplitPath(const char *path)
{
    std::vector<std::string_view> parts;
    if (!path)
        return parts;
    std::string_view rest(path);
    while (!rest.empty()) {
        size_t cut = rest.find('\\');
        std::string_view part = rest.substr(0, cut);
        if (!part.empty())
            parts.push_back(part);
        if (cut == std::string_view::npos)
            break;
        rest.remove_prefix(cut + 1);
    }
    return parts;
}

// Walks a subkey path below a key; ERROR_FILE_NOT_FOUND when a part is
// missing. An empty path names the key itself.
LONG WalkPath(View &view, KeyId start, const char *path, KeyId *out)
{
    KeyId current = start;
    bool first = true;
    for (std::string_view part : SplitPath(path)) {
        Lookup found = view.FindChild(current, part, &current);
        if (found == Lookup::Failed)
            return static_cast<LONG>(ERROR_REGISTRY_IO_FAILED);
        if (found == Lookup::Missing)
            return first ? MissingBelow(view, start, ERROR_FILE_NOT_FOUND) : static_cast<LONG>(ERROR_FILE_NOT_FOUND);
        first = false;
    }
    if (first) {
        LONG r = MissingBelow(view, start, ERROR_SUCCESS);
        if (r != ERROR_SUCCESS)
            return r;
    }
    *out = current;
    return ERROR_SUCCESS;
}

// The machine of the batch this thread is running, if any. Its calls use it
// rather than ask for the process's machine while they hold the registry,
// which would take the machine lock after the registry's lock.
thread_local std::shared_ptr<Machine> t_batchMachine;

// Makes a batch's machine the one of this thread's registry calls.
class BatchScope {
public:
    explicit BatchScope(std::shared_ptr<Machine> m) : previous_(std::exchange(t_batchMachine, std::move(m))) {}
    ~BatchScope() { t_batchMachine = std::move(previous_); }
    BatchScope(const BatchScope &) = delete;
    BatchScope &operator=(const BatchScope &) = delete;

private:
    std::shared_ptr<Machine> previous_;
};

// Runs one registry call on the open machine (or the batch's): a write call
// as one write transaction, a read call through the process's cache and at
// most one read transaction. Hands back the machine it ran on when `used`
// is given.
template <class Body>
LONG RunCall(View::Mode mode, Body body, std::shared_ptr<Machine> *used = nullptr)
{
    auto m = t_batchMachine ? t_batchMachine : CurrentMachine();
    if (!m)
        return ERROR_BADDB;
    View view(*m->registry, m->registryCache, mode);
    if (!view.ok())
        return ERROR_REGISTRY_IO_FAILED;
    LONG result = body(*m, view);
    // The cache proved older than the store part way: from the store alone.
    while (view.Restart())
        result = body(*m, view);
    if (!view.Finish(result == ERROR_SUCCESS || result == ERROR_MORE_DATA))
        return ERROR_REGISTRY_IO_FAILED;
    if (used)
        *used = m;
    return result;
}

// Copies a name for the enumeration calls: when it does not fit, the first
// characters that do are copied and terminated, the count becomes the
// number of characters copied, and ERROR_MORE_DATA results (Windows 9x).
LONG CopyEnumName(const std::string &name, LPSTR buffer, LPDWORD capacity)
{
    if (name.size() + 1 > *capacity) {
        if (*capacity > 0) {
            std::memcpy(buffer, name.data(), *capacity - 1);
            buffer[*capacity - 1] = '\0';
            *capacity -= 1;
        }
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *capacity = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Opens or creates the keys of a path below a key; the work of both
// RegCreateKeyA and RegCreateKeyExA, counted by the caller's name alone.
LONG CreateKey(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult, LPDWORD lpdwDisposition)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    KeyId found = 0;
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    std::shared_ptr<Machine> used;
    LONG result = RunCall(
        View::Mode::Write,
        [&](Machine &m, View &view) {
            KeyId current = 0;
            LONG r = ResolveKey(m, view, hKey, &current);
            if (r != ERROR_SUCCESS)
                return r;
            auto parts = SplitPath(lpSubKey);
            for (size_t i = 0; i < parts.size(); ++i) {
                KeyId child = 0;
                Lookup exists = view.FindChild(current, parts[i], &child);
                if (exists == Lookup::Found) {
                    current = child;
                    continue;
                }
                if (exists == Lookup::Failed)
                    return static_cast<LONG>(ERROR_REGISTRY_IO_FAILED);
                if (!IsStorableKeyName(parts[i]))
                    return static_cast<LONG>(ERROR_INVALID_PARAMETER);
                // A key below which nothing was found may itself be gone.
                if (i == 0 && (r = MissingBelow(view, current, ERROR_SUCCESS)) != ERROR_SUCCESS)
                    return r;
                current = win9x::registry::CreateChild(*view.Store(), current, parts[i]);
                if (current == 0)
                    return static_cast<LONG>(ERROR_REGISTRY_IO_FAILED);
                disposition = REG_CREATED_NEW_KEY;
            }
            if (parts.empty() && (r = MissingBelow(view, current, ERROR_SUCCESS)) != ERROR_SUCCESS)
                return r;
            found = current;
            return static_cast<LONG>(ERROR_SUCCESS);
        },
        &used);
    if (result == ERROR_SUCCESS) {
        *phkResult = NewKeyHandle(used, found);
        if (lpdwDisposition)
            *lpdwDisposition = disposition;
    }
    return result;
}

}  // namespace

extern "C" {

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    (void)ulOptions;
    (void)samDesired;
    if (phkResult)
        *phkResult = nullptr;
    if (DWORD injected = InjectedFailure("RegOpenKeyExA"))
        return static_cast<LONG>(injected);
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    KeyId found = 0;
    std::shared_ptr<Machine> used;
    LONG result = RunCall(
        View::Mode::Read,
        [&](Machine &m, View &view) {
            KeyId start = 0;
            LONG r = ResolveKey(m, view, hKey, &start);
            return r == ERROR_SUCCESS ? WalkPath(view, start, lpSubKey, &found) : r;
        },
        &used);
    if (result == ERROR_SUCCESS)
        *phkResult = NewKeyHandle(used, found);
    return result;
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                            REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition)
{
    (void)Reserved;
    (void)lpClass;
    (void)dwOptions;
    (void)samDesired;
    (void)lpSecurityAttributes;
    if (phkResult)
        *phkResult = nullptr;
    if (DWORD injected = InjectedFailure("RegCreateKeyExA"))
        return static_cast<LONG>(injected);
    return CreateKey(hKey, lpSubKey, phkResult, lpdwDisposition);
}

LONG WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult)
{
    if (phkResult)
        *phkResult = nullptr;
    if (DWORD injected = InjectedFailure("RegCreateKeyA"))
        return static_cast<LONG>(injected);
    return CreateKey(hKey, lpSubKey, phkResult, nullptr);
}

LONG WINAPI RegCloseKey(HKEY hKey)
{
    if (DWORD injected = InjectedFailure("RegCloseKey"))
        return static_cast<LONG>(injected);
    if (IsPredefined(hKey))
        return ERROR_SUCCESS;
    std::lock_guard<std::mutex> guard(g_keyMutex);
    return g_keys.erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData)
{
    (void)lpReserved;
    if (DWORD injected = InjectedFailure("RegQueryValueExA"))
        return static_cast<LONG>(injected);
    if (lpData && !lpcbData)
        return ERROR_INVALID_PARAMETER;
    return RunCall(View::Mode::Read, [&](Machine &m, View &view) {
        KeyId key = 0;
        LONG r = ResolveKey(m, view, hKey, &key);
        if (r != ERROR_SUCCESS)
            return r;
        const win9x::registry::Value *found = nullptr;
        Lookup lookup = view.GetValue(key, lpValueName ? lpValueName : "", &found);
        if (lookup == Lookup::Missing)
            return MissingBelow(view, key, ERROR_FILE_NOT_FOUND);
        if (lookup == Lookup::Failed)
            return static_cast<LONG>(ERROR_REGISTRY_IO_FAILED);
        const win9x::registry::Value &value = *found;
        if (lpType)
            *lpType = value.type;
        DWORD size = static_cast<DWORD>(value.data.size());
        if (!lpData) {
            if (lpcbData)
                *lpcbData = size;
            return static_cast<LONG>(ERROR_SUCCESS);
        }
        // A short buffer is left as it was; the caller learns the size.
        if (*lpcbData < size) {
            *lpcbData = size;
            return static_cast<LONG>(ERROR_MORE_DATA);
        }
        if (size)
            std::memcpy(lpData, value.data.data(), size);
        *lpcbData = size;
        return static_cast<LONG>(ERROR_SUCCESS);
    });
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                           DWORD cbData)
{
    (void)Reserved;
    if (DWORD injected = InjectedFailure("RegSetValueExA"))
        return static_cast<LONG>(injected);
    if (!lpData && cbData)
        return ERROR_INVALID_PARAMETER;
    if ((lpValueName && std::strlen(lpValueName) > kMaxNameLength) || cbData > kMaxValueData)
        return ERROR_INVALID_PARAMETER;
    return RunCall(View::Mode::Write, [&](Machine &m, View &view) {
        KeyId key = 0;
        LONG r = ResolveKey(m, view, hKey, &key);
        if (r != ERROR_SUCCESS)
            return r;
        Lookup stored =
            win9x::registry::SetValue(*view.Store(), key, lpValueName ? lpValueName : "", dwType, lpData, cbData);
        return stored == Lookup::Found ? static_cast<LONG>(ERROR_SUCCESS) : LookupError(stored, ERROR_KEY_DELETED);
    });
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                          LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    (void)lpReserved;
    if (DWORD injected = InjectedFailure("RegEnumKeyExA"))
        return static_cast<LONG>(injected);
    if (!lpName || !lpcchName)
        return ERROR_INVALID_PARAMETER;
    return RunCall(View::Mode::Read, [&](Machine &m, View &view) {
        KeyId key = 0;
        LONG r = ResolveKey(m, view, hKey, &key);
        if (r != ERROR_SUCCESS)
            return r;
        std::string name;
        EnumPosition at = Position(hKey, &OpenKey::subkeys);
        Lookup found = view.ChildNameAt(key, dwIndex, &at, &name);
        RememberPosition(hKey, &OpenKey::subkeys, at);
        if (found == Lookup::Missing)
            return MissingBelow(view, key, ERROR_NO_MORE_ITEMS);
        if (found == Lookup::Failed)
            return static_cast<LONG>(ERROR_REGISTRY_IO_FAILED);
        // Keys carry no class text here: an empty one is reported.
        if (lpClass && lpcchClass && *lpcchClass > 0) {
            lpClass[0] = '\0';
            *lpcchClass = 0;
        }
        if (lpftLastWriteTime)
            *lpftLastWriteTime = FILETIME{0, 0};
        return CopyEnumName(name, lpName, lpcchName);
    });
}

// A value name too long for its buffer comes back cut with ERROR_MORE_DATA
// while the data is still delivered (Windows 9x); data too long for its
// buffer is not copied, and its size is reported.
LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                          LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    (void)lpReserved;
    if (DWORD injected = InjectedFailure("RegEnumValueA"))
        return static_cast<LONG>(injected);
    if (!lpValueName || !lpcchValueName || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    return RunCall(View::Mode::Read, [&](Machine &m, View &view) {
        KeyId key = 0;
        LONG r = ResolveKey(m, view, hKey, &key);
        if (r != ERROR_SUCCESS)
            return r;
        win9x::store::Database *store = view.Store();
        if (!store)
            return static_cast<LONG>(ERROR_REGISTRY_IO_FAILED);
        win9x::registry::Value value;
        EnumPosition at = Position(hKey, &OpenKey::values);
        Lookup found = win9x::registry::ValueAt(*store, key, dwIndex, &at, &value);
        RememberPosition(hKey, &OpenKey::values, at);
        if (found == Lookup::Missing)
            return MissingBelow(view, key, ERROR_NO_MORE_ITEMS);
        if (found == Lookup::Failed)
            return static_cast<LONG>(ERROR_REGISTRY_IO_FAILED);
        LONG named = CopyEnumName(value.name, lpValueName, lpcchValueName);
        if (lpType)
            *lpType = value.type;
        DWORD size = static_cast<DWORD>(value.data.size());
        if (lpData && *lpcbData < size) {
            *lpcbData = size;
            return static_cast<LONG>(ERROR_MORE_DATA);
        }
        if (lpData && size)
            std::memcpy(lpData, value.data.data(), size);
        if (lpcbData)
            *lpcbData = size;
        return named;
    });
}

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                             LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                             LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime)
{
    (void)lpReserved;
    if (DWORD injected = InjectedFailure("RegQueryInfoKeyA"))
        return static_cast<LONG>(injected);
    return RunCall(View::Mode::Read, [&](Machine &m, View &view) {
        KeyId key = 0;
        LONG r = ResolveKey(m, view, hKey, &key);
        if (r != ERROR_SUCCESS)
            return r;
        win9x::registry::KeyInfo counts;
        Lookup found = view.Info(key, &counts);
        if (found != Lookup::Found)
            return LookupError(found, ERROR_KEY_DELETED);
        const win9x::registry::KeyInfo *info = &counts;
        // Keys carry no class text here: an empty one is reported.
        if (lpClass && lpcchClass && *lpcchClass > 0)
            lpClass[0] = '\0';
        if (lpcchClass)
            *lpcchClass = 0;
        if (lpcSubKeys)
            *lpcSubKeys = info->subkeys;
        if (lpcbMaxSubKeyLen)
            *lpcbMaxSubKeyLen = info->maxSubkeyName;
        if (lpcbMaxClassLen)
            *lpcbMaxClassLen = 0;
        if (lpcValues)
            *lpcValues = info->values;
        if (lpcbMaxValueNameLen)
            *lpcbMaxValueNameLen = info->maxValueName;
        if (lpcbMaxValueLen)
            *lpcbMaxValueLen = info->maxValueData;
        if (lpcbSecurityDescriptor)
            *lpcbSecurityDescriptor = 0;
        if (lpftLastWriteTime)
            *lpftLastWriteTime = FILETIME{0, 0};
        return static_cast<LONG>(ERROR_SUCCESS);
    });
}

// Deletes a key with every key below it (Windows 9x); an empty subkey names
// the key itself. The root keys, and the key behind a predefined handle,
// cannot be deleted.
LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    if (DWORD injected = InjectedFailure("RegDeleteKeyA"))
        return static_cast<LONG>(injected);
    if (!lpSubKey)
        return ERROR_INVALID_PARAMETER;
    return RunCall(View::Mode::Write, [&](Machine &m, View &view) {
        KeyId start = 0;
        LONG r = ResolveKey(m, view, hKey, &start);
        if (r != ERROR_SUCCESS)
            return r;
        KeyId doomed = 0;
        r = WalkPath(view, start, lpSubKey, &doomed);
        if (r != ERROR_SUCCESS)
            return r;
        if (doomed <= win9x::registry::kUsersId || (IsPredefined(hKey) && doomed == start))
            return static_cast<LONG>(ERROR_ACCESS_DENIED);
        return static_cast<LONG>(win9x::registry::DeleteTree(*view.Store(), doomed) ? ERROR_SUCCESS
                                                                                     : ERROR_REGISTRY_IO_FAILED);
    });
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    if (DWORD injected = InjectedFailure("RegDeleteValueA"))
        return static_cast<LONG>(injected);
    return RunCall(View::Mode::Write, [&](Machine &m, View &view) {
        KeyId key = 0;
        LONG r = ResolveKey(m, view, hKey, &key);
        if (r != ERROR_SUCCESS)
            return r;
        Lookup deleted = win9x::registry::DeleteValue(*view.Store(), key, lpValueName ? lpValueName : "");
        if (deleted == Lookup::Missing)
            return MissingBelow(view, key, ERROR_FILE_NOT_FOUND);
        return deleted == Lookup::Found ? static_cast<LONG>(ERROR_SUCCESS)
                                        : static_cast<LONG>(ERROR_REGISTRY_IO_FAILED);
    });
}

}  // extern "C"

namespace win9x::machine {

bool RegistryTransaction(const std::function<bool()> &body)
{
    auto m = CurrentMachine();
    if (!m)
        return false;
    Transaction tx(*m->registry, Transaction::Mode::Write);
    KeyId last = 0;
    if (!tx.ok() || !win9x::registry::LastKeyId(*m->registry, &last))
        return false;
    bool done = false;
    {
        BatchScope scope(m);
        done = body();
    }
    if (done && tx.Commit())
        return true;
    // Still holding the registry: nobody else can have made keys meanwhile.
    ForgetBatch(*m, last);
    return false;
}

}  // namespace win9x::machine
