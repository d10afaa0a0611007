// Registry values written by tests below HKEY_LOCAL_MACHINE, keys created
// on the way.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace ovltest {

// Creates the key (and its parents) below HKEY_LOCAL_MACHINE.
inline void CreateKey(const std::string &path)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key)) << path;
    RegCloseKey(key);
}

// Writes raw value bytes of a type, creating the key.
inline void SetValue(const std::string &path, const std::string &name, DWORD type, const void *data, DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key)) << path;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE *>(data), size));
    RegCloseKey(key);
}

// Writes a REG_SZ value with its terminator, creating the key.
inline void SetText(const std::string &path, const std::string &name, const std::string &text)
{
    SetValue(path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

}  // namespace ovltest
