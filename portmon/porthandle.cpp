/*
 * Port handles: what OpenPort gives the spooler for a port name. All
 * openers of one name share one handle, kept in the handle list (newest
 * first) under the handle-list lock and released with the last ClosePort.
 */
#include "monitor.h"

PPORT_HANDLE PortHandleList = NULL;

/* Returns the handle of the port name (compared as the system compares
 * names, ignoring case), or null. The caller holds the handle-list lock. */
PPORT_HANDLE FindPortHandle(LPCSTR name)
{
    if (name == NULL)
        return NULL;
    for (PPORT_HANDLE handle = PortHandleList; handle != NULL; handle = handle->Next) {
        if (lstrcmpiA(handle->PortName, name) == 0)
            return handle;
    }
    return NULL;
}

/* Answers whether the handle is one that OpenPort gave out and its last
 * ClosePort has not yet released; only the address is compared, so a
 * released record is never read. The caller holds the handle-list lock. */
BOOL IsPortHandle(PPORT_HANDLE handle)
{
    for (PPORT_HANDLE listed = PortHandleList; listed != NULL; listed = listed->Next) {
        if (listed == handle)
            return TRUE;
    }
    return FALSE;
}

/* Returns the handle of the port name with one more opener counted: the
 * existing one, or a new one for an enabled port of the port list, holding
 * copies of the name and of the port's device path. Null when the port is
 * not known or memory runs out. The caller holds the handle-list lock; the
 * port-list lock is taken inside it. */
PPORT_HANDLE CreatePortHandle(LPCSTR name)
{
    if (name == NULL)
        return NULL;
    PPORT_HANDLE handle = FindPortHandle(name);
    if (handle != NULL) {
        handle->OpenCount++;
        return handle;
    }
    if (!IsPortKnown(name))
        return NULL;

    handle = (PPORT_HANDLE)LocalAlloc(LPTR, sizeof(PORT_HANDLE));
    if (handle == NULL)
        return NULL;
    handle->PortName = CopyText(name);
    handle->DevicePath = GetPortDevicePath(name);
    if (handle->PortName == NULL || handle->DevicePath == NULL) {
        FreeText(handle->PortName);
        FreeText(handle->DevicePath);
        LocalFree(handle);
        return NULL;
    }
    handle->Flags = 0;
    handle->Device = INVALID_HANDLE_VALUE;
    handle->OpenCount = 1;
    handle->Next = PortHandleList;
    PortHandleList = handle;
    return handle;
}

/* Takes one opener away from a handle of the list. With the last one the
 * handle is unlinked, a job still open on it is ended (so the device is
 * closed), and its texts and record are released. Returns FALSE when the
 * handle is not in the list. The caller holds the handle-list lock. */
BOOL RemovePortHandle(PPORT_HANDLE handle)
{
    PPORT_HANDLE *link = &PortHandleList;
    while (*link != NULL && *link != handle)
        link = &(*link)->Next;
    if (*link == NULL)
        return FALSE;

    if (--handle->OpenCount > 0)
        return TRUE;
    *link = handle->Next;
    EndPortJob(handle);
    FreeText(handle->PrinterName);
    FreeText(handle->PortName);
    FreeText(handle->DevicePath);
    LocalFree(handle);
    return TRUE;
}

/* The spooler's OpenPort entry: stores the port's handle, or null when the
 * name is not an enabled port. Sets no last error of its own, except for a
 * missing place to store the handle. */
BOOL WINAPI OpenPort(LPSTR pName, PHANDLE pHandle)
{
    if (pHandle == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    EnterCriticalSection(&HandleListLock);
    PPORT_HANDLE handle = CreatePortHandle(pName);
    *pHandle = (HANDLE)handle;
    LeaveCriticalSection(&HandleListLock);
    return handle != NULL;
}

/* The spooler's ClosePort entry: takes one opener away from the handle.
 * Succeeds whether or not the handle is known. */
BOOL WINAPI ClosePort(HANDLE hPort)
{
    EnterCriticalSection(&HandleListLock);
    RemovePortHandle((PPORT_HANDLE)hPort);
    LeaveCriticalSection(&HandleListLock);
    return TRUE;
}
