/*
 * The Windows 9x spooler's port-monitor interface: the MONITOR function
 * table that InitializeMonitorEx fills. The port monitor fills it; a
 * spooler (on the host, ovlsim) calls through it.
 */
#ifndef OVLPOM00_MONITOR9X_H
#define OVLPOM00_MONITOR9X_H

#include <windows.h>

typedef BOOL(WINAPI *PFN_SET_PORT_TIME_OUTS)(HANDLE hPort, LPVOID lpCTO, DWORD reserved);

/* The Windows 9x spooler's MONITOR record: thirteen entries, without the
 * AddPortEx entry of the larger Windows NT record, so every entry after
 * pfnAddPort sits one place earlier than there. */
typedef struct _MONITOR {
    BOOL(WINAPI *pfnEnumPorts)(LPSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                               LPDWORD pcReturned);
    BOOL(WINAPI *pfnOpenPort)(LPSTR pName, PHANDLE pHandle);
    BOOL(WINAPI *pfnOpenPortEx)(LPSTR pPortName, LPSTR pPrinterName, PHANDLE pHandle, struct _MONITOR *pMonitor);
    BOOL(WINAPI *pfnStartDocPort)(HANDLE hPort, LPSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo);
    BOOL(WINAPI *pfnWritePort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
    BOOL(WINAPI *pfnReadPort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);
    BOOL(WINAPI *pfnEndDocPort)(HANDLE hPort);
    BOOL(WINAPI *pfnClosePort)(HANDLE hPort);
    BOOL(WINAPI *pfnAddPort)(LPSTR pName, HWND hWnd, LPSTR pMonitorName);
    BOOL(WINAPI *pfnConfigurePort)(LPSTR pName, HWND hWnd, LPSTR pPortName);
    BOOL(WINAPI *pfnDeletePort)(LPSTR pName, HWND hWnd, LPSTR pPortName);
    BOOL(WINAPI *pfnGetPrinterDataFromPort)(HANDLE hPort, DWORD ControlID, LPSTR pValueName, LPSTR lpInBuffer,
                                            DWORD cbInBuffer, LPSTR lpOutBuffer, DWORD cbOutBuffer,
                                            LPDWORD lpcbReturned);
    PFN_SET_PORT_TIME_OUTS pfnSetPortTimeOuts;
} MONITOR, *PMONITOR, *LPMONITOR;

typedef BOOL(WINAPI *PFN_INITIALIZE_MONITOR_EX)(LPSTR pRegistryRoot, LPMONITOR pMonitor);

#endif
