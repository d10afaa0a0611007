/*
 * Jobs and data: StartDocPort opens the printer's device for one job and
 * EndDocPort closes it; WritePort and ReadPort move the job's data, and a
 * write that moves nothing is answered from the printer's status byte.
 *
 * A handle's job state (busy flag, device, printer name) changes only under
 * the handle-list lock, because all openers of a port share the handle and
 * may start and end jobs from different threads. Every entry first checks
 * its handle against the handle list under that lock, so a handle released
 * by its last ClosePort is refused with ERROR_INVALID_HANDLE instead of
 * being read. A device control is sent while the lock is held: EndDocPort on
 * another thread then waits for it, and the control never reaches a device
 * that has been closed (whose handle value another open may since have
 * been given). The port-list lock may be taken inside the handle-list lock,
 * never the other way round.
 */
#include "ovlcommon.h"
#include "monitor.h"

/* Answers whether the system is Windows Me (4.90 or a later 4.x). */
BOOL IsWindowsMe(void)
{
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!GetVersionExA(&info))
        return FALSE;
    return info.dwMajorVersion == 4 && info.dwMinorVersion >= 90;
}

/* Opens the printer's device exclusively for the job, at the device path
 * that the port has in the port list now. FALSE when the port is no longer
 * an enabled port of the list (no last error of the monitor's own), or when
 * the device cannot be opened (the last error that CreateFileA left). */
BOOL OpenPortDevice(PPORT_HANDLE handle)
{
    LPSTR devicePath = GetPortDevicePath(handle->PortName);
    if (devicePath == NULL)
        return FALSE;
    FreeText(handle->DevicePath);
    handle->DevicePath = devicePath;
    handle->Device = CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    return handle->Device != INVALID_HANDLE_VALUE;
}

/* Takes the handle-list lock when the handle is one of the list. FALSE, with
 * ERROR_INVALID_HANDLE and the lock not held, for a handle that OpenPort
 * never gave out or that its last ClosePort has released. */
static BOOL LockPortHandle(PPORT_HANDLE handle)
{
    EnterCriticalSection(&HandleListLock);
    if (IsPortHandle(handle))
        return TRUE;
    LeaveCriticalSection(&HandleListLock);
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

/* The device of a listed handle, read under the lock, for a write or read
 * that runs without it: a write may block for as long as the printer
 * stalls, and the spooler ends a job only after its writes. */
static BOOL GetPortDevice(PPORT_HANDLE handle, HANDLE *device)
{
    if (!LockPortHandle(handle))
        return FALSE;
    *device = handle->Device;
    LeaveCriticalSection(&HandleListLock);
    return TRUE;
}

/* Starts a job on an idle handle: copies the printer name and opens the
 * device. Fails with ERROR_BUSY while a job is open, leaving that job
 * alone; any other failure leaves the handle idle, with the last error of
 * the step that failed. The caller holds the handle-list lock, so the busy
 * test and the start are one step for all openers of the handle. */
BOOL StartPortJob(PPORT_HANDLE handle, LPCSTR printerName)
{
    if (handle->Flags & PORT_HANDLE_BUSY) {
        SetLastError(ERROR_BUSY);
        return FALSE;
    }
    handle->PrinterName = CopyText(printerName);
    if (handle->PrinterName == NULL)
        return FALSE;
    if (!OpenPortDevice(handle)) {
        DWORD error = GetLastError();
        FreeText(handle->PrinterName);
        handle->PrinterName = NULL;
        SetLastError(error);
        return FALSE;
    }
    handle->Flags |= PORT_HANDLE_BUSY;
    return TRUE;
}

/* The spooler's StartDocPort entry: starts a job on the handle. On Windows
 * Me the driver's interfaces are merged into the port list first, so that
 * the device is opened at the path its interface has now. */
BOOL WINAPI StartDocPort(HANDLE hPort, LPSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo)
{
    (void)JobId;
    (void)Level;
    (void)pDocInfo;
    PPORT_HANDLE handle = (PPORT_HANDLE)hPort;
    if (handle == NULL || pPrinterName == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (IsWindowsMe()) {
        EnterCriticalSection(&PortListLock);
        DiscoverPorts();
        LeaveCriticalSection(&PortListLock);
    }
    if (!LockPortHandle(handle))
        return FALSE;
    BOOL started = StartPortJob(handle, pPrinterName);
    LeaveCriticalSection(&HandleListLock);
    return started;
}

/* Ends the open job, if any, closing the device before the handle becomes
 * free for the next job. The caller holds the handle-list lock. */
void EndPortJob(PPORT_HANDLE handle)
{
    if (handle->Flags & PORT_HANDLE_BUSY) {
        CloseHandle(handle->Device);
        handle->Device = NULL;
        FreeText(handle->PrinterName);
        handle->PrinterName = NULL;
        handle->Flags &= ~(DWORD)PORT_HANDLE_BUSY;
    }
}

/* The spooler's EndDocPort entry: ends the open job, if any. TRUE, also
 * without a job; FALSE with ERROR_INVALID_HANDLE only for a handle that is
 * not (or no longer) one of the list. */
BOOL WINAPI EndDocPort(HANDLE hPort)
{
    PPORT_HANDLE handle = (PPORT_HANDLE)hPort;
    if (handle == NULL)
        return TRUE;
    if (!LockPortHandle(handle))
        return FALSE;
    EndPortJob(handle);
    LeaveCriticalSection(&HandleListLock);
    return TRUE;
}

/* Asks the printer for its status byte and turns it into the code that a
 * write which moved nothing reports: 0 when the printer is selected and
 * without error, ERROR_OUT_OF_PAPER when its paper is out, ERROR_NOT_READY
 * otherwise or when the status cannot be had. */
DWORD QueryPortStatus(HANDLE device)
{
    BYTE status = 0;
    DWORD returned = 0;
    if (!DeviceIoControl(device, OVL_IOCTL_GET_PORT_STATUS, &status, sizeof(status), &status, sizeof(status),
                         &returned, NULL))
        return ERROR_NOT_READY;
    if (status & OVL_STATUS_PAPER_EMPTY)
        return ERROR_OUT_OF_PAPER;
    if ((status & OVL_STATUS_SELECTED) == 0 || (status & OVL_STATUS_NO_ERROR) == 0)
        return ERROR_NOT_READY;
    return ERROR_SUCCESS;
}

/* The spooler's WritePort entry: writes to the job's device. A write that
 * moved part of the data succeeds with that part; one that moved nothing
 * is answered from the printer's status, leaving the code as last error. */
BOOL WINAPI WritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten)
{
    PPORT_HANDLE handle = (PPORT_HANDLE)hPort;
    if (handle == NULL || pcbWritten == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *pcbWritten = 0;
    HANDLE device;
    if (!GetPortDevice(handle, &device))
        return FALSE;
    if (WriteFile(device, pBuffer, cbBuf, pcbWritten, NULL) || *pcbWritten > 0)
        return TRUE;
    DWORD code = QueryPortStatus(device);
    SetLastError(code);
    return code == ERROR_SUCCESS;
}

/* The spooler's ReadPort entry: reads from the job's device and answers as
 * ReadFile does. Outside a job there is no device and the read fails. */
BOOL WINAPI ReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead)
{
    PPORT_HANDLE handle = (PPORT_HANDLE)hPort;
    if (handle == NULL || pcbRead == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *pcbRead = 0;
    HANDLE device;
    if (!GetPortDevice(handle, &device))
        return FALSE;
    return ReadFile(device, pBuffer, cbBuffer, pcbRead, NULL);
}

/* The spooler's GetPrinterDataFromPort entry: passes a nonzero device I/O
 * control and its buffers to the printer while a job is open. Requests by
 * value name are not served. The control is sent under the handle-list
 * lock, so the job cannot end and close the device while it runs. */
BOOL WINAPI GetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPSTR pValueName, LPSTR lpInBuffer,
                                   DWORD cbInBuffer, LPSTR lpOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbReturned)
{
    (void)pValueName;
    PPORT_HANDLE handle = (PPORT_HANDLE)hPort;
    if (handle == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!LockPortHandle(handle))
        return FALSE;
    BOOL done = FALSE;
    if ((handle->Flags & PORT_HANDLE_BUSY) == 0 || ControlID == 0 || lpcbReturned == NULL)
        SetLastError(ERROR_INVALID_PARAMETER);
    else
        done = DeviceIoControl(handle->Device, ControlID, lpInBuffer, cbInBuffer, lpOutBuffer, cbOutBuffer,
                               lpcbReturned, NULL);
    LeaveCriticalSection(&HandleListLock);
    return done;
}
