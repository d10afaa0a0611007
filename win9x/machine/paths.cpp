// Mapping Windows paths onto drive_c.
#include "machine/paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "machine/machine.h"
#include "machine/text.h"

namespace win9x::layer {

namespace {

bool IsBadNameCharacter(char c)
{
    return static_cast<unsigned char>(c) < 32 || std::strchr("<>\"|?*", c) != nullptr;
}

// The entry of `dir` whose name equals `name` without regard to case.
std::optional<std::string> FindEntry(const std::string &dir, const std::string &name)
{
    DIR *d = opendir(dir.c_str());
    if (!d)
        return std::nullopt;
    std::optional<std::string> found;
    while (dirent *entry = readdir(d)) {
        if (EqualsIgnoreCase(entry->d_name, name)) {
            found = entry->d_name;
            if (name == entry->d_name)
                break;  // an exact match wins over another casing
        }
    }
    closedir(d);
    return found;
}

// Splits the path into components below C:\, resolving . and ..
bool SplitComponents(std::string_view path, std::vector<std::string> *parts, DWORD *error)
{
    std::string text(path);
    for (char &c : text) {
        if (c == '/')
            c = '\\';
    }
    std::string_view rest(text);
    if (rest.size() >= 2 && rest[1] == ':') {
        if (rest[0] != 'C' && rest[0] != 'c') {
            *error = ERROR_PATH_NOT_FOUND;
            return false;
        }
        rest.remove_prefix(2);
        if (rest.empty() || rest[0] != '\\') {
            // "C:name" is relative to the current directory of drive C:.
            *parts = {"WINDOWS"};
        }
    } else if (rest.size() >= 2 && rest[0] == '\\' && rest[1] == '\\') {
        *error = ERROR_PATH_NOT_FOUND;  // network paths lead nowhere here
        return false;
    } else if (rest.empty() || rest[0] != '\\') {
        *parts = {"WINDOWS"};  // the current directory is C:\WINDOWS
    }
    while (!rest.empty()) {
        size_t cut = rest.find('\\');
        std::string part(rest.substr(0, cut));
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts->empty())
                parts->pop_back();
            continue;
        }
        for (char c : part) {
            if (IsBadNameCharacter(c) || c == ':') {
                *error = ERROR_INVALID_NAME;
                return false;
            }
        }
        parts->push_back(part);
    }
    return true;
}

}  // namespace

std::optional<MappedPath> MapPath(std::string_view windowsPath, DWORD *error)
{
    DWORD ignored = 0;
    if (!error)
        error = &ignored;
    auto m = CurrentMachine();
    if (!m) {
        *error = ERROR_PATH_NOT_FOUND;
        return std::nullopt;
    }
    std::vector<std::string> parts;
    if (!SplitComponents(windowsPath, &parts, error))
        return std::nullopt;
    MappedPath mapped;
    mapped.windows = "C:";
    mapped.host = m->driveC;
    bool present = true;
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string name = parts[i];
        if (present) {
            auto found = FindEntry(mapped.host, name);
            if (found)
                name = *found;
            else
                present = false;
        }
        mapped.windows += "\\" + parts[i];
        mapped.host += "/" + name;
        mapped.relative += (mapped.relative.empty() ? "" : "/") + name;
    }
    if (parts.empty())
        mapped.windows += "\\";
    if (mapped.windows.size() >= MAX_PATH) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return std::nullopt;
    }
    struct stat info;
    mapped.exists = stat(mapped.host.c_str(), &info) == 0;
    std::string parent = mapped.host.substr(0, mapped.host.rfind('/'));
    mapped.parentExists = parts.empty() || (stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
    return mapped;
}

}  // namespace win9x::layer

namespace win9x::machine {

std::string HostPath(const std::string &windowsPath)
{
    auto mapped = layer::MapPath(windowsPath, nullptr);
    return mapped ? mapped->host : std::string();
}

}  // namespace win9x::machine
