/*
 * The agent's actions: the dispatch that runs in the window's creation, the
 * install steps (action 2), the remove steps (action 64) and the serial port
 * check that keeps a second install of an already installed printer away.
 */
#include <string.h>
#include <windows.h>
#include <winspool.h>

#include "agent.h"

/* Runs the action named on the command line. The model key path is built
 * for every action value, also one without steps. */
void DispatchAction(void)
{
    BuildModelKeyPath(g_ModelKeyPath, g_Model);
    if (g_Action == ACTION_INSTALL)
        InstallAction();
    else if (g_Action == ACTION_REMOVE)
        RemoveAction();
}

/* Install: registers the port monitor under the serial number, leaves a
 * restore copy of the program file, keeps the family's files from a
 * deletion scheduled by an earlier removal, stores the parameter text and,
 * unless the model's setup settings are missing, schedules the setup
 * program. */
void InstallAction(void)
{
    char environment[] = MONITOR_ENVIRONMENT;
    char dllName[] = MONITOR_DLL_NAME;
    MONITOR_INFO_2A monitor;
    DWORD lastError;

    if (CheckSerialPort() == 0)
        return;

    monitor.pName = g_Serial;
    monitor.pEnvironment = environment;
    monitor.pDLLName = dllName;
    /* Cleared first, so that an older value is never taken for the
     * registration's failure. */
    SetLastError(0);
    AddMonitorA(NULL, 2, (LPBYTE)&monitor);
    lastError = GetLastError();
    if (lastError != 0) {
        g_DialogCode = DIALOG_MONITOR;
        g_ErrorCode = lastError;
        g_AbortFlag = 1;
    }

    ScheduleExecFileRestore();
    KeepFamilyFiles();
    BuildSetupCommandLine();
    if (g_ErrorCode != ERROR_NO_TOKEN && g_ErrorCode != ERROR_FILE_NOT_FOUND)
        ScheduleSetupRunOnce();
}

/* The install needs the family's files that the removal of the last printer
 * scheduled for deletion at the next start (the printer may be plugged in
 * again before that start): those deletions are taken back. Best effort,
 * like the other steps. */
void KeepFamilyFiles(void)
{
    static const LPCSTR familyFiles[] = {AGENT_FILE_PATH, IOU_FILE_PATH};
    CancelDeletionsOnRestart(familyFiles, sizeof familyFiles / sizeof familyFiles[0]);
}

/* Remove: unregisters the port monitor and purges what the installation
 * left, whether or not the monitor could be unregistered; a run of the
 * printer's setup program that the shell has not made yet is taken away. */
void RemoveAction(void)
{
    char environment[] = MONITOR_ENVIRONMENT;
    DWORD lastError;

    SetLastError(0);
    DeleteMonitorA(NULL, environment, g_Serial);
    lastError = GetLastError();
    if (lastError != 0)
        g_ErrorCode = lastError;

    UninstallPurge();
    CancelSetupRunOnce();
}

/* Reads one printer's "Port" value and tells whether it holds the serial. */
static BOOL PrinterPortHasSerial(HKEY printers, LPCSTR printerName, DWORD capacity)
{
    char port[AGENT_TEXT_SIZE];
    HKEY printer;
    DWORD status;
    if (RegOpenKeyExA(printers, printerName, 0, KEY_ALL_ACCESS, &printer) != ERROR_SUCCESS)
        return FALSE;
    status = QueryTextValue(printer, VALUE_PORT, port, capacity);
    RegCloseKey(printer);
    return status == ERROR_SUCCESS && strstr(port, g_Serial) != NULL;
}

/* Serial port check: 1 when no installed printer prints to a port whose
 * text contains the serial, 0 otherwise. The walk over the spooler's
 * printers passes over a name too long for its buffer and an index whose
 * enumeration fails, and ends at the end of the list (or when failures
 * last, see NextSubkey). */
int CheckSerialPort(void)
{
    char printerName[AGENT_TEXT_SIZE];
    HKEY printers = HKEY_LOCAL_MACHINE;
    DWORD index;
    DWORD failures = 0;
    LONG status;
    int result = 1;

    if (OpenKeyPath(PRINTERS_KEY_PATH, &printers, NULL) != 0 || printers == HKEY_LOCAL_MACHINE)
        return 1;
    for (index = 0;; index++) {
        status = NextSubkey(printers, index, printerName, index == 0 ? 254 : AGENT_TEXT_SIZE, &failures);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            continue;
        if (PrinterPortHasSerial(printers, printerName, index == 0 ? 254 : AGENT_TEXT_SIZE)) {
            result = 0;
            break;
        }
    }
    CloseKeyPath(&printers);
    return result;
}
