// Drive C: as the machine keeps it: the attributes of files, which the host
// cannot hold, and the machine-wide locks that serialise changes of several
// processes.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "machine/machine.h"

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

// The machine's locks/ folder relative to the machine folder (created when
// missing); files in it are opened with beneath::Open.
std::string LockFolder(const Machine &m);

}  // namespace win9x::layer
