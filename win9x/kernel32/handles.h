// The process's kernel handles: what CloseHandle closes, and the objects
// ReadFile, WriteFile and DeviceIoControl work on.
#pragma once

#include <windows.h>

#include <memory>

namespace win9x::layer {

// Base of everything CloseHandle can close. The destructor releases it.
class KernelObject {
public:
    virtual ~KernelObject() = default;
};

HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle)
{
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}
// Unlinks the handle; the object goes when its last user lets it go.
std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle);

// An object WaitForSingleObject waits on: WAIT_OBJECT_0, WAIT_ABANDONED,
// WAIT_TIMEOUT, or WAIT_FAILED with the last error set.
class WaitableObject : public KernelObject {
public:
    virtual DWORD WaitFor(DWORD timeoutMs) = 0;
};

// An object that ReadFile, WriteFile and DeviceIoControl work on: a plain
// file or a device. Failures set the last error and return FALSE.
class IoObject : public KernelObject {
public:
    virtual BOOL Read(void *buffer, DWORD size, DWORD *done) = 0;
    virtual BOOL Write(const void *buffer, DWORD size, DWORD *done) = 0;
    virtual BOOL Control(DWORD code, void *in, DWORD inSize, void *out, DWORD outSize, DWORD *returned)
    {
        (void)code, (void)in, (void)inSize, (void)out, (void)outSize, (void)returned;
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
};

}  // namespace win9x::layer
