/*
 * The wizard's repairs: purging the USB enumeration key, deleting one USB
 * port (through the device installation agent's removal action and the
 * port's device instance key) and uninstalling the USB communication files
 * and keys of the family.
 */
#include <string.h>

#include <windows.h>

#include "ovlcommon.h"
#include "usbcheck.h"

/* The USB enumeration branch of the family's printers. */
#define USB_ENUM_KEY "Enum\\USB\\VID_" OVL_USB_VENDOR_ID "&PID_" OVL_USB_PRODUCT_ID_640

static const char s_agentCommandFormat[] = "%s -action=%d -model=%s -serial=%s";
static const char s_agentProgram[] = "ovlcin00.exe";
static const char s_instanceKeyFormat[] = USB_ENUM_KEY "\\%s";

/* Keys that the uninstallation deletes, in order. */
static const char *const s_uninstallKeys[] = {
    USB_ENUM_KEY,
    "Software\\Orvane\\OVLIO\\640",
    "Software\\Orvane\\OVL\\" SORRELINK_MODEL_NAME,
    "System\\CurrentControlSet\\Control\\DeviceClasses\\" OVL_INTERFACE_CLASS_TEXT,
};

/* Files that the uninstallation deletes, in order, below the Windows
 * directory. */
static const char *const s_uninstallFiles[] = {
    "%s\\inf\\other\\Orvaneovl64098.inf",
    "%s\\system\\ovlcin00.exe",
    "%s\\system\\ovluci00.dll",
    "%s\\system32\\drivers\\ovlusb00.sys",
    "%s\\system\\ovlpom00.dll",
};

/* A file path: the Windows directory (259 characters at most) and the
 * longest file name above fit in it whole. */
#define FILE_PATH_SIZE (2 * USBCHECK_TEXT_SIZE)

/* ---- Registry purge ----------------------------------------------------- */

/* Deletes the USB enumeration key with all its device instances, so that
 * Plug and Play installs the printer again when it is plugged in. The
 * result is of no interest: an absent key is as good as a deleted one. */
void PurgeUsbEnumKey(void)
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, USB_ENUM_KEY);
}

/* ---- Port deletion ------------------------------------------------------ */

/* Tells the user that a port name cannot be deleted. */
static BOOL RefusePortName(void)
{
    MessageBoxA(NULL, "This is an invalid port name", "Error", MB_OK);
    return FALSE;
}

/* Splits a port name USB/<model>/<serial number>, in place, into its model
 * and serial number. Only names of the family's models are taken, and only
 * parts that reach the agent unchanged: the agent ends the model at its
 * first '-' and the serial number at its first blank, and the serial number
 * names a registry key below the enumeration branch, so it must be neither
 * empty (that would name the whole branch) nor hold a backslash. A model
 * with a '/' of its own is refused too: the name could not tell which
 * printer it means (USB/Sorrelink 640/../../X1 would remove printer X1). */
static BOOL SplitPortName(char *name, char **ppModel, char **ppSerialNumber)
{
    if (strncmp(name, PORT_NAME_PREFIX, sizeof(PORT_NAME_PREFIX) - 1) != 0)
        return FALSE;

    size_t separator = strlen(name) - 1;
    while (separator > 0 && name[separator] != '/')
        separator--;
    if (separator < sizeof(OVL_PORT_PREFIX) - 1)
        return FALSE;

    name[separator] = '\0';
    char *model = name + sizeof(OVL_PORT_PREFIX) - 1;
    char *serialNumber = name + separator + 1;
    if (serialNumber[0] == '\0' || strpbrk(serialNumber, " \\") != NULL || strpbrk(model, "-/") != NULL)
        return FALSE;

    *ppModel = model;
    *ppSerialNumber = serialNumber;
    return TRUE;
}

/* Deletes a USB port of the family: starts the device installation agent
 * with its removal action for the port's model and serial number (without
 * waiting for it), then deletes the port's device instance key. A name that
 * cannot be taken apart safely, or whose agent command line or key name
 * would not fit, is refused before anything is started or deleted. Once
 * started, the deletion counts as done whatever the agent and the registry
 * make of it. */
BOOL DeleteUsbPort(LPCSTR portName)
{
    char name[USBCHECK_TEXT_SIZE];
    char *model;
    char *serialNumber;

    if (portName == NULL)
        return RefusePortName();
    size_t length = strlen(portName);
    if (length >= sizeof(name))
        return RefusePortName();
    memcpy(name, portName, length + 1);
    if (!SplitPortName(name, &model, &serialNumber))
        return RefusePortName();

    char commandLine[USBCHECK_TEXT_SIZE];
    char instanceKey[USBCHECK_TEXT_SIZE];
    if (!FormatText(commandLine, sizeof(commandLine), s_agentCommandFormat, s_agentProgram, AGENT_ACTION_REMOVE,
                    model, serialNumber) ||
        !FormatText(instanceKey, sizeof(instanceKey), s_instanceKeyFormat, serialNumber))
        return RefusePortName();

    WinExec(commandLine, SW_SHOWNORMAL);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, instanceKey);
    return TRUE;
}

/* ---- Uninstallation ----------------------------------------------------- */

/* Fetches an entry of the scratch list; an entry that cannot be fetched, or
 * that would not fit in the buffer, gives an empty text. */
static void GetScratchEntry(HWND hDlg, LRESULT index, char *text, size_t size)
{
    text[0] = '\0';
    LRESULT length = SendDlgItemMessageA(hDlg, IDC_SCRATCH_LIST, CB_GETLBTEXTLEN, (WPARAM)index, 0);
    if (length == CB_ERR || length >= (LRESULT)size)
        return;
    if (SendDlgItemMessageA(hDlg, IDC_SCRATCH_LIST, CB_GETLBTEXT, (WPARAM)index, (LPARAM)text) == CB_ERR)
        text[0] = '\0';
    text[size - 1] = '\0';
}

/* Deletes every port listed in the scratch list through DeleteUsbPort. An
 * entry that is not a port name of the family's models is reported and
 * makes the result a failure; the other entries are processed all the
 * same. */
static BOOL DeleteListedPorts(HWND hDlg, LRESULT count)
{
    BOOL result = TRUE;

    for (LRESULT index = 0; index < count; index++) {
        char portName[USBCHECK_TEXT_SIZE];
        GetScratchEntry(hDlg, index, portName, sizeof(portName));
        if (strncmp(portName, PORT_NAME_PREFIX, sizeof(PORT_NAME_PREFIX) - 1) == 0) {
            DeleteUsbPort(portName);
        } else {
            MessageBoxA(hDlg, "Invalid port name", "Error", MB_OK);
            result = FALSE;
        }
    }
    return result;
}

/* Deletes the family's registry keys; a key that is already absent counts
 * as deleted. Each key that cannot be deleted is reported, and the others
 * are deleted all the same. */
static BOOL DeleteUninstallKeys(HWND hDlg)
{
    BOOL result = TRUE;

    for (size_t i = 0; i < sizeof(s_uninstallKeys) / sizeof(s_uninstallKeys[0]); i++) {
        LONG status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, s_uninstallKeys[i]);
        if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND)
            continue;

        char message[USBCHECK_TEXT_SIZE];
        if (!FormatText(message, sizeof(message), "Couldn't delete registry key \n\"%s\"", s_uninstallKeys[i]))
            message[0] = '\0';
        MessageBoxA(hDlg, message, "Error", MB_OK);
        result = FALSE;
    }
    return result;
}

/* Deletes the family's files below the Windows directory; a file that is
 * already absent counts as deleted. Each file that cannot be deleted is
 * reported by its path, and the others are deleted all the same. Without a
 * Windows directory no path can be built, which is reported, and no file is
 * deleted. */
static BOOL DeleteUninstallFiles(HWND hDlg)
{
    char windowsDirectory[USBCHECK_TEXT_SIZE];
    UINT length = GetWindowsDirectoryA(windowsDirectory, sizeof(windowsDirectory));
    if (length == 0 || length >= sizeof(windowsDirectory)) {
        MessageBoxA(hDlg, "Failed trying to get the system directory", "Error", MB_OK);
        return FALSE;
    }
    windowsDirectory[length] = '\0';

    BOOL result = TRUE;
    for (size_t i = 0; i < sizeof(s_uninstallFiles) / sizeof(s_uninstallFiles[0]); i++) {
        char path[FILE_PATH_SIZE];
        if (!FormatText(path, sizeof(path), s_uninstallFiles[i], windowsDirectory)) {
            result = FALSE;
            continue;
        }
        if (!DeleteFileA(path) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            MessageBoxA(hDlg, path, "Error deleting file:", MB_OK);
            result = FALSE;
        }
    }
    return result;
}

/* Uninstalls the USB communication of the family: removes every port of the
 * family that the spooler knows (through the agent), then the family's
 * registry keys and files. Uses the wizard's hidden scratch list for the
 * ports. Each failure is reported as it happens; the result is a failure
 * when any step failed. */
BOOL UninstallUsbFiles(HWND hDlg)
{
    FillPortList(hDlg, IDC_SCRATCH_LIST);

    LRESULT count = SendDlgItemMessageA(hDlg, IDC_SCRATCH_LIST, CB_GETCOUNT, 0, 0);
    if (count == CB_ERR) {
        MessageBoxA(hDlg, "Failed calling CB_GETCOUNT", "Error", MB_OK);
        return FALSE;
    }

    BOOL result = DeleteListedPorts(hDlg, count);
    if (!DeleteUninstallKeys(hDlg))
        result = FALSE;
    if (!DeleteUninstallFiles(hDlg))
        result = FALSE;
    return result;
}
