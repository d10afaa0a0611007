#include "regedit/registry_io.h"

#include <vector>

#include "win9x/machine.h"

namespace ovlsim {

namespace {

struct RootName {
    const char *full;
    const char *shortName;
    HKEY key;
};

const RootName kRoots[] = {
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_USERS", "HKU", HKEY_USERS},
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
};

bool SameText(const std::string &a, const char *b)
{
    return lstrcmpiA(a.c_str(), b) == 0;
}

// Writes one open key, then each subkey in enumeration order.
void ExportOpenKey(HKEY key, const std::string &path, std::string *out)
{
    *out += regfile::FormatKeyHeader(path);
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD nameSize = sizeof name;
        DWORD type = 0;
        DWORD dataSize = 0;
        if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS)
            break;
        std::vector<uint8_t> data(dataSize);
        DWORD size = dataSize;
        if (RegQueryValueExA(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            continue;
        data.resize(size);
        *out += regfile::FormatValue(name, type, data);
    }
    *out += "\n";
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY child = nullptr;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS)
            continue;
        ExportOpenKey(child, path + "\\" + name, out);
        RegCloseKey(child);
    }
}

bool ApplyValue(HKEY key, const regfile::ValueEntry &value, std::string *error)
{
    LONG r = value.remove ? RegDeleteValueA(key, value.name.c_str())
                          : RegSetValueExA(key, value.name.c_str(), 0, value.type, value.data.data(),
                                           static_cast<DWORD>(value.data.size()));
    if (r == ERROR_SUCCESS || (value.remove && r == ERROR_FILE_NOT_FOUND))
        return true;
    *error = "cannot write value \"" + value.name + "\" (error " + std::to_string(r) + ")";
    return false;
}

bool ApplyKey(const regfile::KeyEntry &entry, std::string *error)
{
    HKEY root = nullptr;
    std::string rootName, subkey;
    if (!SplitRootPath(entry.path, &root, &rootName, &subkey)) {
        *error = "unknown root key in [" + entry.path + "]";
        return false;
    }
    if (entry.remove) {
        LONG r = subkey.empty() ? ERROR_ACCESS_DENIED : RegDeleteKeyA(root, subkey.c_str());
        if (r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND)
            return true;
        *error = "cannot delete [" + entry.path + "] (error " + std::to_string(r) + ")";
        return false;
    }
    HKEY key = nullptr;
    LONG r = RegCreateKeyA(root, subkey.c_str(), &key);
    if (r != ERROR_SUCCESS) {
        *error = "cannot create [" + entry.path + "] (error " + std::to_string(r) + ")";
        return false;
    }
    bool ok = true;
    for (const auto &value : entry.values) {
        if (!(ok = ApplyValue(key, value, error)))
            break;
    }
    RegCloseKey(key);
    return ok;
}

}  // namespace

bool SplitRootPath(const std::string &path, HKEY *root, std::string *rootName, std::string *subkey)
{
    size_t cut = path.find('\\');
    std::string first = path.substr(0, cut);
    for (const auto &candidate : kRoots) {
        if (SameText(first, candidate.full) || SameText(first, candidate.shortName)) {
            *root = candidate.key;
            *rootName = candidate.full;
            *subkey = cut == std::string::npos ? std::string() : path.substr(cut + 1);
            while (!subkey->empty() && subkey->back() == '\\')
                subkey->pop_back();
            return true;
        }
    }
    return false;
}

bool ExportKey(const std::string &path, std::string *out, std::string *error)
{
    HKEY root = nullptr;
    std::string rootName, subkey;
    if (!SplitRootPath(path, &root, &rootName, &subkey)) {
        *error = "unknown root key in '" + path + "' (use HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS)";
        return false;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        *error = "no such key: " + path;
        return false;
    }
    // The header keeps the names as the registry stores them.
    std::string stored = rootName;
    if (!subkey.empty()) {
        HKEY walk = root;
        std::string rest = subkey;
        while (!rest.empty()) {
            size_t cut = rest.find('\\');
            std::string part = rest.substr(0, cut);
            rest = cut == std::string::npos ? "" : rest.substr(cut + 1);
            if (part.empty())
                continue;
            std::string actual = part;
            for (DWORD index = 0;; ++index) {
                char name[16384];
                DWORD size = sizeof name;
                if (RegEnumKeyExA(walk, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                    break;
                if (SameText(part, name)) {
                    actual = name;
                    break;
                }
            }
            stored += "\\" + actual;
            HKEY next = nullptr;
            RegOpenKeyExA(walk, part.c_str(), 0, KEY_READ, &next);
            if (walk != root)
                RegCloseKey(walk);
            walk = next;
        }
        if (walk && walk != root)
            RegCloseKey(walk);
    }
    ExportOpenKey(key, stored, out);
    RegCloseKey(key);
    return true;
}

std::string ExportAll()
{
    std::string out;
    std::string ignored;
    ExportKey("HKEY_LOCAL_MACHINE", &out, &ignored);
    ExportKey("HKEY_CURRENT_USER", &out, &ignored);
    return out;
}

bool ImportFile(const regfile::File &file, std::string *error)
{
    return win9x::machine::RegistryTransaction([&] {
        for (const auto &key : file.keys) {
            if (!ApplyKey(key, error))
                return false;
        }
        return true;
    });
}

}  // namespace ovlsim
