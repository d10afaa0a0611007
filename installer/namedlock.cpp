/*
 * Named locks shared by agents running at once: a named mutex per thing
 * they take turns on (the rename section, the purge, the RunOnce value).
 */
#include <windows.h>

#include "agent.h"

/* Waits up to wait ms for the named lock; NULL when it cannot be had in
 * time. An owner that ended without releasing it leaves it to us. */
HANDLE TakeNamedLock(LPCSTR name, DWORD wait)
{
    HANDLE mutex = CreateMutexA(NULL, FALSE, name);
    DWORD result;
    if (mutex == NULL)
        return NULL;
    result = WaitForSingleObject(mutex, wait);
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return NULL;
    }
    return mutex;
}

/* Releases a lock that TakeNamedLock gave; NULL (none was had) is passed
 * over. */
void ReleaseNamedLock(HANDLE lock)
{
    if (lock == NULL)
        return;
    ReleaseMutex(lock);
    CloseHandle(lock);
}
