/*
 * The monitor's entry: InitializeMonitorEx creates the module-wide locks,
 * builds the port list and fills the spooler's function table.
 */
#include "monitor.h"

CRITICAL_SECTION HandleListLock;
CRITICAL_SECTION PortListLock;
BOOL HandleListLockCreated = FALSE;
BOOL PortListLockCreated = FALSE;

/* Creates the handle-list lock on the first call only. Every printer
 * registers a monitor of its own with this one library, so the spooler calls
 * InitializeMonitorEx once per printer, and a later call must not re-create
 * a lock that another thread may hold. The spooler initialises its monitors
 * one at a time, so the test needs no lock of its own. */
void CreateHandleListLock(void)
{
    if (!HandleListLockCreated) {
        InitializeCriticalSection(&HandleListLock);
        HandleListLockCreated = TRUE;
    }
}

/* Creates the port-list lock on the first call only, as above. */
void CreatePortListLock(void)
{
    if (!PortListLockCreated) {
        InitializeCriticalSection(&PortListLock);
        PortListLockCreated = TRUE;
    }
}

/* Builds the port list afresh from the driver's device interfaces. */
void InitPortList(void)
{
    CreatePortListLock();
    EnterCriticalSection(&PortListLock);
    FreePortList();
    DiscoverPorts();
    LeaveCriticalSection(&PortListLock);
}

/* AddPort and DeletePort: ports come and go with the driver's device
 * interfaces, never through the spooler. */
BOOL WINAPI RefusePortRequest(LPSTR pName, HWND hWnd, LPSTR pText)
{
    (void)pName;
    (void)hWnd;
    (void)pText;
    SetLastError(ERROR_INVALID_PRINTER_COMMAND);
    return FALSE;
}

/* ConfigurePort and SetPortTimeOuts: there is nothing to configure and no
 * time-out is kept, so the request succeeds and changes nothing. */
BOOL WINAPI AcceptPortRequest(LPSTR pName, HWND hWnd, LPSTR pText)
{
    (void)pName;
    (void)hWnd;
    (void)pText;
    return TRUE;
}

/* Stores the monitor's entries in the spooler's table. SetPortTimeOuts
 * shares the acceptance routine: both take three arguments of the same
 * size and it looks at none of them. */
static void FillMonitorTable(LPMONITOR pMonitor)
{
    pMonitor->pfnEnumPorts = EnumPorts;
    pMonitor->pfnOpenPort = OpenPort;
    pMonitor->pfnOpenPortEx = NULL;
    pMonitor->pfnStartDocPort = StartDocPort;
    pMonitor->pfnWritePort = WritePort;
    pMonitor->pfnReadPort = ReadPort;
    pMonitor->pfnEndDocPort = EndDocPort;
    pMonitor->pfnClosePort = ClosePort;
    pMonitor->pfnAddPort = RefusePortRequest;
    pMonitor->pfnConfigurePort = AcceptPortRequest;
    pMonitor->pfnDeletePort = RefusePortRequest;
    pMonitor->pfnGetPrinterDataFromPort = GetPrinterDataFromPort;
    pMonitor->pfnSetPortTimeOuts = (PFN_SET_PORT_TIME_OUTS)(void *)AcceptPortRequest;
}

/* The library's one export, called by the spooler for every monitor that is
 * registered with this library. The registry root is only checked: the
 * ports are configured in the driver's device interface keys. */
extern "C" BOOL WINAPI InitializeMonitorEx(LPSTR pRegistryRoot, LPMONITOR pMonitor)
{
    CreateHandleListLock();
    if (pRegistryRoot == NULL || pRegistryRoot[0] == '\0' || pMonitor == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    InitPortList();
    FillMonitorTable(pMonitor);
    return TRUE;
}

#ifdef _WIN32
/* Loading and unloading need no work: the module-wide state lives until the
 * spooler's process ends. */
extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved)
{
    (void)hinstDLL;
    (void)fdwReason;
    (void)lpvReserved;
    return TRUE;
}
#endif
