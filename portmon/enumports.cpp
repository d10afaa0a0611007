/*
 * Port enumeration: EnumPorts answers the spooler from the port list with
 * level-1 or level-2 port records at the start of the caller's buffer and
 * their texts packed against its end.
 */
#include <string.h>

#include "monitor.h"

/* Offsets of the text pointers that PackStrings fills, per level. */
static const DWORD PortInfo1Offsets[] = {offsetof(PORT_INFO_1, pName), PORT_INFO_OFFSETS_END};
static const DWORD PortInfo2Offsets[] = {offsetof(PORT_INFO_2, pPortName), offsetof(PORT_INFO_2, pMonitorName),
                                         offsetof(PORT_INFO_2, pDescription), PORT_INFO_OFFSETS_END};

/* Bytes of one text with its terminator; a null text counts as empty. */
static DWORD TextSize(LPCSTR text)
{
    return text != NULL ? (DWORD)lstrlenA(text) + 1 : 1;
}

/* Bytes that one node needs at a level: its record and its texts. */
DWORD GetPortInfoSize(PPORT_NODE node, DWORD level)
{
    switch (level) {
    case 1:
        return (DWORD)sizeof(PORT_INFO_1) + TextSize(node->Name);
    case 2:
        return (DWORD)sizeof(PORT_INFO_2) + TextSize(node->Name) + TextSize(ReportedMonitorName) +
               TextSize(node->Description);
    default:
        return 0;
    }
}

/* Copies each text below the end address and stores its address in the
 * record's pointer field at the matching offset; a null text stores a null
 * pointer and takes no room. Fields are written bytewise, so the caller's
 * buffer need not be aligned. Returns the new end address. */
LPBYTE PackStrings(LPCSTR *texts, LPBYTE record, const DWORD *offsets, LPBYTE end)
{
    for (DWORD i = 0; offsets[i] != PORT_INFO_OFFSETS_END; i++) {
        LPSTR field = NULL;
        if (texts[i] != NULL) {
            DWORD size = (DWORD)lstrlenA(texts[i]) + 1;
            end -= size;
            memcpy(end, texts[i], size);
            field = (LPSTR)end;
        }
        memcpy(record + offsets[i], &field, sizeof(field));
    }
    return end;
}

/* Writes one node's record at a level and packs its texts below the end
 * address. Returns the new end address. */
LPBYTE WritePortInfo(PPORT_NODE node, DWORD level, LPBYTE record, LPBYTE end)
{
    if (level == 1) {
        LPCSTR texts[] = {node->Name};
        return PackStrings(texts, record, PortInfo1Offsets, end);
    }
    if (level == 2) {
        DWORD portType = PORT_TYPE_WRITE | PORT_TYPE_READ;
        DWORD reserved = 0;
        memcpy(record + offsetof(PORT_INFO_2, fPortType), &portType, sizeof(portType));
        memcpy(record + offsetof(PORT_INFO_2, Reserved), &reserved, sizeof(reserved));
        LPCSTR texts[] = {node->Name, ReportedMonitorName, node->Description};
        return PackStrings(texts, record, PortInfo2Offsets, end);
    }
    return end;
}

/* Adds without wrapping: a sum too large for a DWORD stays at the largest
 * value, which no buffer can hold. */
static DWORD AddSize(DWORD sum, DWORD size)
{
    return size > (DWORD)-1 - sum ? (DWORD)-1 : sum + size;
}

/* The spooler's EnumPorts entry. The size is summed and the records written
 * under one hold of the port-list lock, so both describe the same list.
 * The server name is not looked at; a null buffer counts as 0 bytes. */
BOOL WINAPI EnumPorts(LPSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned)
{
    (void)pName;
    if (Level < 1 || Level > 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (pcbNeeded == NULL || pcReturned == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (pPorts == NULL)
        cbBuf = 0;

    EnterCriticalSection(&PortListLock);
    RebuildPortListIfDue();
    DWORD needed = 0;
    for (PPORT_NODE node = PortList; node != NULL; node = node->Next)
        needed = AddSize(needed, GetPortInfoSize(node, Level));
    *pcbNeeded = needed;
    if (needed > cbBuf) {
        LeaveCriticalSection(&PortListLock);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }

    DWORD recordSize = Level == 1 ? (DWORD)sizeof(PORT_INFO_1) : (DWORD)sizeof(PORT_INFO_2);
    LPBYTE record = pPorts;
    LPBYTE end = pPorts != NULL ? pPorts + cbBuf : NULL;
    *pcReturned = 0;
    for (PPORT_NODE node = PortList; node != NULL; node = node->Next) {
        end = WritePortInfo(node, Level, record, end);
        record += recordSize;
        (*pcReturned)++;
    }
    LeaveCriticalSection(&PortListLock);
    return TRUE;
}
