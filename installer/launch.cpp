/*
 * What the install prepares for after the agent has ended: a restore copy of
 * the model's program file with its entry in the rename section, moved back
 * at the next start of Windows, and the RunOnce value through which the
 * desktop shell runs the printer's setup program once when it next starts,
 * and which the printer's removal takes back while the shell has not run it.
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "agent.h"

#define COPY_NUMBER_LIMIT 99999999UL
#define RESTORE_COPY_FORMAT "%s%.8d.ex_"
#define SHELL_WINDOW_CLASS "Progman"

/* Reduces a tick count to a copy number of at most eight digits. */
DWORD CopyNumberFromTicks(DWORD ticks)
{
    while (ticks > COPY_NUMBER_LIMIT)
        ticks -= COPY_NUMBER_LIMIT;
    return ticks;
}

/* Copies the file named by the model's "ExecFile" (by default the agent's
 * own program file) in the system directory to a fresh restore copy and
 * schedules its move back. 0 or the nonzero status of the "ExecFile" read
 * when all went well; 266 when no copy was made (also for an "ExecFile" too
 * long for its buffer, and a target path that, or whose restore entry, does
 * not fit in 259 characters); 1003 when the restore entry could not be
 * written. */
DWORD ScheduleExecFileRestore(void)
{
    char restoreCopy[AGENT_TEXT_SIZE];
    char execFile[AGENT_TEXT_SIZE];
    char targetPath[AGENT_TEXT_SIZE];
    DWORD copyNumber = CopyNumberFromTicks(GetTickCount());
    DWORD status;

    snprintf(restoreCopy, sizeof restoreCopy, RESTORE_COPY_FORMAT, SYSTEM_DIRECTORY, (int)copyNumber);
    status = ReadModelValue(g_ModelKeyPath, VALUE_EXEC_FILE, execFile);
    /* A value that does not fit names a file, only not one that fits the
     * target path: it must not fall back to the agent's own file. */
    if (status == ERROR_MORE_DATA)
        return ERROR_CANNOT_COPY;

    if (!CopyText(targetPath, sizeof targetPath, SYSTEM_DIRECTORY) ||
        !AppendText(targetPath, sizeof targetPath, status == ERROR_SUCCESS ? execFile : AGENT_FILE_NAME))
        return ERROR_CANNOT_COPY;
    /* The restore entry reads target path, "=", restore copy. */
    if (strlen(targetPath) + 1 + strlen(restoreCopy) > AGENT_TEXT_MAX)
        return ERROR_CANNOT_COPY;

    if (!CopyFileA(targetPath, restoreCopy, FALSE))
        return ERROR_CANNOT_COPY;
    if (AppendRenameEntry(targetPath, restoreCopy) != ERROR_SUCCESS)
        return ERROR_CAN_NOT_COMPLETE;
    return status;
}

/* Stores the setup command line as the machine's RunOnce value, unless the
 * desktop shell is running or the command line could not be built. Failures
 * are not reported. The value is written under the RunOnce lock, so that a
 * removal running at the same time cannot take it for its own; a lock that
 * cannot be had in time does not stop the write. */
void ScheduleSetupRunOnce(void)
{
    HKEY runOnce;
    HANDLE lock;
    if (g_SetupCommandLine[0] == '\0')
        return;
    if (FindWindowA(SHELL_WINDOW_CLASS, NULL) != NULL)
        return;
    lock = TakeNamedLock(RUNONCE_MUTEX_NAME, RUNONCE_MUTEX_WAIT);
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, RUNONCE_KEY_PATH, &runOnce) == ERROR_SUCCESS) {
        RegSetValueExA(runOnce, VALUE_RUNONCE, 0, REG_SZ, (const BYTE *)g_SetupCommandLine,
                       (DWORD)lstrlenA(g_SetupCommandLine) + 1);
        RegCloseKey(runOnce);
    }
    ReleaseNamedLock(lock);
}

/* Answers whether a setup command line ends in this printer's option,
 * " -ovregistry=" with the model suffix, a backslash and the serial. The
 * option names a registry key, so its case does not matter. */
static BOOL IsOwnSetupCommandLine(LPCSTR commandLine)
{
    char option[AGENT_TEXT_SIZE];
    size_t length = strlen(commandLine);
    size_t optionLength;
    option[0] = '\0';
    if (!AppendText(option, sizeof option, SETUP_OPTION) ||
        !AppendText(option, sizeof option, ModelSuffix(g_Model)) || !AppendText(option, sizeof option, "\\") ||
        !AppendText(option, sizeof option, g_Serial))
        return FALSE;
    optionLength = strlen(option);
    return length >= optionLength && lstrcmpiA(commandLine + length - optionLength, option) == 0;
}

/* The removal's counterpart of ScheduleSetupRunOnce: deletes the machine's
 * RunOnce value when it holds this printer's setup command line, so that
 * the shell does not run the setup program for a printer that is gone. Any
 * other printer's value stays; without a serial nothing is touched. As
 * the purge, it goes on when the lock cannot be had in time. */
void CancelSetupRunOnce(void)
{
    char commandLine[AGENT_TEXT_SIZE];
    HKEY runOnce;
    HANDLE lock;
    if (g_Serial[0] == '\0')
        return;
    lock = TakeNamedLock(RUNONCE_MUTEX_NAME, RUNONCE_MUTEX_WAIT);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RUNONCE_KEY_PATH, 0, KEY_ALL_ACCESS, &runOnce) == ERROR_SUCCESS) {
        if (QueryTextValue(runOnce, VALUE_RUNONCE, commandLine, sizeof commandLine) == ERROR_SUCCESS &&
            IsOwnSetupCommandLine(commandLine))
            RegDeleteValueA(runOnce, VALUE_RUNONCE);
        RegCloseKey(runOnce);
    }
    ReleaseNamedLock(lock);
}
