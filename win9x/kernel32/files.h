// Files on drive C: as the layer keeps them: the attributes that the host
// cannot hold (stored in machine.db), and the file work that the machine
// tool does outside any Windows API (restart-time renames, forced deletes,
// bringing host files onto the machine).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "layer.h"
#include "paths.h"

namespace win9x::layer {

// The attributes a file can carry besides FILE_ATTRIBUTE_DIRECTORY.
inline constexpr DWORD kStoredAttributeMask =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// What a file with no stored entry carries: a file written by Windows is
// marked for backup.
inline constexpr DWORD kDefaultFileAttributes = FILE_ATTRIBUTE_ARCHIVE;

// ---- The attribute table ----------------------------------------------------
// Keyed by the path relative to drive_c, without regard to case. Callers
// that check and then change a file hold a write transaction on the
// machine's state database around both, so that the check still holds when
// the change is made.

// The stored attributes of `relative` (kStoredAttributeMask bits), or
// `fallback` when it has no entry (a folder's is 0); nullopt when the table
// cannot be read.
std::optional<DWORD> StoredAttributes(Machine &m, const std::string &relative, DWORD fallback = kDefaultFileAttributes);
// Stores the attributes of `relative`; storing `fallback` removes the entry.
bool StoreAttributes(Machine &m, const std::string &relative, DWORD attributes,
                     DWORD fallback = kDefaultFileAttributes);
// Removes the entry of `relative` (the file is gone).
bool ForgetAttributes(Machine &m, const std::string &relative);

// ---- Helpers of the file APIs ------------------------------------------------

// Maps the path of a plain file or folder on drive C:. A null path is
// ERROR_INVALID_PARAMETER, an empty one ERROR_PATH_NOT_FOUND.
std::optional<MappedPath> MapFilePath(const char *path, DWORD *error);
// The error for a path that does not exist: the file, or a folder on the way.
DWORD MissingPathError(const MappedPath &path);
// The Windows error for a failed host call's errno.
DWORD ErrorFromErrno(int error, const MappedPath *path);
// True when the host path is a folder.
bool IsHostFolder(const std::string &hostPath);

// An exclusive lock on the file `name` in the machine's locks/ folder, held
// while the object lives (and released by the system when the process
// dies). Threads of one process exclude each other too, each taking the
// lock through its own open file description.
class MachineLock {
public:
    MachineLock(const Machine &m, const char *name);
    ~MachineLock();
    MachineLock(const MachineLock &) = delete;
    MachineLock &operator=(const MachineLock &) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The machine's locks/ folder (created when missing).
std::string LockFolder(const Machine &m);

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

// Writes `size` bytes to a new hidden file in the folder of `hostTarget` and
// renames it over `hostTarget`, so that readers see the old file or the new
// one, never a part. The mode bits are `mode`. Returns 0 or an errno.
int ReplaceHostFile(const std::string &hostTarget, const void *data, size_t size, unsigned mode);

}  // namespace win9x::layer
