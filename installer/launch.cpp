/*
 * What the install prepares for after the agent has ended: a restore copy of
 * the model's program file with its entry in the rename section, moved back
 * at the next start of Windows, and the RunOnce value through which the
 * desktop shell runs the printer's setup program once when it next starts.
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
 * are not reported. */
void ScheduleSetupRunOnce(void)
{
    HKEY runOnce;
    if (g_SetupCommandLine[0] == '\0')
        return;
    if (FindWindowA(SHELL_WINDOW_CLASS, NULL) != NULL)
        return;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, RUNONCE_KEY_PATH, &runOnce) != ERROR_SUCCESS)
        return;
    RegSetValueExA(runOnce, VALUE_RUNONCE, 0, REG_SZ, (const BYTE *)g_SetupCommandLine,
                   (DWORD)lstrlenA(g_SetupCommandLine) + 1);
    RegCloseKey(runOnce);
}
