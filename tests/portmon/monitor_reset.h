// Bringing the port monitor's module-wide state back to its start between
// tests and benchmarks that run in one process.
#pragma once

#include "monitor.h"

// Releases every port handle (ending its job) and the port list through the
// monitor's own operations, and sets the rebuild time back to 0. The locks,
// once created, stay: the monitor never deletes them.
inline void ResetMonitor()
{
    if (HandleListLockCreated) {
        EnterCriticalSection(&HandleListLock);
        while (PortHandleList != NULL) {
            PortHandleList->OpenCount = 1;
            RemovePortHandle(PortHandleList);
        }
        LeaveCriticalSection(&HandleListLock);
    }
    if (PortListLockCreated) {
        EnterCriticalSection(&PortListLock);
        FreePortList();
        RebuildTime = 0;
        LeaveCriticalSection(&PortListLock);
    }
    RebuildTime = 0;
}
