/*
 * The Windows version check at the start of the wizard: the Sorrelink USB
 * software needs Windows 98 (its version text contains "98").
 */
#include <string.h>

#include <windows.h>

#include "usbcheck.h"

static const char s_versionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";

/* Reads the system's version text; a key or value that cannot be read
 * gives an empty text. */
static void ReadVersionText(char *text, DWORD size)
{
    HKEY hKey;

    text[0] = '\0';
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, s_versionKey, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
        return;
    ReadTextValue(hKey, "Version", text, size);
    RegCloseKey(hKey);
}

/* Warns that the system is not supported and ends the wizard. */
static void RefuseWindowsVersion(HWND hDlg, LPCSTR warning)
{
    MessageBoxA(hDlg, warning, "ATTENTION", MB_ICONWARNING);
    EndDialog(hDlg, 0);
}

/* Passes on Windows 98; on Windows 95, or when the version text does not
 * name Windows 98 (an unreadable one included), warns, ends the dialog and
 * fails. Windows 95 is tested first. */
BOOL CheckWindowsVersion(HWND hDlg)
{
    char version[USBCHECK_TEXT_SIZE];

    ReadVersionText(version, sizeof(version));
    if (strstr(version, "95") != NULL) {
        RefuseWindowsVersion(hDlg, "Your printer and its software can NOT use USB connections under Windows 95.");
        return FALSE;
    }
    if (strstr(version, "98") != NULL)
        return TRUE;
    RefuseWindowsVersion(hDlg, "You must have Windows 98 to run this application.");
    return FALSE;
}
