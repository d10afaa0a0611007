/*
 * The port list: one node per port that discovery found, in order of
 * discovery, guarded by the port-list lock. Port handles never point into
 * it, so it may be emptied and rebuilt while ports are open.
 */
#include <string.h>

#include "monitor.h"

PPORT_NODE PortList = NULL;
DWORD RebuildTime = 0;
extern const CHAR ReportedMonitorName[] = "";

/* Compares two port names ignoring the case of the ASCII letters only, so
 * that the answer does not depend on the system's code page. */
BOOL EqualPortNames(LPCSTR a, LPCSTR b)
{
    for (;; a++, b++) {
        CHAR ca = (*a >= 'A' && *a <= 'Z') ? (CHAR)(*a - 'A' + 'a') : *a;
        CHAR cb = (*b >= 'A' && *b <= 'Z') ? (CHAR)(*b - 'A' + 'a') : *b;
        if (ca != cb)
            return FALSE;
        if (ca == '\0')
            return TRUE;
    }
}

/* Appends a new node for a port at the tail of the list. The node and its
 * name are one zero-filled allocation; a description or device path that
 * cannot be copied leaves its pointer null. Takes the port-list lock, so
 * that it may also be called from outside a discovery. */
PPORT_NODE AddPortNode(LPCSTR name, LPCSTR description, LPCSTR devicePath, DWORD enabled)
{
    if (name == NULL)
        return NULL;
    DWORD nameSize = (DWORD)lstrlenA(name) + 1;
    DWORD size = (DWORD)sizeof(PORT_NODE) + nameSize;

    EnterCriticalSection(&PortListLock);
    PPORT_NODE node = (PPORT_NODE)LocalAlloc(LPTR, size);
    if (node == NULL) {
        LeaveCriticalSection(&PortListLock);
        return NULL;
    }
    node->Signature = PORT_NODE_SIGNATURE;
    node->Size = size;
    node->Next = NULL;
    node->Name = (LPSTR)(node + 1);
    memcpy(node->Name, name, nameSize);
    node->Enabled = enabled;
    node->Description = CopyText(description);
    node->DevicePath = CopyText(devicePath);

    PPORT_NODE *link = &PortList;
    while (*link != NULL)
        link = &(*link)->Next;
    *link = node;
    LeaveCriticalSection(&PortListLock);
    return node;
}

/* Refreshes a node from a later interface of the same name: its enabled
 * value, and its device path when one is given. A copy that cannot be made
 * leaves the node without a device path rather than with a stale one, so
 * the port cannot be opened until the next discovery. */
void UpdatePortNode(PPORT_NODE node, LPCSTR devicePath, DWORD enabled)
{
    node->Enabled = enabled;
    if (devicePath != NULL) {
        LPSTR copy = CopyText(devicePath);
        FreeText(node->DevicePath);
        node->DevicePath = copy;
    }
}

/* Returns the first enabled node of the name, or null. Disabled ports stay
 * listed but cannot be found by name. */
PPORT_NODE FindPortNode(LPCSTR name)
{
    if (name == NULL)
        return NULL;
    for (PPORT_NODE node = PortList; node != NULL; node = node->Next) {
        if (node->Enabled != 0 && EqualPortNames(node->Name, name))
            return node;
    }
    return NULL;
}

/* Releases every node with its texts and leaves the list empty. */
void FreePortList(void)
{
    PPORT_NODE node = PortList;
    while (node != NULL) {
        PPORT_NODE next = node->Next;
        FreeText(node->Description);
        FreeText(node->DevicePath);
        LocalFree(node);
        node = next;
    }
    PortList = NULL;
}

/* Empties and rediscovers the list when the last throttled rebuild is more
 * than PORT_LIST_REBUILD_INTERVAL ms old. The unsigned difference stays
 * right across the wrap of the tick count. */
void RebuildPortListIfDue(void)
{
    DWORD now = GetTickCount();
    if ((DWORD)(now - RebuildTime) > PORT_LIST_REBUILD_INTERVAL) {
        RebuildTime = now;
        FreePortList();
        DiscoverPorts();
    }
}

/* Answers whether an enabled port of the name is listed, after rebuilding
 * the list if that is due. */
BOOL IsPortKnown(LPCSTR name)
{
    EnterCriticalSection(&PortListLock);
    RebuildPortListIfDue();
    BOOL known = FindPortNode(name) != NULL;
    LeaveCriticalSection(&PortListLock);
    return known;
}

/* Returns a copy of the device path of the enabled port of the name, owned
 * by the caller, or null when there is no such port or it has no path. */
LPSTR GetPortDevicePath(LPCSTR name)
{
    EnterCriticalSection(&PortListLock);
    PPORT_NODE node = FindPortNode(name);
    LPSTR copy = node != NULL ? CopyText(node->DevicePath) : NULL;
    LeaveCriticalSection(&PortListLock);
    return copy;
}
