// What every library of the layer does when it answers a Win32 call: fail
// with a last error, and honour the faults a test armed for this process.
#pragma once

#include <windows.h>

namespace win9x::layer {

// True when this allocation is the one armed to fail.
bool AllocationShouldFail();
// The error armed for this call of `api`, or 0.
DWORD InjectedFailure(const char *api);

// Sets the last error and answers `result`: the usual way an API fails.
template <class T>
T Fail(DWORD error, T result)
{
    SetLastError(error);
    return result;
}

}  // namespace win9x::layer
