// Mapping Windows paths onto drive_c.
#include "machine/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "machine/beneath.h"
#include "machine/machine.h"
#include "machine/text.h"

namespace win9x::layer {

namespace {

bool IsBadNameCharacter(char c)
{
    return static_cast<unsigned char>(c) < 32 || std::strchr("<>\"|?*", c) != nullptr;
}

// The entry of the folder `dirFd` whose name equals `name` without regard
// to case.
std::optional<std::string> FindEntry(int dirFd, const std::string &name)
{
    int listFd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *d = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!d) {
        if (listFd >= 0)
            close(listFd);
        return std::nullopt;
    }
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

// Finds the components on drive C: one folder at a time, each opened in
// the one before without following a link, and fills in the host names and
// what exists. False when an existing component is a symbolic link.
bool WalkDrive(const Machine &m, const std::vector<std::string> &parts, MappedPath *mapped)
{
    mapped->host = m.driveC;
    int dirFd = beneath::Open(m.dir, "drive_c", O_PATH | O_DIRECTORY);
    if (dirFd < 0 && errno == ELOOP)
        return false;
    bool linked = false;
    mapped->folder = parts.empty() && dirFd >= 0;
    mapped->exists = mapped->folder;
    mapped->parentExists = parts.empty();
    for (size_t i = 0; i < parts.size(); ++i) {
        bool last = i + 1 == parts.size();
        if (last)
            mapped->parentExists = dirFd >= 0;
        std::string name = parts[i];
        auto found = dirFd >= 0 ? FindEntry(dirFd, name) : std::nullopt;
        struct stat info {};
        if (found && fstatat(dirFd, found->c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            found.reset();
        if (found) {
            name = *found;
            linked = S_ISLNK(info.st_mode);
        }
        mapped->host += "/" + name;
        mapped->relative += (mapped->relative.empty() ? "" : "/") + name;
        int next = -1;
        if (found && !linked && !last && S_ISDIR(info.st_mode))
            next = openat(dirFd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (found && !linked && last) {
            mapped->exists = true;
            mapped->folder = S_ISDIR(info.st_mode);
        }
        if (dirFd >= 0)
            close(dirFd);
        dirFd = next;
        if (linked)
            break;
    }
    if (dirFd >= 0)
        close(dirFd);
    return !linked;
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
    for (const auto &part : parts)
        mapped.windows += "\\" + part;
    if (parts.empty())
        mapped.windows += "\\";
    if (mapped.windows.size() >= MAX_PATH) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return std::nullopt;
    }
    if (!WalkDrive(*m, parts, &mapped)) {
        *error = kLinkError;
        return std::nullopt;
    }
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
