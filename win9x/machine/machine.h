// What the API families of the layer share: the open machine, the process's
// handle table, fault injection and a few helpers.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "store.h"
#include "win9x/machine.h"

namespace win9x::layer {

// ---- The machine ---------------------------------------------------------

struct Machine {
    std::string dir;     // absolute machine directory
    std::string driveC;  // dir + "/drive_c"
    std::unique_ptr<store::Database> registry;  // registry.db
    std::unique_ptr<store::Database> state;     // machine.db: settings, hardware, processes
    machine::WindowsVersion version = machine::WindowsVersion::Win98;
    uint64_t bootTimeMs = 0;
};

// This process's machine, opened from OVLSIM_MACHINE on first use; null
// when there is none (the caller fails with its own error).
std::shared_ptr<Machine> CurrentMachine();

// Settings in machine.db.
std::string ReadSetting(Machine &m, const char *name, const std::string &fallback);
bool WriteSetting(Machine &m, const char *name, const std::string &value);

// Milliseconds since the Unix epoch, from the wall clock.
uint64_t WallClockMs();

// The Windows version this process sees (its override, else the machine's).
machine::WindowsVersion EffectiveVersion();

// ---- Handles --------------------------------------------------------------

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

// ---- Fault injection -------------------------------------------------------

// True when this allocation is the one armed to fail.
bool AllocationShouldFail();
// The error armed for this call of `api`, or 0.
DWORD InjectedFailure(const char *api);

// ---- Helpers ---------------------------------------------------------------

// Sets the last error and answers `result`: the usual way an API fails.
template <class T>
T Fail(DWORD error, T result)
{
    SetLastError(error);
    return result;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b);
std::string ToLower(std::string_view text);
std::string ToUpper(std::string_view text);

// Copies `text` and its terminator into a caller's buffer of `capacity`
// bytes when it fits; returns false (nothing written) when it does not.
bool CopyText(std::string_view text, char *buffer, size_t capacity);

}  // namespace win9x::layer

namespace win9x::layer {

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
