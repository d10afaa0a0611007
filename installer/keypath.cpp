/*
 * Registry walks of the agent: OpenKeyPath opens a key path one component at
 * a time and keeps the parents on the open-key stack, CloseKeyPath closes
 * them again; ReadModelValue reads one text value of a key, and for
 * "PortName" searches the model's numbered port texts for the serial.
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "agent.h"

/* Pushes a key onto the open-key stack; a full stack takes nothing. */
void PushKey(HKEY key)
{
    if (g_KeyStackCount < KEY_STACK_SIZE)
        g_KeyStack[g_KeyStackCount++] = key;
}

/* Pops a key; an empty stack gives HKEY_LOCAL_MACHINE. */
HKEY PopKey(void)
{
    if (g_KeyStackCount <= 0)
        return HKEY_LOCAL_MACHINE;
    return g_KeyStack[--g_KeyStackCount];
}

/* Closes a key of a walk. The predefined root keys are where walks start
 * and are left open. */
static LONG CloseWalkKey(HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT ||
        key == HKEY_USERS)
        return ERROR_SUCCESS;
    return RegCloseKey(key);
}

/* Closes the current key and then the keys on the stack, innermost first,
 * until the stack is empty or a close fails. Gives the last close error. */
DWORD CloseKeyPath(HKEY *current)
{
    DWORD result = 0;
    LONG status = CloseWalkKey(*current);
    if (status != ERROR_SUCCESS)
        result = (DWORD)status;
    while (status == ERROR_SUCCESS && g_KeyStackCount > 0) {
        *current = PopKey();
        status = CloseWalkKey(*current);
        if (status != ERROR_SUCCESS)
            result = (DWORD)status;
    }
    return result;
}

/* Opens one component below the current key and makes it current, its
 * parent going onto the stack. A stack already full counts as a failed
 * open, so that no parent key is ever lost. */
static BOOL OpenComponent(HKEY *current, LPCSTR component)
{
    HKEY next;
    if (g_KeyStackCount >= KEY_STACK_SIZE)
        return FALSE;
    if (RegOpenKeyExA(*current, component, 0, KEY_ALL_ACCESS, &next) != ERROR_SUCCESS)
        return FALSE;
    PushKey(*current);
    *current = next;
    return TRUE;
}

/* Walks a key path from the current key, skipping empty components. After a
 * failed walk every key it opened is closed and the current key is the
 * root again; that is how callers recognise it. leaf (260 bytes, optional)
 * receives the last component opened. A path longer than 259 characters
 * opens nothing. The result is the last key close error, or 0. */
DWORD OpenKeyPath(LPCSTR keyPath, HKEY *current, LPSTR leaf)
{
    char path[AGENT_TEXT_SIZE];
    char *component;
    char *end;
    if (leaf != NULL)
        leaf[0] = '\0';
    if (!CopyText(path, sizeof path, keyPath))
        return 0;
    component = path;
    for (;;) {
        end = strchr(component, '\\');
        if (end != NULL)
            *end = '\0';
        if (component[0] != '\0') {
            if (!OpenComponent(current, component))
                return CloseKeyPath(current);
            if (leaf != NULL)
                CopyText(leaf, AGENT_TEXT_SIZE, component);
        }
        if (end == NULL)
            return 0;
        component = end + 1;
    }
}

/* One step of a walk over a key's subkeys by index: the name at the index,
 * with capacity bytes offered. ERROR_SUCCESS with the name; ERROR_NO_MORE_ITEMS
 * when the walk is to end, at the end of the list or after
 * SUBKEY_WALK_FAILURES indexes in a row whose enumeration failed (an error
 * that lasts would otherwise hold the walk forever); any other code passes
 * this one index over. A name too long for the buffer is passed over too,
 * but is no failure: the subkey is there. failures counts the run of failed
 * indexes and starts at 0. */
LONG NextSubkey(HKEY key, DWORD index, LPSTR name, DWORD capacity, DWORD *failures)
{
    DWORD size = capacity;
    LONG status = RegEnumKeyExA(key, index, name, &size, NULL, NULL, NULL, NULL);
    if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        *failures = 0;
        return status;
    }
    if (status == ERROR_NO_MORE_ITEMS || ++*failures >= SUBKEY_WALK_FAILURES)
        return ERROR_NO_MORE_ITEMS;
    return status;
}

/* Reads a value of an open key as text, with capacity bytes offered (at
 * most 260). A value without a terminator gets one when there is room; one
 * that fills the capacity without it does not fit and gives ERROR_MORE_DATA.
 * On any failure dest is unchanged. */
DWORD QueryTextValue(HKEY key, LPCSTR valueName, LPSTR dest, DWORD capacity)
{
    BYTE data[AGENT_TEXT_SIZE];
    DWORD size = capacity;
    LONG status;
    if (capacity == 0 || capacity > sizeof data)
        return ERROR_INVALID_PARAMETER;
    status = RegQueryValueExA(key, valueName, NULL, NULL, data, &size);
    if (status != ERROR_SUCCESS)
        return (DWORD)status;
    if (size > capacity)
        return ERROR_MORE_DATA;
    if (size == 0 || data[size - 1] != '\0') {
        if (size >= capacity)
            return ERROR_MORE_DATA;
        data[size] = '\0';
    }
    memcpy(dest, data, strlen((const char *)data) + 1);
    return ERROR_SUCCESS;
}

/* Port name search: reads PortName1, PortName2, ... until one contains the
 * serial (an empty serial takes the first). It ends at the first value that
 * cannot be read; then dest is empty and that read's code is the result. */
DWORD SearchPortName(HKEY key, LPSTR dest)
{
    char valueName[32];
    char port[AGENT_TEXT_SIZE];
    DWORD index;
    DWORD status;
    for (index = 1; index != 0; index++) {
        snprintf(valueName, sizeof valueName, "%s%u", OVL_VALUE_PORT_NAME, (unsigned)index);
        status = QueryTextValue(key, valueName, port, AGENT_TEXT_SIZE);
        if (status != ERROR_SUCCESS) {
            dest[0] = '\0';
            return status;
        }
        if (strstr(port, g_Serial) != NULL) {
            memcpy(dest, port, strlen(port) + 1);
            return ERROR_SUCCESS;
        }
    }
    dest[0] = '\0';
    return ERROR_NO_MORE_ITEMS;
}

/* Reads one text value of a key below HKEY_LOCAL_MACHINE into dest (260
 * bytes); the value name "PortName" runs the port name search instead. An
 * empty key path stands for one that could not be built and is taken as a
 * missing key. */
DWORD ReadModelValue(LPCSTR keyPath, LPCSTR valueName, LPSTR dest)
{
    HKEY key;
    LONG status;
    DWORD result;
    if (keyPath[0] == '\0') {
        dest[0] = '\0';
        return ERROR_FILE_NOT_FOUND;
    }
    status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) {
        dest[0] = '\0';
        return (DWORD)status;
    }
    if (strcmp(valueName, OVL_VALUE_PORT_NAME) == 0)
        result = SearchPortName(key, dest);
    else
        result = QueryTextValue(key, valueName, dest, AGENT_TEXT_SIZE);
    status = RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        result = (DWORD)status;
    return result;
}
