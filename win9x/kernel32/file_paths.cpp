// The path and error helpers that the file APIs share.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "kernel32/files.h"

namespace win9x::layer {

std::optional<MappedPath> MapFilePath(const char *path, DWORD *error)
{
    if (!path) {
        *error = ERROR_INVALID_PARAMETER;
        return std::nullopt;
    }
    if (!*path) {
        *error = ERROR_PATH_NOT_FOUND;
        return std::nullopt;
    }
    auto mapped = MapPath(path, error);
    if (!mapped)
        return std::nullopt;
    // "C:\WINDOWS\WIN.INI\" names a folder: a file there is not found.
    char last = path[std::strlen(path) - 1];
    if ((last == '\\' || last == '/') && mapped->exists && !mapped->folder) {
        *error = ERROR_PATH_NOT_FOUND;
        return std::nullopt;
    }
    return mapped;
}

DWORD MissingPathError(const MappedPath &path)
{
    return path.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD ErrorFromErrno(int error, const MappedPath *path)
{
    switch (error) {
    case ENOENT: return path ? MissingPathError(*path) : ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ELOOP:
    case EXDEV: return kLinkError;  // a link met on the way, or a way out of the machine
    default: return ERROR_GEN_FAILURE;
    }
}

bool IsHostFolder(const std::string &hostPath)
{
    struct stat info;
    return lstat(hostPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace win9x::layer
