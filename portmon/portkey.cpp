/*
 * The device interface key: the port's name and enabled value are read from
 * it, and the name is stored there as PortName the first time it is
 * composed. Once stored, PortName is used unchanged.
 */
#include <string.h>

#include "ovlcommon.h"
#include "monitor.h"

/* A registry result counts as present when it succeeded or only reported a
 * short buffer; anything else, ERROR_MORE_DATA included, counts as missing. */
static BOOL IsPresent(LONG result)
{
    return result == ERROR_SUCCESS || result == ERROR_INSUFFICIENT_BUFFER;
}

/* Reads a text value into a zero-filled buffer of the given size. A value
 * that is missing, or that fills the buffer without a terminator, counts as
 * missing, so the buffer always holds a terminated text on success. */
BOOL ReadKeyText(HKEY key, LPCSTR valueName, LPSTR buffer, DWORD size)
{
    DWORD cb = size;
    ZeroMemory(buffer, size);
    if (!IsPresent(RegQueryValueExA(key, valueName, NULL, NULL, (LPBYTE)buffer, &cb)))
        return FALSE;
    return memchr(buffer, '\0', size) != NULL;
}

/* Stores the port name as the key's PortName, with its terminator. */
BOOL StorePortName(HKEY key, LPCSTR name)
{
    DWORD size = (DWORD)lstrlenA(name) + 1;
    return IsPresent(RegSetValueExA(key, OVL_VALUE_PORT_NAME, 0, REG_SZ, (const BYTE *)name, size));
}

/* Composes "USB/" + product + "/" + serial into a buffer of
 * OVL_PORT_NAME_BUFFER bytes. A name longer than OVL_PORT_NAME_MAX
 * characters is refused and the buffer left as it was. */
BOOL ComposePortName(LPSTR name, LPCSTR product, LPCSTR serial)
{
    SIZE_T prefixLength = sizeof(OVL_PORT_PREFIX) - 1;
    SIZE_T separatorLength = sizeof(OVL_PORT_SEPARATOR) - 1;
    SIZE_T productLength = strlen(product);
    SIZE_T serialLength = strlen(serial);
    if (productLength > OVL_PORT_NAME_MAX || serialLength > OVL_PORT_NAME_MAX ||
        prefixLength + productLength + separatorLength + serialLength > OVL_PORT_NAME_MAX)
        return FALSE;

    LPSTR p = name;
    memcpy(p, OVL_PORT_PREFIX, prefixLength);
    p += prefixLength;
    memcpy(p, product, productLength);
    p += productLength;
    memcpy(p, OVL_PORT_SEPARATOR, separatorLength);
    p += separatorLength;
    memcpy(p, serial, serialLength);
    p[serialLength] = '\0';
    return TRUE;
}

/* Finds the port name and enabled value of one interface from its key, into
 * a name buffer of OVL_PORT_NAME_BUFFER bytes. Returns FALSE when the
 * interface is to be left out of the port list: the key cannot be asked for
 * its values, PortName is missing and cannot be composed and stored, or the
 * key has values but no readable Enabled. A key without any values gets the
 * default name stored and counts as enabled. */
BOOL ReadPortKey(HKEY key, LPSTR name, LPDWORD enabled)
{
    CHAR className[MAX_PATH];
    DWORD classLength = sizeof(className);
    DWORD values = 0;
    if (RegQueryInfoKeyA(key, className, &classLength, NULL, NULL, NULL, NULL, &values, NULL, NULL, NULL, NULL) !=
        ERROR_SUCCESS)
        return FALSE;

    if (values == 0) {
        lstrcpyA(name, OVL_PORT_PREFIX OVL_PORT_DEFAULT_TAIL);
        *enabled = 1;
        return StorePortName(key, name);
    }

    BOOL result = TRUE;
    if (!ReadKeyText(key, OVL_VALUE_PORT_NAME, name, OVL_PORT_NAME_BUFFER)) {
        CHAR serial[OVL_PORT_NAME_BUFFER];
        CHAR product[OVL_PORT_NAME_BUFFER];
        if (!ReadKeyText(key, OVL_VALUE_SERIAL_NUMBER, serial, sizeof(serial)) ||
            !ReadKeyText(key, OVL_VALUE_PRODUCT, product, sizeof(product)) ||
            !ComposePortName(name, product, serial) || !StorePortName(key, name))
            result = FALSE;
    }

    DWORD size = sizeof(DWORD);
    *enabled = 0;
    if (RegQueryValueExA(key, OVL_VALUE_ENABLED, NULL, NULL, (LPBYTE)enabled, &size) != ERROR_SUCCESS)
        return FALSE;
    return result;
}
