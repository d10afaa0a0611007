// Devices opened by path: \\.\name and \\?\name.
#pragma once

#include <windows.h>

#include <string_view>

namespace win9x::layer {

// True for \\.\... and \\?\... paths, which CreateFileA hands to OpenDevice.
bool IsDevicePath(std::string_view path);

// Opens a device; INVALID_HANDLE_VALUE with the last error set on failure.
HANDLE OpenDevice(std::string_view path, DWORD access, DWORD share, DWORD disposition);

}  // namespace win9x::layer
