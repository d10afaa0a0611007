/*
 * The communication test: the printer chosen in the wizard's list is asked
 * for its device ID through the driver 200 times in a row, with the device
 * opened and closed for every request; the first failure ends the test.
 */
#include <windows.h>

#include "ovlcommon.h"
#include "usbcheck.h"

static const char s_noCommunication[] =
    "Unable to communicate with printer.\n"
    "Make sure the USB cable is connected securely to both the printer and computer.";

/* Makes one device-ID request to the chosen printer. A device that does not
 * open is reported with a warning icon; a failing request with the style
 * given, since a first request and a second one are reported differently.
 * The device and the block are released before returning. */
static BOOL RequestDeviceId(HWND hDlg, UINT requestFailureStyle)
{
    HANDLE hHeap = GetProcessHeap();
    LPVOID pBlock = HeapAlloc(hHeap, HEAP_ZERO_MEMORY, DEVICE_ID_BLOCK_SIZE);
    if (pBlock == NULL)
        return FALSE;

    HANDLE hDevice = OpenSelectedDevice(hDlg, IDC_PAGE_LIST);
    if (hDevice == INVALID_HANDLE_VALUE) {
        MessageBoxA(hDlg, s_noCommunication, NULL, MB_ICONWARNING);
        HeapFree(hHeap, 0, pBlock);
        return FALSE;
    }

    DWORD returned = 0;
    BOOL succeeded = DeviceIoControl(hDevice, OVL_IOCTL_GET_DEVICE_ID, pBlock, DEVICE_ID_REQUEST_SIZE, pBlock,
                                     DEVICE_ID_REQUEST_SIZE, &returned, NULL);
    if (!succeeded)
        MessageBoxA(hDlg, s_noCommunication, NULL, requestFailureStyle);

    CloseHandle(hDevice);
    HeapFree(hHeap, 0, pBlock);
    return succeeded ? TRUE : FALSE;
}

/* One request; a failing request is reported without an icon. */
BOOL ProbeDeviceId(HWND hDlg)
{
    return RequestDeviceId(hDlg, MB_OK);
}

/* One cycle: the probe, then a second request whose failure is reported with
 * a warning icon. */
BOOL TestCycle(HWND hDlg)
{
    if (!ProbeDeviceId(hDlg))
        return FALSE;
    return RequestDeviceId(hDlg, MB_ICONWARNING);
}

/* Tests the printer chosen in the wizard's list: 100 cycles under the wait
 * cursor, stopping at the first failure. Nothing chosen is reported and
 * fails at once. */
BOOL RunCommunicationTest(HWND hDlg)
{
    char entry[DEVICE_ENTRY_SIZE];
    entry[0] = '\0';
    GetDlgItemTextA(hDlg, IDC_PAGE_LIST, entry, sizeof(entry));
    entry[sizeof(entry) - 1] = '\0';
    if (entry[0] == '\0') {
        MessageBoxA(hDlg, "No printer selected.", NULL, MB_ICONWARNING);
        return FALSE;
    }

    HCURSOR hPreviousCursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    BOOL succeeded = TRUE;
    for (int cycle = 0; cycle < TEST_CYCLE_COUNT && succeeded; cycle++)
        succeeded = TestCycle(hDlg);
    SetCursor(hPreviousCursor);
    return succeeded;
}
