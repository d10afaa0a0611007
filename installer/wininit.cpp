/*
 * File work at the next start of Windows: entries of the rename section of
 * "wininit.ini" (target=source moves source over target, NUL=source deletes
 * source). New entries always go behind the existing ones, which stay as
 * they are, equal keys included. Agents running at once take turns on the
 * section under a named mutex, so that none drops another's entries.
 */
#include <string.h>
#include <windows.h>

#include "agent.h"

/* Waits for the rename section's lock; NULL when it cannot be had in time.
 * An owner that ended without releasing it leaves it to us. */
static HANDLE LockRenameSection(void)
{
    HANDLE mutex = CreateMutexA(NULL, FALSE, RENAME_MUTEX_NAME);
    DWORD wait;
    if (mutex == NULL)
        return NULL;
    wait = WaitForSingleObject(mutex, RENAME_MUTEX_WAIT);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return NULL;
    }
    return mutex;
}

/* Releases the rename section's lock. */
static void UnlockRenameSection(HANDLE mutex)
{
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

/* Appends the entry to the section image of count characters in the
 * section buffer and writes the section back. A section that came back cut
 * short is not written back, so that no entry behind the cut is lost. */
static DWORD WriteSectionWithEntry(DWORD count, LPCSTR entry)
{
    size_t length = strlen(entry);
    if (count >= SECTION_READ_CAPACITY - 2)
        return ERROR_CAN_NOT_COMPLETE;
    /* Over the closing zero, behind the last entry's zero byte. */
    memcpy(g_SectionBuffer + count, entry, length + 1);
    g_SectionBuffer[count + length + 1] = '\0';
    if (!WritePrivateProfileSectionA(RENAME_SECTION, g_SectionBuffer, WININIT_FILE))
        return ERROR_CAN_NOT_COMPLETE;
    return ERROR_SUCCESS;
}

/* Answers whether the rename section holds an entry of the key. */
static BOOL IsRenameKeyPresent(LPCSTR key)
{
    char probe[4];
    GetPrivateProfileStringA(RENAME_SECTION, key, "\x01", probe, sizeof probe, WININIT_FILE);
    return strcmp(probe, "\x01") != 0;
}

/* Adds the entry key=value as the last line of the rename section. 0 when
 * it was written; 1003 when not, also for an entry over 259 characters or
 * when the lock cannot be had, in which cases the file is untouched. */
DWORD AppendRenameEntry(LPCSTR key, LPCSTR value)
{
    char entry[AGENT_TEXT_SIZE];
    HANDLE lock;
    DWORD count;
    DWORD result;

    entry[0] = '\0';
    if (!AppendText(entry, sizeof entry, key) || !AppendText(entry, sizeof entry, "=") ||
        !AppendText(entry, sizeof entry, value))
        return ERROR_CAN_NOT_COMPLETE;

    lock = LockRenameSection();
    if (lock == NULL)
        return ERROR_CAN_NOT_COMPLETE;
    count = GetPrivateProfileSectionA(RENAME_SECTION, g_SectionBuffer, SECTION_READ_CAPACITY, WININIT_FILE);
    if (count == 0) {
        /* No file, no section or an empty one: the single entry. A read
         * that failed also gives 0; the profile write would then replace
         * the first entry of the same key, so an entry of the key there
         * means the section is not empty and nothing is written. */
        if (IsRenameKeyPresent(key))
            result = ERROR_CAN_NOT_COMPLETE;
        else
            result = WritePrivateProfileStringA(RENAME_SECTION, key, value, WININIT_FILE)
                         ? ERROR_SUCCESS
                         : ERROR_CAN_NOT_COMPLETE;
    } else {
        result = WriteSectionWithEntry(count, entry);
    }
    UnlockRenameSection(lock);
    return result;
}

/* Schedules a file's deletion at the next start of Windows. */
DWORD ScheduleDeleteOnRestart(LPCSTR path)
{
    return AppendRenameEntry(RENAME_DELETE_KEY, path);
}
