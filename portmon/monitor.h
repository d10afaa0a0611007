/*
 * ovlpom00, the port monitor of the Sorrelink USB printers: its records,
 * module-wide state and internal operations, shared by the monitor's files
 * and by the tests that link against the same objects.
 */
#ifndef OVLPOM00_MONITOR_H
#define OVLPOM00_MONITOR_H

#include <windows.h>
#include <winspool.h>
#include <setupapi.h>
#include <stddef.h>

/* The Windows headers map EnumPorts to the spooler's own EnumPortsA; the
 * name stands for the monitor's entry here. */
#ifdef EnumPorts
#undef EnumPorts
#endif

#include "monitor9x.h"

/* ---- Port list ---------------------------------------------------------- */

#define PORT_NODE_SIGNATURE 0x4F50
#define PORT_LIST_REBUILD_INTERVAL 10000 /* ms between throttled rebuilds */

/* One port of the port list. The node and its name are one zero-filled
 * allocation of sizeof(PORT_NODE) + name length + 1 bytes, the name lying
 * right after the fields; the description and the device path are separate
 * allocations that the node owns. */
typedef struct _PORT_NODE {
    DWORD Signature;           /* PORT_NODE_SIGNATURE */
    DWORD Size;                /* bytes of the node's allocation */
    struct _PORT_NODE *Next;   /* next node, in order of discovery */
    LPSTR Name;                /* the port name, inside the node */
    LPSTR Description;         /* copy of the reported monitor name, or null */
    DWORD Enabled;             /* 0: listed, but not found by name */
    LPSTR DevicePath;          /* copy of the interface's device path, or null */
} PORT_NODE, *PPORT_NODE;

/* ---- Port handles --------------------------------------------------------- */

#define PORT_HANDLE_BUSY 0x00000001 /* a job is open on the handle */

/* What OpenPort hands to the spooler. All openers of one port name share
 * one handle; OpenCount counts them, and the handle is released with the
 * last ClosePort. */
typedef struct _PORT_HANDLE {
    struct _PORT_HANDLE *Next; /* next handle, newest first */
    LPSTR PrinterName;         /* copy of the job's printer name while a job is open */
    LPSTR PortName;            /* copy of the name given to OpenPort */
    LPSTR DevicePath;          /* copy of the port's device path */
    DWORD Flags;               /* PORT_HANDLE_BUSY */
    HANDLE Device;             /* the printer's device while a job is open */
    DWORD OpenCount;           /* successful OpenPort calls not yet closed */
} PORT_HANDLE, *PPORT_HANDLE;

/* ---- Port records written by EnumPorts --------------------------------- */

#define PORT_INFO_OFFSETS_END ((DWORD)-1) /* ends a table of text offsets */

/* ---- Record layouts on the shipping target (32-bit Windows) ------------ */

static_assert(sizeof(MONITOR) == 13 * sizeof(PFN_SET_PORT_TIME_OUTS), "MONITOR holds thirteen entries");
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(MONITOR) == 52, "Windows 9x MONITOR record");
static_assert(sizeof(PORT_NODE) == 28, "port node fields");
static_assert(sizeof(PORT_INFO_1) == 4, "PORT_INFO_1");
static_assert(sizeof(PORT_INFO_2) == 20, "PORT_INFO_2");
static_assert(offsetof(PORT_INFO_2, pMonitorName) == 4 && offsetof(PORT_INFO_2, pDescription) == 8,
              "PORT_INFO_2 text offsets");
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "SP_DEVICE_INTERFACE_DATA");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5, "SP_DEVICE_INTERFACE_DETAIL_DATA_A");
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA");
#endif

/* ---- Module-wide state ---------------------------------------------------- */

extern CRITICAL_SECTION HandleListLock; /* guards PortHandleList, open counts and job state */
extern CRITICAL_SECTION PortListLock;   /* guards PortList and RebuildTime */
extern BOOL HandleListLockCreated;      /* set once, when the handle-list lock is created */
extern BOOL PortListLockCreated;        /* set once, when the port-list lock is created */
extern PPORT_HANDLE PortHandleList;     /* head of the handle list */
extern PPORT_NODE PortList;             /* head of the port list */
extern DWORD RebuildTime;               /* tick count of the last throttled rebuild */
extern const CHAR ReportedMonitorName[]; /* always the empty text */

/* ---- Entry and table (monitor.cpp) -------------------------------------- */

extern "C" BOOL WINAPI InitializeMonitorEx(LPSTR pRegistryRoot, LPMONITOR pMonitor);
void CreateHandleListLock(void);
void CreatePortListLock(void);
void InitPortList(void);
BOOL WINAPI RefusePortRequest(LPSTR pName, HWND hWnd, LPSTR pText);
BOOL WINAPI AcceptPortRequest(LPSTR pName, HWND hWnd, LPSTR pText);

/* ---- Texts (textcopy.cpp) ------------------------------------------------- */

LPSTR CopyText(LPCSTR text);
void FreeText(LPSTR text);

/* ---- Discovery and the port list (portlist.cpp, discovery.cpp) ---------- */

void DiscoverPorts(void);
void DiscoverInterface(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA iface);
PSP_DEVICE_INTERFACE_DETAIL_DATA_A GetInterfaceDetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA iface);
HKEY OpenInterfaceKey(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA iface);
BOOL ReadPortKey(HKEY key, LPSTR name, LPDWORD enabled);
BOOL ReadKeyText(HKEY key, LPCSTR valueName, LPSTR buffer, DWORD size);
BOOL StorePortName(HKEY key, LPCSTR name);
BOOL ComposePortName(LPSTR name, LPCSTR product, LPCSTR serial);
BOOL EqualPortNames(LPCSTR a, LPCSTR b);
PPORT_NODE AddPortNode(LPCSTR name, LPCSTR description, LPCSTR devicePath, DWORD enabled);
void UpdatePortNode(PPORT_NODE node, LPCSTR devicePath, DWORD enabled);
PPORT_NODE FindPortNode(LPCSTR name);
void FreePortList(void);
void RebuildPortListIfDue(void);
BOOL IsPortKnown(LPCSTR name);
LPSTR GetPortDevicePath(LPCSTR name);

/* ---- Port enumeration (enumports.cpp) ------------------------------------ */

BOOL WINAPI EnumPorts(LPSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned);
DWORD GetPortInfoSize(PPORT_NODE node, DWORD level);
LPBYTE WritePortInfo(PPORT_NODE node, DWORD level, LPBYTE record, LPBYTE end);
LPBYTE PackStrings(LPCSTR *texts, LPBYTE record, const DWORD *offsets, LPBYTE end);

/* ---- Port handles (porthandle.cpp) ---------------------------------------- */

BOOL WINAPI OpenPort(LPSTR pName, PHANDLE pHandle);
BOOL WINAPI ClosePort(HANDLE hPort);
BOOL IsPortHandle(PPORT_HANDLE handle);
PPORT_HANDLE FindPortHandle(LPCSTR name);
PPORT_HANDLE CreatePortHandle(LPCSTR name);
BOOL RemovePortHandle(PPORT_HANDLE handle);

/* ---- Jobs and data (portio.cpp) -------------------------------------------- */

BOOL WINAPI StartDocPort(HANDLE hPort, LPSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo);
BOOL WINAPI EndDocPort(HANDLE hPort);
BOOL WINAPI WritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
BOOL WINAPI ReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);
BOOL WINAPI GetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPSTR pValueName, LPSTR lpInBuffer,
                                   DWORD cbInBuffer, LPSTR lpOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbReturned);
BOOL StartPortJob(PPORT_HANDLE handle, LPCSTR printerName);
void EndPortJob(PPORT_HANDLE handle);
BOOL OpenPortDevice(PPORT_HANDLE handle);
DWORD QueryPortStatus(HANDLE device);
BOOL IsWindowsMe(void);

#endif
