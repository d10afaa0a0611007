// The registry API family, with Windows 9x behaviour: RegDeleteKeyA deletes
// a whole subtree, an empty subkey names the key itself, a name too long for
// an enumeration buffer comes back cut with ERROR_MORE_DATA. Each call is one
// transaction on the machine's registry.db, shared by all its processes.
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "layer.h"
#include "registry_store.h"

using win9x::layer::CurrentMachine;
using win9x::layer::InjectedFailure;
using win9x::layer::Machine;
using win9x::registry::KeyId;
using win9x::store::Transaction;

namespace {

// Open key handles of this process. Values never repeat, so a handle that
// was closed stays invalid.
std::mutex g_keyMutex;
std::unordered_map<uintptr_t, KeyId> g_keys;
uintptr_t g_nextKey = 0x1000;

HKEY NewKeyHandle(KeyId id)
{
    std::lock_guard<std::mutex> guard(g_keyMutex);
    uintptr_t value = g_nextKey;
    g_nextKey += 4;
    g_keys[value] = id;
    return reinterpret_cast<HKEY>(value);
}

bool IsPredefined(HKEY key)
{
    return key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_USERS || key == HKEY_CLASSES_ROOT;
}

// The key behind a handle, checked inside the caller's transaction.
LONG ResolveKey(Machine &m, HKEY key, KeyId *id)
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
    if (key == HKEY_CLASSES_ROOT) {
        // Windows 9x keeps the classes under HKLM\Software\Classes.
        auto software = win9x::registry::FindChild(*m.registry, win9x::registry::kLocalMachineId, "Software");
        auto classes = software ? win9x::registry::FindChild(*m.registry, *software, "Classes") : std::nullopt;
        if (!classes)
            return ERROR_BADKEY;
        *id = *classes;
        return ERROR_SUCCESS;
    }
    {
        std::lock_guard<std::mutex> guard(g_keyMutex);
        auto found = g_keys.find(reinterpret_cast<uintptr_t>(key));
        if (found == g_keys.end())
            return ERROR_INVALID_HANDLE;
        *id = found->second;
    }
    return win9x::registry::KeyExists(*m.registry, *id) ? ERROR_SUCCESS : ERROR_KEY_DELETED;
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

// Walks a subkey path below a key; ERROR_FILE_NOT_FOUND when a part is missing.
LONG WalkPath(Machine &m, KeyId start, const char *path, KeyId *out)
{
    KeyId current = start;
    for (std::string_view part : SplitPath(path)) {
        auto child = win9x::registry::FindChild(*m.registry, current, part);
        if (!child)
            return ERROR_FILE_NOT_FOUND;
        current = *child;
    }
    *out = current;
    return ERROR_SUCCESS;
}

// Runs one registry call as one transaction on the open machine.
template <class Body>
LONG RunCall(const char *api, Transaction::Mode mode, Body body)
{
    if (DWORD injected = InjectedFailure(api))
        return static_cast<LONG>(injected);
    auto m = CurrentMachine();
    if (!m)
        return ERROR_BADDB;
    Transaction tx(*m->registry, mode);
    if (!tx.ok())
        return ERROR_REGISTRY_IO_FAILED;
    LONG result = body(*m);
    if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
        if (!tx.Commit())
            return ERROR_REGISTRY_IO_FAILED;
    }
    return result;
}

// Copies a name for the enumeration calls: when it does not fit, the first
// characters that do are copied and terminated, and ERROR_MORE_DATA results.
LONG CopyEnumName(const std::string &name, LPSTR buffer, LPDWORD capacity, bool updateOnShort)
{
    if (name.size() + 1 > *capacity) {
        if (*capacity > 0) {
            std::memcpy(buffer, name.data(), *capacity - 1);
            buffer[*capacity - 1] = '\0';
        }
        if (updateOnShort)
            *capacity = static_cast<DWORD>(name.size() + 1);
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *capacity = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    (void)ulOptions;
    (void)samDesired;
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    KeyId found = 0;
    LONG result = RunCall("RegOpenKeyExA", Transaction::Mode::Read, [&](Machine &m) {
        KeyId start = 0;
        LONG r = ResolveKey(m, hKey, &start);
        return r == ERROR_SUCCESS ? WalkPath(m, start, lpSubKey, &found) : r;
    });
    if (result == ERROR_SUCCESS)
        *phkResult = NewKeyHandle(found);
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
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    KeyId found = 0;
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    LONG result = RunCall("RegCreateKeyExA", Transaction::Mode::Write, [&](Machine &m) {
        KeyId current = 0;
        LONG r = ResolveKey(m, hKey, &current);
        if (r != ERROR_SUCCESS)
            return r;
        for (std::string_view part : SplitPath(lpSubKey)) {
            auto child = win9x::registry::FindChild(*m.registry, current, part);
            if (child) {
                current = *child;
                continue;
            }
            current = win9x::registry::CreateChild(*m.registry, current, part);
            if (current == 0)
                return static_cast<LONG>(ERROR_REGISTRY_IO_FAILED);
            disposition = REG_CREATED_NEW_KEY;
        }
        found = current;
        return static_cast<LONG>(ERROR_SUCCESS);
    });
    if (result == ERROR_SUCCESS) {
        *phkResult = NewKeyHandle(found);
        if (lpdwDisposition)
            *lpdwDisposition = disposition;
    }
    return result;
}

LONG WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult)
{
    if (DWORD injected = InjectedFailure("RegCreateKeyA"))
        return static_cast<LONG>(injected);
    return RegCreateKeyExA(hKey, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, phkResult,
                           nullptr);
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
    if (lpData && !lpcbData)
        return ERROR_INVALID_PARAMETER;
    return RunCall("RegQueryValueExA", Transaction::Mode::Read, [&](Machine &m) {
        KeyId key = 0;
        LONG r = ResolveKey(m, hKey, &key);
        if (r != ERROR_SUCCESS)
            return r;
        auto value = win9x::registry::GetValue(*m.registry, key, lpValueName ? lpValueName : "");
        if (!value)
            return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
        if (lpType)
            *lpType = value->type;
        DWORD size = static_cast<DWORD>(value->data.size());
        if (!lpData) {
            if (lpcbData)
                *lpcbData = size;
            return static_cast<LONG>(ERROR_SUCCESS);
        }
        if (*lpcbData < size) {
            *lpcbData = size;
            return static_cast<LONG>(ERROR_MORE_DATA);
        }
        if (size)
            std::memcpy(lpData, value->data.data(), size);
        *lpcbData = size;
        return static_cast<LONG>(ERROR_SUCCESS);
    });
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                           DWORD cbData)
{
    (void)Reserved;
    if (!lpData && cbData)
        return ERROR_INVALID_PARAMETER;
    return RunCall("RegSetValueExA", Transaction::Mode::Write, [&](Machine &m) {
        KeyId key = 0;
        LONG r = ResolveKey(m, hKey, &key);
        if (r != ERROR_SUCCESS)
            return r;
        bool stored = win9x::registry::SetValue(*m.registry, key, lpValueName ? lpValueName : "", dwType, lpData,
                                                cbData);
        return static_cast<LONG>(stored ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED);
    });
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                          LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    (void)lpReserved;
    if (!lpName || !lpcchName)
        return ERROR_INVALID_PARAMETER;
    return RunCall("RegEnumKeyExA", Transaction::Mode::Read, [&](Machine &m) {
        KeyId key = 0;
        LONG r = ResolveKey(m, hKey, &key);
        if (r != ERROR_SUCCESS)
            return r;
        auto name = win9x::registry::ChildNameAt(*m.registry, key, dwIndex);
        if (!name)
            return static_cast<LONG>(ERROR_NO_MORE_ITEMS);
        if (lpClass && lpcchClass && *lpcchClass > 0) {
            lpClass[0] = '\0';
            *lpcchClass = 0;
        }
        if (lpftLastWriteTime)
            *lpftLastWriteTime = FILETIME{0, 0};
        return CopyEnumName(*name, lpName, lpcchName, false);
    });
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                          LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    (void)lpReserved;
    if (!lpValueName || !lpcchValueName || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    return RunCall("RegEnumValueA", Transaction::Mode::Read, [&](Machine &m) {
        KeyId key = 0;
        LONG r = ResolveKey(m, hKey, &key);
        if (r != ERROR_SUCCESS)
            return r;
        auto value = win9x::registry::ValueAt(*m.registry, key, dwIndex);
        if (!value)
            return static_cast<LONG>(ERROR_NO_MORE_ITEMS);
        LONG named = CopyEnumName(value->name, lpValueName, lpcchValueName, false);
        if (lpType)
            *lpType = value->type;
        DWORD size = static_cast<DWORD>(value->data.size());
        if (lpData && *lpcbData < size) {
            *lpcbData = size;
            return static_cast<LONG>(ERROR_MORE_DATA);
        }
        if (lpData && size)
            std::memcpy(lpData, value->data.data(), size);
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
    return RunCall("RegQueryInfoKeyA", Transaction::Mode::Read, [&](Machine &m) {
        KeyId key = 0;
        LONG r = ResolveKey(m, hKey, &key);
        if (r != ERROR_SUCCESS)
            return r;
        auto info = win9x::registry::Info(*m.registry, key);
        if (!info)
            return static_cast<LONG>(ERROR_REGISTRY_IO_FAILED);
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

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    if (!lpSubKey)
        return ERROR_INVALID_PARAMETER;
    return RunCall("RegDeleteKeyA", Transaction::Mode::Write, [&](Machine &m) {
        KeyId start = 0;
        LONG r = ResolveKey(m, hKey, &start);
        if (r != ERROR_SUCCESS)
            return r;
        // An empty subkey names the key itself (Windows 9x).
        KeyId doomed = 0;
        r = WalkPath(m, start, lpSubKey, &doomed);
        if (r != ERROR_SUCCESS)
            return r;
        if (doomed <= win9x::registry::kUsersId)
            return static_cast<LONG>(ERROR_ACCESS_DENIED);
        return static_cast<LONG>(win9x::registry::DeleteTree(*m.registry, doomed) ? ERROR_SUCCESS
                                                                                   : ERROR_REGISTRY_IO_FAILED);
    });
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    return RunCall("RegDeleteValueA", Transaction::Mode::Write, [&](Machine &m) {
        KeyId key = 0;
        LONG r = ResolveKey(m, hKey, &key);
        if (r != ERROR_SUCCESS)
            return r;
        bool failed = false;
        bool deleted = win9x::registry::DeleteValue(*m.registry, key, lpValueName ? lpValueName : "", &failed);
        if (failed)
            return static_cast<LONG>(ERROR_REGISTRY_IO_FAILED);
        return static_cast<LONG>(deleted ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
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
    if (!tx.ok())
        return false;
    return body() && tx.Commit();
}

}  // namespace win9x::machine
