// Devices opened by path. No device exists yet: every open fails as for a
// device that is not there.
#include "devices.h"

#include "layer.h"

namespace win9x::layer {

bool IsDevicePath(std::string_view path)
{
    return path.size() > 4 && path[0] == '\\' && path[1] == '\\' && (path[2] == '.' || path[2] == '?') &&
           path[3] == '\\';
}

HANDLE OpenDevice(std::string_view path, DWORD access, DWORD share, DWORD disposition)
{
    (void)path, (void)access, (void)share, (void)disposition;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

}  // namespace win9x::layer

extern "C" BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                                       LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                                       LPOVERLAPPED lpOverlapped)
{
    (void)lpOverlapped;
    auto object = win9x::layer::LookupHandleAs<win9x::layer::IoObject>(hDevice);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD returned = 0;
    BOOL ok = object->Control(dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize, &returned);
    if (lpBytesReturned)
        *lpBytesReturned = returned;
    return ok;
}
