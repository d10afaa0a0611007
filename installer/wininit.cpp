/*
 * File work at the next start of Windows: entries of the rename section of
 * "wininit.ini" (target=source moves source over target, NUL=source deletes
 * source). New entries always go behind the existing ones, which stay as
 * they are, equal keys included; the one change to existing entries is an
 * install taking back the deletions of files it needs. Agents running at
 * once take turns on the section under a named mutex, so that none drops
 * another's entries.
 */
#include <string.h>
#include <windows.h>

#include "agent.h"

/* Reads the rename section's image into the section buffer and gives its
 * count of characters: 0 for no file, no section or an empty one. FALSE when
 * the image cannot be written back whole: the read failed (the profile
 * functions answer 0 then too and tell it only by the last error; no file
 * at all is ERROR_FILE_NOT_FOUND), or the section came back cut short. */
static BOOL ReadRenameSection(DWORD *count)
{
    DWORD error;
    SetLastError(ERROR_SUCCESS);
    *count = GetPrivateProfileSectionA(RENAME_SECTION, g_SectionBuffer, SECTION_READ_CAPACITY, WININIT_FILE);
    error = GetLastError();
    if (*count == 0)
        return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND;
    return *count < SECTION_READ_CAPACITY - 2;
}

/* Appends the entry to the section image of count characters in the
 * section buffer and writes the section back. */
static DWORD WriteSectionWithEntry(DWORD count, LPCSTR entry)
{
    size_t length = strlen(entry);
    /* Over the closing zero, behind the last entry's zero byte. */
    memcpy(g_SectionBuffer + count, entry, length + 1);
    g_SectionBuffer[count + length + 1] = '\0';
    if (!WritePrivateProfileSectionA(RENAME_SECTION, g_SectionBuffer, WININIT_FILE))
        return ERROR_CAN_NOT_COMPLETE;
    return ERROR_SUCCESS;
}

/* Adds the entry key=value as the last line of the rename section. 0 when
 * it was written; 1003 when not, also for an entry over 259 characters, when
 * the lock cannot be had or when the section cannot be read whole, in which
 * cases the file is untouched. */
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

    lock = TakeNamedLock(RENAME_MUTEX_NAME, RENAME_MUTEX_WAIT);
    if (lock == NULL)
        return ERROR_CAN_NOT_COMPLETE;
    if (!ReadRenameSection(&count)) {
        result = ERROR_CAN_NOT_COMPLETE;
    } else if (count == 0) {
        /* No file, no section or an empty one: the single entry. */
        result = WritePrivateProfileStringA(RENAME_SECTION, key, value, WININIT_FILE)
                     ? ERROR_SUCCESS
                     : ERROR_CAN_NOT_COMPLETE;
    } else {
        result = WriteSectionWithEntry(count, entry);
    }
    ReleaseNamedLock(lock);
    return result;
}

/* Schedules a file's deletion at the next start of Windows. */
DWORD ScheduleDeleteOnRestart(LPCSTR path)
{
    return AppendRenameEntry(RENAME_DELETE_KEY, path);
}

/* Answers whether a section entry is the deletion of one of the paths,
 * "NUL=" and the path, compared as Windows compares file names. */
static BOOL IsDeletionOf(LPCSTR entry, const LPCSTR *paths, size_t count)
{
    char deletion[AGENT_TEXT_SIZE];
    size_t index;
    for (index = 0; index < count; index++) {
        deletion[0] = '\0';
        if (AppendText(deletion, sizeof deletion, RENAME_DELETE_KEY "=") &&
            AppendText(deletion, sizeof deletion, paths[index]) && lstrcmpiA(entry, deletion) == 0)
            return TRUE;
    }
    return FALSE;
}

/* Takes out of the section image of count characters in the section buffer
 * every deletion of one of the paths, keeping the other entries in their
 * order. Gives the count of the image left. */
static DWORD RemoveDeletions(DWORD count, const LPCSTR *paths, size_t pathCount)
{
    DWORD read = 0;
    DWORD kept = 0;
    while (read < count && g_SectionBuffer[read] != '\0') {
        size_t size = strlen(g_SectionBuffer + read) + 1;
        if (!IsDeletionOf(g_SectionBuffer + read, paths, pathCount)) {
            memmove(g_SectionBuffer + kept, g_SectionBuffer + read, size);
            kept += (DWORD)size;
        }
        read += (DWORD)size;
    }
    g_SectionBuffer[kept] = '\0';
    g_SectionBuffer[kept + 1] = '\0';
    return kept;
}

/* Takes back the scheduled deletions ("NUL=" entries) of the paths, for an
 * install that needs those files again; every other entry stays as it is.
 * 0 when the section holds no such deletion any more; 1003 when it cannot
 * be read whole, written back, or the lock cannot be had, in which cases
 * the file is untouched. */
DWORD CancelDeletionsOnRestart(const LPCSTR *paths, size_t count)
{
    HANDLE lock = TakeNamedLock(RENAME_MUTEX_NAME, RENAME_MUTEX_WAIT);
    DWORD sectionCount;
    DWORD keptCount;
    DWORD result = ERROR_SUCCESS;
    if (lock == NULL)
        return ERROR_CAN_NOT_COMPLETE;
    if (!ReadRenameSection(&sectionCount)) {
        result = ERROR_CAN_NOT_COMPLETE;
    } else if (sectionCount > 0) {
        keptCount = RemoveDeletions(sectionCount, paths, count);
        if (keptCount != sectionCount &&
            !WritePrivateProfileSectionA(RENAME_SECTION, g_SectionBuffer, WININIT_FILE))
            result = ERROR_CAN_NOT_COMPLETE;
    }
    ReleaseNamedLock(lock);
    return result;
}
