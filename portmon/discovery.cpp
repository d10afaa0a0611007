/*
 * Device discovery: walks the USB printer driver's device interfaces and
 * merges one port per interface into the port list. The caller holds the
 * port-list lock.
 */
#include <string.h>

#include "ovlcommon.h"
#include "monitor.h"

/* Returns the interface's detail record (with its device path) in a new
 * allocation that the caller releases with LocalFree, or null when the
 * interface is to be skipped: the size answer is too small for the record,
 * memory runs out, the second call fails, or the path that it returns is not
 * terminated inside the allocation. */
PSP_DEVICE_INTERFACE_DETAIL_DATA_A GetInterfaceDetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA iface)
{
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailA(set, iface, NULL, 0, &needed, NULL);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return NULL;

    PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail = (PSP_DEVICE_INTERFACE_DETAIL_DATA_A)LocalAlloc(LPTR, needed);
    if (detail == NULL)
        return NULL;
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    const BYTE *path = (const BYTE *)detail + offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    SIZE_T pathRoom = needed - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    if (!SetupDiGetDeviceInterfaceDetailA(set, iface, detail, needed, NULL, NULL) ||
        memchr(path, '\0', pathRoom) == NULL) {
        LocalFree(detail);
        return NULL;
    }
    return detail;
}

/* Opens the interface's device interface key, creating it when it cannot be
 * opened; null when there is neither. */
HKEY OpenInterfaceKey(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA iface)
{
    HKEY key = SetupDiOpenDeviceInterfaceRegKey(set, iface, 0, KEY_ALL_ACCESS);
    if (key == NULL || key == (HKEY)INVALID_HANDLE_VALUE)
        key = SetupDiCreateDeviceInterfaceRegKeyA(set, iface, 0, KEY_ALL_ACCESS, NULL, NULL);
    if (key == NULL || key == (HKEY)INVALID_HANDLE_VALUE)
        return NULL;
    return key;
}

/* Names one interface's port from its key and merges it into the list: an
 * enabled node of the same name takes the interface's device path and
 * enabled value, otherwise the port gets a node of its own. An interface
 * without a key gets the default name and counts as enabled. */
void DiscoverInterface(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA iface)
{
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail = GetInterfaceDetail(set, iface);
    if (detail == NULL)
        return;

    CHAR name[OVL_PORT_NAME_BUFFER];
    DWORD enabled = 1;
    BOOL listed = TRUE;
    HKEY key = OpenInterfaceKey(set, iface);
    if (key != NULL) {
        listed = ReadPortKey(key, name, &enabled);
        RegCloseKey(key);
    } else {
        lstrcpyA(name, OVL_PORT_PREFIX OVL_PORT_DEFAULT_TAIL);
    }

    if (listed) {
        PPORT_NODE node = FindPortNode(name);
        if (node != NULL)
            UpdatePortNode(node, detail->DevicePath, enabled);
        else
            AddPortNode(name, ReportedMonitorName, detail->DevicePath, enabled);
    }
    LocalFree(detail);
}

/* Walks every device interface of the driver's class, present or not, so
 * that the ports of unplugged printers stay listed. The list is not emptied
 * first: a rebuild empties it before, the Windows Me merge at the start of a
 * job does not. Discovery reports nothing, so the caller's last error is
 * put back afterwards: the walk's own (ERROR_NO_MORE_ITEMS at its end, or
 * that of a missing value) must not reach the spooler as the answer of an
 * entry that sets none of its own. */
void DiscoverPorts(void)
{
    DWORD callerError = GetLastError();
    HDEVINFO set = SetupDiGetClassDevsA(&OVL_INTERFACE_CLASS_GUID, NULL, NULL, DIGCF_DEVICEINTERFACE);
    if (set != NULL && set != INVALID_HANDLE_VALUE) {
        for (DWORD index = 0;; index++) {
            SP_DEVICE_INTERFACE_DATA iface;
            ZeroMemory(&iface, sizeof(iface));
            iface.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
            if (!SetupDiEnumDeviceInterfaces(set, NULL, &OVL_INTERFACE_CLASS_GUID, index, &iface))
                break;
            DiscoverInterface(set, &iface);
        }
        SetupDiDestroyDeviceInfoList(set);
    }
    SetLastError(callerError);
}
