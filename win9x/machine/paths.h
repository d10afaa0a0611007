// Windows paths on drive C: and where they lie on the host.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace win9x::layer {

struct MappedPath {
    std::string windows;  // normalised, e.g. C:\WINDOWS\SYSTEM\ovlcin00.exe
    std::string host;     // existing components with their case on disk
    std::string relative; // host path relative to drive_c, '/'-separated
    bool exists = false;  // the whole path exists
    bool folder = false;  // ... and is a folder
    bool parentExists = false;
};

// Maps a Windows path (C:\..., C:/..., a path relative to C:\WINDOWS, or
// \... on drive C:) onto the open machine's drive_c, matching existing
// components without regard to case. On failure returns nullopt and the
// Windows error in *error: ERROR_PATH_NOT_FOUND for another drive or no
// machine, ERROR_INVALID_NAME for a bad character, ERROR_FILENAME_EXCED_RANGE
// for a path of MAX_PATH characters or more, kLinkError when a component
// that exists is a symbolic link on the host.
std::optional<MappedPath> MapPath(std::string_view windowsPath, DWORD *error);

// What a path through a symbolic link fails with. A FAT drive has no links;
// the name is there but cannot be used, and Windows answers a name it cannot
// use as asked (a folder opened as a file, a file in use) with access
// denied. "Not found" would invite the caller to create the name, which
// fails as well.
inline constexpr DWORD kLinkError = ERROR_ACCESS_DENIED;

// The path of a file on drive C: relative to the machine folder.
inline std::string InMachine(const MappedPath &path)
{
    return path.relative.empty() ? "drive_c" : "drive_c/" + path.relative;
}

inline constexpr const char *kWindowsDirectory = "C:\\WINDOWS";
inline constexpr const char *kSystemDirectory = "C:\\WINDOWS\\SYSTEM";

}  // namespace win9x::layer
