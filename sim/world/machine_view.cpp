#include "world/machine_view.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "win9x/machine.h"
#include "world/registry_values.h"

namespace fs = std::filesystem;

namespace ovlsim {

namespace {

// False when the registry fails a read other than the end of a list.
bool CollectKeys(HKEY key, const std::string &path, std::vector<std::string> *out)
{
    for (DWORD index = 0;; ++index) {
        char name[1024];
        DWORD size = sizeof name;
        LONG r = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS || KeyVanished(r))
            return true;
        if (r != ERROR_SUCCESS)
            return false;
        std::string child = path.empty() ? name : path + "\\" + name;
        HKEY sub = nullptr;
        r = RegOpenKeyExA(key, name, 0, KEY_READ, &sub);
        if (KeyVanished(r))
            continue;
        if (r != ERROR_SUCCESS)
            return false;
        out->push_back(child);
        bool whole = CollectKeys(sub, child, out);
        RegCloseKey(sub);
        if (!whole)
            return false;
    }
}

}  // namespace

std::optional<std::string> ReadMachineText(const std::string &keyPath, const std::string &valueName)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD size = 0;
    std::optional<std::string> text;
    if (RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        std::string data(size, '\0');
        if (RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE *>(data.data()),
                             &size) == ERROR_SUCCESS) {
            data.resize(size);
            while (!data.empty() && data.back() == '\0')
                data.pop_back();
            text = data;
        }
    }
    RegCloseKey(key);
    return text;
}

bool MachineKeyExists(const std::string &keyPath)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::vector<std::string> AllMachineKeys()
{
    std::vector<std::string> keys;
    CollectKeys(HKEY_LOCAL_MACHINE, "", &keys);
    return keys;
}

bool AllMachineKeys(std::vector<std::string> *keys)
{
    return CollectKeys(HKEY_LOCAL_MACHINE, "", keys);
}

std::vector<std::string> AllFiles()
{
    std::vector<std::string> files;
    std::string root = win9x::machine::HostPath("C:\\");
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        std::string relative = fs::relative(it->path(), root, ec).string();
        std::replace(relative.begin(), relative.end(), '/', '\\');
        files.push_back("C:\\" + relative);
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool RenameEntries(std::vector<std::string> *entries)
{
    // A section that does not fit comes back cut, its count the buffer size
    // minus 2, and its last entry may be part of a line: the buffer grows
    // until the section fits, so that every entry was read whole. Past a
    // gigabyte the section counts as unreadable, its last entry left out.
    constexpr size_t kLargest = size_t{1} << 30;
    std::vector<char> section(65536);
    DWORD count = 0;
    bool cut = false;
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        count = GetPrivateProfileSectionA("rename", section.data(), static_cast<DWORD>(section.size()),
                                          "wininit.ini");
        if (count + 2 < section.size() || (cut = section.size() >= kLargest))
            break;
        section.resize(section.size() * 2);
    }
    // No file and no section both read as nothing to do; any other error
    // is a section that could not be read.
    DWORD error = GetLastError();
    bool failed = count == 0 && error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND;
    for (DWORD pos = 0; pos < count && section[pos];) {
        std::string entry(&section[pos]);
        entries->push_back(entry);
        pos += static_cast<DWORD>(entry.size() + 1);
    }
    if (cut && !entries->empty())
        entries->pop_back();
    return !cut && !failed;
}

std::vector<std::string> RenameEntries()
{
    std::vector<std::string> entries;
    RenameEntries(&entries);
    return entries;
}

std::vector<std::string> Added(const std::vector<std::string> &before, const std::vector<std::string> &after)
{
    std::multiset<std::string> old(before.begin(), before.end());
    std::vector<std::string> added;
    for (const auto &entry : after) {
        auto found = old.find(entry);
        if (found != old.end())
            old.erase(found);
        else
            added.push_back(entry);
    }
    return added;
}

std::vector<std::string> RemovedKeys(const std::vector<std::string> &before, const std::vector<std::string> &after)
{
    std::set<std::string> kept(after.begin(), after.end());
    std::vector<std::string> removed;
    for (const auto &key : before) {
        if (kept.count(key))
            continue;
        bool underRemoved = !removed.empty() && key.rfind(removed.back() + "\\", 0) == 0;
        if (!underRemoved)
            removed.push_back(key);
    }
    return removed;
}

}  // namespace ovlsim
