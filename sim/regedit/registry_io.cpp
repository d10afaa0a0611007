#include "regedit/registry_io.h"

#include <functional>
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

// " (error 87)": the registry's reason, as messages end. Messages here
// start from a std::string: GCC 12 at -O3 warns falsely (-Wrestrict) on a
// literal + std::string.
std::string Reason(LONG error)
{
    return std::string(" (error ") + std::to_string(error) + ")";
}

// The names and sizes of a key's values and subkeys, for buffers that hold
// the largest of each.
struct KeyCounts {
    DWORD subkeys = 0;
    DWORD maxSubkeyName = 0;
    DWORD values = 0;
    DWORD maxValueName = 0;
    DWORD maxValueData = 0;
};

// Writes the values of one open key after its header. Every value the key
// counts is written, or the reason why not is given.
bool ExportValues(HKEY key, const std::string &path, const KeyCounts &counts, std::string *out,
                  std::string *error)
{
    std::vector<char> name(counts.maxValueName + 1);
    std::vector<uint8_t> data(counts.maxValueData);
    for (DWORD index = 0; index < counts.values; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LONG r = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (r != ERROR_SUCCESS) {
            *error = std::string("cannot read value ") + std::to_string(index) + " of [" + regfile::ShownName(path) + "]" +
                     Reason(r);
            return false;
        }
        *out += regfile::FormatValue(std::string(name.data(), nameSize), type,
                                     std::vector<uint8_t>(data.begin(), data.begin() + dataSize));
    }
    return true;
}

// Writes one open key, then each subkey in enumeration order. A key that
// cannot be read whole, or whose name cannot be written, is an error: the
// export never leaves anything out silently.
bool ExportOpenKey(HKEY key, const std::string &path, std::string *out, std::string *error)
{
    if (!regfile::IsWritableKeyPath(path)) {
        *error = std::string("the key name [") + regfile::ShownName(path) + "] holds a line break and cannot be written";
        return false;
    }
    KeyCounts counts;
    LONG r = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &counts.subkeys, &counts.maxSubkeyName, nullptr,
                              &counts.values, &counts.maxValueName, &counts.maxValueData, nullptr, nullptr);
    if (r != ERROR_SUCCESS) {
        *error = std::string("cannot read [") + regfile::ShownName(path) + "]" + Reason(r);
        return false;
    }
    *out += regfile::FormatKeyHeader(path);
    if (!ExportValues(key, path, counts, out, error))
        return false;
    *out += "\n";
    std::vector<char> name(counts.maxSubkeyName + 1);
    for (DWORD index = 0; index < counts.subkeys; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        r = RegEnumKeyExA(key, index, name.data(), &nameSize, nullptr, nullptr, nullptr, nullptr);
        HKEY child = nullptr;
        if (r == ERROR_SUCCESS)
            r = RegOpenKeyExA(key, name.data(), 0, KEY_READ, &child);
        if (r != ERROR_SUCCESS) {
            *error = std::string("cannot read subkey ") + std::to_string(index) + " of [" + regfile::ShownName(path) + "]" +
                     Reason(r);
            return false;
        }
        bool done = ExportOpenKey(child, path + "\\" + std::string(name.data(), nameSize), out, error);
        RegCloseKey(child);
        if (!done)
            return false;
    }
    return true;
}

// "12: " for an entry of the file.
std::string AtLine(int line)
{
    return std::to_string(line) + ": ";
}

bool ApplyValue(HKEY key, const regfile::ValueEntry &value, std::string *error)
{
    LONG r = value.remove ? RegDeleteValueA(key, value.name.c_str())
                          : RegSetValueExA(key, value.name.c_str(), 0, value.type, value.data.data(),
                                           static_cast<DWORD>(value.data.size()));
    if (r == ERROR_SUCCESS || (value.remove && r == ERROR_FILE_NOT_FOUND))
        return true;
    *error = AtLine(value.line) + "cannot write value \"" + regfile::ShownName(value.name) + "\"" + Reason(r);
    return false;
}

bool ApplyKey(const regfile::KeyEntry &entry, std::string *error)
{
    HKEY root = nullptr;
    std::string rootName, subkey;
    std::string shown = std::string("[") + regfile::ShownName(entry.path) + "]";
    if (!SplitRootPath(entry.path, &root, &rootName, &subkey)) {
        *error = AtLine(entry.line) + "unknown root key in " + shown;
        return false;
    }
    if (entry.remove) {
        LONG r = subkey.empty() ? ERROR_ACCESS_DENIED : RegDeleteKeyA(root, subkey.c_str());
        if (r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND)
            return true;
        *error = AtLine(entry.line) + "cannot delete " + shown + Reason(r);
        return false;
    }
    HKEY key = nullptr;
    LONG r = RegCreateKeyA(root, subkey.c_str(), &key);
    if (r != ERROR_SUCCESS) {
        *error = AtLine(entry.line) + "cannot create " + shown + Reason(r);
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

// The stored spelling of the subkey `name` of a key (names compare without
// regard to case).
LONG StoredName(HKEY key, const std::string &name, std::string *stored)
{
    for (DWORD index = 0;; ++index) {
        char found[MAX_PATH];
        DWORD size = sizeof found;
        LONG r = RegEnumKeyExA(key, index, found, &size, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS)
            return ERROR_FILE_NOT_FOUND;
        if (r != ERROR_SUCCESS)
            return r;
        if (SameText(name, found)) {
            *stored = found;
            return ERROR_SUCCESS;
        }
    }
}

// The stored spelling of a subkey path below a root, for the export's first
// header.
bool StoredPath(HKEY root, const std::string &rootName, const std::string &subkey, std::string *stored,
                std::string *error)
{
    *stored = rootName;
    HKEY walk = root;
    std::string rest = subkey;
    LONG r = ERROR_SUCCESS;
    while (!rest.empty() && r == ERROR_SUCCESS) {
        size_t cut = rest.find('\\');
        std::string part = rest.substr(0, cut);
        rest = cut == std::string::npos ? "" : rest.substr(cut + 1);
        if (part.empty())
            continue;
        std::string actual;
        HKEY next = nullptr;
        r = StoredName(walk, part, &actual);
        if (r == ERROR_SUCCESS)
            r = RegOpenKeyExA(walk, part.c_str(), 0, KEY_READ, &next);
        if (walk != root)
            RegCloseKey(walk);
        walk = next;
        *stored += "\\" + actual;
    }
    if (walk && walk != root)
        RegCloseKey(walk);
    if (r != ERROR_SUCCESS)
        *error = std::string("cannot read the names of ") + regfile::ShownName(rootName + "\\" + subkey) + Reason(r);
    return r == ERROR_SUCCESS;
}

// Exports a key inside the caller's registry transaction.
bool ExportKeyInside(const std::string &path, std::string *out, std::string *error)
{
    HKEY root = nullptr;
    std::string rootName, subkey;
    if (!SplitRootPath(path, &root, &rootName, &subkey)) {
        *error = std::string("unknown root key in '") + regfile::ShownName(path) +
                 "' (use HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS)";
        return false;
    }
    HKEY key = nullptr;
    LONG r = RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key);
    if (r != ERROR_SUCCESS) {
        *error = r == ERROR_FILE_NOT_FOUND ? std::string("no such key: ") + regfile::ShownName(path)
                                           : std::string("cannot read ") + regfile::ShownName(path) + Reason(r);
        return false;
    }
    std::string stored;
    bool done = StoredPath(root, rootName, subkey, &stored, error) && ExportOpenKey(key, stored, out, error);
    RegCloseKey(key);
    return done;
}

// Runs an export as one registry transaction, so that it shows the registry
// at one moment; on failure `out` is left as it was.
bool ExportInOneTransaction(const std::function<bool(std::string *)> &body, std::string *out, std::string *error)
{
    std::string text;
    error->clear();
    if (!win9x::machine::RegistryTransaction([&] { return body(&text); })) {
        if (error->empty())
            *error = "the registry cannot be read";
        return false;
    }
    *out += text;
    return true;
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
    return ExportInOneTransaction([&](std::string *text) { return ExportKeyInside(path, text, error); }, out,
                                  error);
}

bool ExportAll(std::string *out, std::string *error)
{
    return ExportInOneTransaction(
        [&](std::string *text) {
            return ExportKeyInside("HKEY_LOCAL_MACHINE", text, error) &&
                   ExportKeyInside("HKEY_CURRENT_USER", text, error);
        },
        out, error);
}

bool ImportFile(const regfile::File &file, std::string *error)
{
    error->clear();
    bool done = win9x::machine::RegistryTransaction([&] {
        for (const auto &key : file.keys) {
            if (!ApplyKey(key, error))
                return false;
        }
        return true;
    });
    if (!done && error->empty())
        *error = "the registry cannot be written";
    return done;
}

}  // namespace ovlsim
