// Host file work confined to a machine folder. A machine folder is copied,
// shared and unpacked, so it may hold symbolic links; Windows 9x's FAT
// drives have none. Every path here is resolved beneath the machine folder
// without following a single link, the last component included: a link met
// anywhere fails with ELOOP, and nothing outside the folder is ever touched.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace win9x::layer::beneath {

// Opens `relative` (a '/'-separated path inside `root`) with open(2)'s
// flags; the descriptor, or -1 with errno (ELOOP when a link lies on the
// way or is the file itself, EXDEV when the path would leave `root`).
int Open(const std::string &root, const std::string &relative, int flags, mode_t mode = 0644);

// The calls below return 0 or an errno; a link as the last component gives
// ELOOP too, though removing or renaming it would not follow it.
int Unlink(const std::string &root, const std::string &relative);
int Rename(const std::string &root, const std::string &from, const std::string &to);
// A second name `to` for the file `from`; EEXIST when `to` exists.
int Link(const std::string &root, const std::string &from, const std::string &to);
// Creates the folder `relative` and the folders above it that are missing.
int MakeFolders(const std::string &root, const std::string &relative);
// The status of `relative` itself (a link is ELOOP).
int Status(const std::string &root, const std::string &relative, struct stat *info);

// The first symbolic link found anywhere beneath `root` ('/'-separated,
// relative to it), or "" when there is none.
std::string FindLink(const std::string &root);

}  // namespace win9x::layer::beneath
