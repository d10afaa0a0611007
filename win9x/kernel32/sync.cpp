// Critical sections (recursive locks within one process; the host lock
// lives behind the record's DebugInfo field) and WaitForSingleObject on
// whatever can be waited on: mutexes and processes.
#include <atomic>
#include <mutex>

#include <windows.h>

#include "kernel32/handles.h"
#include "machine/api.h"

namespace {

// LockCount counts as Windows does: -1 when free, one more for every
// EnterCriticalSection not yet left, whether it holds the lock or waits for
// it. A count above 0 while one thread holds the lock once means another
// thread waits.
std::atomic_ref<LONG> LockCount(LPCRITICAL_SECTION section)
{
    return std::atomic_ref<LONG>(section->LockCount);
}

}  // namespace

extern "C" {

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    *lpCriticalSection = CRITICAL_SECTION{};
    lpCriticalSection->LockCount = -1;
    lpCriticalSection->DebugInfo = new std::recursive_mutex();
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    LockCount(lpCriticalSection).fetch_add(1);
    static_cast<std::recursive_mutex *>(lpCriticalSection->DebugInfo)->lock();
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    LockCount(lpCriticalSection).fetch_sub(1);
    static_cast<std::recursive_mutex *>(lpCriticalSection->DebugInfo)->unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    delete static_cast<std::recursive_mutex *>(lpCriticalSection->DebugInfo);
    lpCriticalSection->DebugInfo = nullptr;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    if (DWORD injected = win9x::layer::InjectedFailure("WaitForSingleObject"))
        return win9x::layer::Fail(injected, WAIT_FAILED);
    auto object = win9x::layer::LookupHandleAs<win9x::layer::WaitableObject>(hHandle);
    if (!object)
        return win9x::layer::Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
    return object->WaitFor(dwMilliseconds);
}

}  // extern "C"
