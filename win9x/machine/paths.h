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
    bool parentExists = false;
};

// Maps a Windows path (C:\..., C:/..., a path relative to C:\WINDOWS, or
// \... on drive C:) onto the open machine's drive_c, matching existing
// components without regard to case. On failure returns nullopt and the
// Windows error in *error: ERROR_PATH_NOT_FOUND for another drive or no
// machine, ERROR_INVALID_NAME for a bad character, ERROR_FILENAME_EXCED_RANGE
// for a path of MAX_PATH characters or more.
std::optional<MappedPath> MapPath(std::string_view windowsPath, DWORD *error);

inline constexpr const char *kWindowsDirectory = "C:\\WINDOWS";
inline constexpr const char *kSystemDirectory = "C:\\WINDOWS\\SYSTEM";

}  // namespace win9x::layer
