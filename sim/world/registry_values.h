// Reading and writing the text and number values ovlsim puts in a machine's
// registry on the outside world's behalf.
#pragma once

#include <windows.h>

#include <string>

namespace ovlsim {

// The text value of an open key, or "" when it cannot be read.
std::string ReadKeyText(HKEY key, const char *name);
bool WriteKeyText(HKEY key, const char *name, const std::string &text);
bool WriteKeyNumber(HKEY key, const char *name, DWORD number);

// A key another process deleted while it was being listed: the registry
// changing under the reader, not failing.
inline bool KeyVanished(LONG result)
{
    return result == ERROR_FILE_NOT_FOUND || result == ERROR_KEY_DELETED;
}

}  // namespace ovlsim
