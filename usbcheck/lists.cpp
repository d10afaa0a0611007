/*
 * The lists of the wizard's select pages: the printers that the USB printer
 * driver presents (with the registry's device instances as a fallback), the
 * spooler's ports of the family and the model. A printer entry carries its
 * device path behind the port name, so a chosen entry opens its device
 * without a second lookup.
 */
#include <stddef.h>
#include <string.h>

#include <windows.h>
#include <setupapi.h>

#include "ovlcommon.h"
#include "usbcheck.h"

static const char s_instanceKey[] = "Enum\\USB\\VID_" OVL_USB_VENDOR_ID "&PID_0004";
static const char s_portsKey[] = "System\\CurrentControlSet\\Control\\Print\\Ports";

/* ---- SetupAPI, bound for the length of one device list fill -------------- */

typedef HDEVINFO(WINAPI *GetClassDevsFn)(const GUID *, PCSTR, HWND, DWORD);
typedef BOOL(WINAPI *EnumDeviceInterfacesFn)(HDEVINFO, PSP_DEVINFO_DATA, const GUID *, DWORD,
                                             PSP_DEVICE_INTERFACE_DATA);
typedef BOOL(WINAPI *GetDeviceInterfaceDetailFn)(HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                                 PSP_DEVICE_INTERFACE_DETAIL_DATA_A, DWORD, PDWORD,
                                                 PSP_DEVINFO_DATA);
typedef BOOL(WINAPI *DestroyDeviceInfoListFn)(HDEVINFO);
typedef HKEY(WINAPI *OpenDeviceInterfaceRegKeyFn)(HDEVINFO, PSP_DEVICE_INTERFACE_DATA, DWORD, REGSAM);

struct SetupApi {
    HMODULE hLibrary;
    GetClassDevsFn GetClassDevs;
    EnumDeviceInterfacesFn EnumDeviceInterfaces;
    GetDeviceInterfaceDetailFn GetDeviceInterfaceDetail;
    DestroyDeviceInfoListFn DestroyDeviceInfoList;
    OpenDeviceInterfaceRegKeyFn OpenDeviceInterfaceRegKey;
};

/* Looks up the five SetupAPI functions in the loaded library; FALSE when one
 * of them is missing. */
static BOOL BindSetupApi(SetupApi *pApi)
{
    HMODULE hLibrary = pApi->hLibrary;

    pApi->GetClassDevs = (GetClassDevsFn)(void *)GetProcAddress(hLibrary, "SetupDiGetClassDevsA");
    if (pApi->GetClassDevs == NULL)
        return FALSE;
    pApi->EnumDeviceInterfaces =
        (EnumDeviceInterfacesFn)(void *)GetProcAddress(hLibrary, "SetupDiEnumDeviceInterfaces");
    if (pApi->EnumDeviceInterfaces == NULL)
        return FALSE;
    pApi->GetDeviceInterfaceDetail =
        (GetDeviceInterfaceDetailFn)(void *)GetProcAddress(hLibrary, "SetupDiGetDeviceInterfaceDetailA");
    if (pApi->GetDeviceInterfaceDetail == NULL)
        return FALSE;
    pApi->DestroyDeviceInfoList =
        (DestroyDeviceInfoListFn)(void *)GetProcAddress(hLibrary, "SetupDiDestroyDeviceInfoList");
    if (pApi->DestroyDeviceInfoList == NULL)
        return FALSE;
    pApi->OpenDeviceInterfaceRegKey =
        (OpenDeviceInterfaceRegKeyFn)(void *)GetProcAddress(hLibrary, "SetupDiOpenDeviceInterfaceRegKey");
    return pApi->OpenDeviceInterfaceRegKey != NULL;
}

/* ---- Printer devices ---------------------------------------------------- */

/* Builds a printer entry: the port name USB/<product>/<serial number> cut or
 * padded with spaces to 128 columns, then the device path's tail. FALSE when
 * the tail is longer than 127 characters (the entry could not carry it
 * whole) or the entry does not fit in `size` bytes. */
BOOL BuildDeviceEntry(LPCSTR product, LPCSTR serialNumber, LPCSTR pathTail, char *entry, DWORD size)
{
    size_t tailLength = strlen(pathTail);
    if (tailLength > DEVICE_PATH_TAIL_MAX || size < DEVICE_NAME_COLUMNS + tailLength + 1)
        return FALSE;

    size_t productLength = strlen(product);
    size_t serialLength = strlen(serialNumber);
    const char *pieces[4] = {OVL_PORT_PREFIX, product, OVL_PORT_SEPARATOR, serialNumber};
    size_t lengths[4] = {sizeof(OVL_PORT_PREFIX) - 1, productLength, sizeof(OVL_PORT_SEPARATOR) - 1, serialLength};

    memset(entry, ' ', DEVICE_NAME_COLUMNS);
    size_t column = 0;
    for (int i = 0; i < 4 && column < DEVICE_NAME_COLUMNS; i++) {
        size_t count = lengths[i];
        if (count > DEVICE_NAME_COLUMNS - column)
            count = DEVICE_NAME_COLUMNS - column;
        memcpy(entry + column, pieces[i], count);
        column += count;
    }
    memcpy(entry + DEVICE_NAME_COLUMNS, pathTail, tailLength + 1);
    return TRUE;
}

/* Gives the interface's detail record, allocated to the size SetupAPI asks
 * for and checked to hold a device path that ends inside it; NULL when it
 * cannot be had. The caller frees it with LocalFree. */
static PSP_DEVICE_INTERFACE_DETAIL_DATA_A GetInterfaceDetail(const SetupApi *pApi, HDEVINFO hDevInfo,
                                                              PSP_DEVICE_INTERFACE_DATA pInterface)
{
    DWORD required = 0;
    pApi->GetDeviceInterfaceDetail(hDevInfo, pInterface, NULL, 0, &required, NULL);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return NULL;

    PSP_DEVICE_INTERFACE_DETAIL_DATA_A pDetail = (PSP_DEVICE_INTERFACE_DETAIL_DATA_A)LocalAlloc(LMEM_FIXED, required);
    if (pDetail == NULL)
        return NULL;
    pDetail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!pApi->GetDeviceInterfaceDetail(hDevInfo, pInterface, pDetail, required, NULL, NULL) ||
        memchr(pDetail->DevicePath, '\0', required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath)) == NULL) {
        LocalFree(pDetail);
        return NULL;
    }
    return pDetail;
}

/* Adds the entry of one printer interface to the list. An interface whose
 * detail record cannot be had, or whose device path is too long for the
 * entry, is left out. Product and SerialNumber that cannot be read count as
 * empty texts. */
static void AddDeviceEntry(const SetupApi *pApi, HDEVINFO hDevInfo, PSP_DEVICE_INTERFACE_DATA pInterface, HWND hDlg,
                           int controlId)
{
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A pDetail = GetInterfaceDetail(pApi, hDevInfo, pInterface);
    if (pDetail == NULL)
        return;

    const char *path = pDetail->DevicePath;
    size_t pathLength = strlen(path);
    const char *pathTail = pathLength > DEVICE_PATH_SKIP ? path + DEVICE_PATH_SKIP : path + pathLength;

    if (strlen(pathTail) <= DEVICE_PATH_TAIL_MAX) {
        char serialNumber[KEY_VALUE_TEXT_SIZE];
        char product[KEY_VALUE_TEXT_SIZE];
        serialNumber[0] = '\0';
        product[0] = '\0';

        HKEY hKey = pApi->OpenDeviceInterfaceRegKey(hDevInfo, pInterface, 0, KEY_ALL_ACCESS);
        if (hKey != NULL && hKey != (HKEY)INVALID_HANDLE_VALUE) {
            ReadTextValue(hKey, OVL_VALUE_SERIAL_NUMBER, serialNumber, sizeof(serialNumber));
            ReadTextValue(hKey, OVL_VALUE_PRODUCT, product, sizeof(product));
            RegCloseKey(hKey);
        }

        char entry[DEVICE_ENTRY_SIZE];
        if (BuildDeviceEntry(product, serialNumber, pathTail, entry, sizeof(entry)))
            SendDlgItemMessageA(hDlg, controlId, CB_ADDSTRING, 0, (LPARAM)entry);
    }
    LocalFree(pDetail);
}

/* Fills a list with the printers of the family that are present now, one
 * entry per device interface of the driver, and selects the first. Without
 * SetupAPI the registry's device instances are listed instead; with one of
 * its functions missing the list keeps what it holds. */
void FillDeviceList(HWND hDlg, int controlId)
{
    SetupApi api;
    ZeroMemory(&api, sizeof(api));

    api.hLibrary = LoadLibraryA("SETUPAPI.DLL");
    if (api.hLibrary == NULL) {
        FillInstanceList(hDlg, controlId);
        return;
    }
    if (!BindSetupApi(&api)) {
        FreeLibrary(api.hLibrary);
        return;
    }

    SendDlgItemMessageA(hDlg, controlId, CB_RESETCONTENT, 0, 0);
    HDEVINFO hDevInfo =
        api.GetClassDevs(&OVL_INTERFACE_CLASS_GUID, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (hDevInfo != NULL && hDevInfo != INVALID_HANDLE_VALUE) {
        for (DWORD index = 0;; index++) {
            SP_DEVICE_INTERFACE_DATA interfaceData;
            ZeroMemory(&interfaceData, sizeof(interfaceData));
            interfaceData.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
            if (!api.EnumDeviceInterfaces(hDevInfo, NULL, &OVL_INTERFACE_CLASS_GUID, index, &interfaceData))
                break;
            AddDeviceEntry(&api, hDevInfo, &interfaceData, hDlg, controlId);
        }
        api.DestroyDeviceInfoList(hDevInfo);
    }
    SendDlgItemMessageA(hDlg, controlId, CB_SETCURSEL, 0, 0);
    FreeLibrary(api.hLibrary);
}

/* ---- Device instances (fallback without SetupAPI) ----------------------- */

/* Decides whether a device instance is listed: it has values, a nonzero
 * Enabled and readable SerialNumber and Product. On TRUE the serial number
 * is in `serialNumber`. */
static BOOL ReadListedInstance(HKEY hInstance, char *serialNumber, DWORD size)
{
    DWORD valueCount = 0;
    if (RegQueryInfoKeyA(hInstance, NULL, NULL, NULL, NULL, NULL, NULL, &valueCount, NULL, NULL, NULL, NULL) !=
            ERROR_SUCCESS ||
        valueCount == 0)
        return FALSE;

    DWORD enabled = 0;
    DWORD length = sizeof(enabled);
    if (RegQueryValueExA(hInstance, OVL_VALUE_ENABLED, NULL, NULL, (LPBYTE)&enabled, &length) != ERROR_SUCCESS ||
        enabled == 0)
        return FALSE;

    LONG result = ReadTextValue(hInstance, OVL_VALUE_SERIAL_NUMBER, serialNumber, size);
    if (result != ERROR_SUCCESS && result != ERROR_INSUFFICIENT_BUFFER)
        return FALSE;

    char product[KEY_VALUE_TEXT_SIZE];
    result = ReadTextValue(hInstance, OVL_VALUE_PRODUCT, product, sizeof(product));
    return result == ERROR_SUCCESS || result == ERROR_INSUFFICIENT_BUFFER;
}

/* Fills a list with the serial numbers of the enabled USB device instances
 * that the registry holds, and selects the first. These entries carry no
 * device path. */
void FillInstanceList(HWND hDlg, int controlId)
{
    SendDlgItemMessageA(hDlg, controlId, CB_RESETCONTENT, 0, 0);

    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, s_instanceKey, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS) {
        SendDlgItemMessageA(hDlg, controlId, CB_SETCURSEL, 0, 0);
        return;
    }

    for (DWORD index = 0;; index++) {
        char name[USBCHECK_TEXT_SIZE];
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(hKey, index, name, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        name[sizeof(name) - 1] = '\0';

        HKEY hInstance;
        if (RegOpenKeyExA(hKey, name, 0, KEY_ALL_ACCESS, &hInstance) != ERROR_SUCCESS)
            continue;
        char serialNumber[KEY_VALUE_TEXT_SIZE];
        serialNumber[0] = '\0';
        if (ReadListedInstance(hInstance, serialNumber, sizeof(serialNumber)))
            SendDlgItemMessageA(hDlg, controlId, CB_ADDSTRING, 0, (LPARAM)serialNumber);
        RegCloseKey(hInstance);
    }

    RegCloseKey(hKey);
    SendDlgItemMessageA(hDlg, controlId, CB_SETCURSEL, 0, 0);
}

/* ---- Spooler ports and model -------------------------------------------- */

/* Fills a list with the spooler's ports whose name begins with
 * "USB/Sorrelink" and selects the first. When the spooler's port key cannot
 * be opened the user is told, and the list stays as it is. */
void FillPortList(HWND hDlg, int controlId)
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, s_portsKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
        MessageBoxA(NULL, "Couldn't open registry key for port names", "Error", MB_OK);
        return;
    }

    SendDlgItemMessageA(hDlg, controlId, CB_RESETCONTENT, 0, 0);
    for (DWORD index = 0;; index++) {
        char name[USBCHECK_TEXT_SIZE];
        DWORD length = sizeof(name);
        name[0] = '\0';
        LONG result = RegEnumKeyExA(hKey, index, name, &length, NULL, NULL, NULL, NULL);
        if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA)
            break;
        /* A name too long for the buffer arrives cut; it ends in the
         * buffer's last byte. */
        name[sizeof(name) - 1] = '\0';
        if (strncmp(name, FAMILY_PORT_PREFIX, sizeof(FAMILY_PORT_PREFIX) - 1) == 0)
            SendDlgItemMessageA(hDlg, controlId, CB_ADDSTRING, 0, (LPARAM)name);
    }

    RegCloseKey(hKey);
    SendDlgItemMessageA(hDlg, controlId, CB_SETCURSEL, 0, 0);
}

/* Fills a list with the one model that the uninstallation removes. */
void FillModelList(HWND hDlg, int controlId)
{
    SendDlgItemMessageA(hDlg, controlId, CB_RESETCONTENT, 0, 0);
    SendDlgItemMessageA(hDlg, controlId, CB_ADDSTRING, 0, (LPARAM)SORRELINK_MODEL_NAME);
    SendDlgItemMessageA(hDlg, controlId, CB_SETCURSEL, 0, 0);
}

/* ---- Opening the chosen printer ----------------------------------------- */

/* Opens the device of the printer entry selected in a list: the entry's
 * path tail from column 128 on, behind "\\.\". Gives the device handle, or
 * INVALID_HANDLE_VALUE when it cannot be opened (an entry without a path
 * included). The caller closes the handle. */
HANDLE OpenSelectedDevice(HWND hDlg, int controlId)
{
    char entry[DEVICE_ENTRY_SIZE];
    entry[0] = '\0';
    GetDlgItemTextA(hDlg, controlId, entry, sizeof(entry));
    entry[sizeof(entry) - 1] = '\0';

    const char *pathTail = strlen(entry) > DEVICE_NAME_COLUMNS ? entry + DEVICE_NAME_COLUMNS : "";
    char fileName[DEVICE_ENTRY_SIZE];
    if (!FormatText(fileName, sizeof(fileName), "\\\\.\\%s", pathTail))
        return INVALID_HANDLE_VALUE;

    return CreateFileA(fileName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
}
