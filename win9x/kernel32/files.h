// What the file APIs share: mapping a caller's path and turning host errors
// into Windows errors, and the file work that the machine tool does outside
// any Windows API (restart-time renames, forced deletes, bringing host files
// onto the machine).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "machine/drive.h"
#include "machine/paths.h"

namespace win9x::layer {

// ---- Helpers of the file APIs ------------------------------------------------

// Maps the path of a plain file or folder on drive C:. A null path is
// ERROR_INVALID_PARAMETER, an empty one ERROR_PATH_NOT_FOUND.
std::optional<MappedPath> MapFilePath(const char *path, DWORD *error);
// The error for a path that does not exist: the file, or a folder on the way.
DWORD MissingPathError(const MappedPath &path);
// The Windows error for a failed host call's errno.
DWORD ErrorFromErrno(int error, const MappedPath *path);
// True when the host path is a folder (a link is none).
bool IsHostFolder(const std::string &hostPath);

// ---- File work of the machine tool ------------------------------------------
// Each returns ERROR_SUCCESS or the Windows error of the failure.

// Moves `source` over `target` (replacing a file there, whatever its
// attributes), as Windows does at its next start for an entry of the rename
// section. The attributes travel with the file.
DWORD MoveFileOver(std::string_view source, std::string_view target);
// Deletes a file whatever its attributes; a missing file is an error.
DWORD DeleteFileForce(std::string_view path);
// Copies a host file onto drive C: (creating missing folders on the way),
// replacing a file there whatever its attributes; the copy gets
// `attributes`.
DWORD CopyHostFile(const std::string &hostSource, std::string_view target, DWORD attributes = kDefaultFileAttributes);

// Writes `size` bytes to a new hidden file in the folder of `target` and
// renames it over `target`, so that readers see the old file or the new
// one, never a part. The mode bits are `mode`. Returns 0 or an errno.
int ReplaceMachineFile(const Machine &m, const MappedPath &target, const void *data, size_t size, unsigned mode);

}  // namespace win9x::layer
