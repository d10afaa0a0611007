/*
 * Texts in fixed buffers: registry values read as text and texts composed
 * from a format. Either the whole text fits and ends inside its buffer, or
 * the operation reports that it does not fit; nothing is cut short.
 */
#include <stdarg.h>
#include <stdio.h>

#include <windows.h>

#include "usbcheck.h"

/* Reads a value as text into a buffer of `size` bytes and returns the
 * registry's result. On success the text ends inside the buffer, even when
 * the stored value has no terminating zero of its own; a value that fills
 * the whole buffer without one does not fit and answers ERROR_MORE_DATA, as
 * a longer value does. On any failure the text is empty. */
LONG ReadTextValue(HKEY hKey, LPCSTR valueName, char *text, DWORD size)
{
    if (size == 0)
        return ERROR_MORE_DATA;

    DWORD length = size;
    LONG result = RegQueryValueExA(hKey, valueName, NULL, NULL, (LPBYTE)text, &length);

    if (result == ERROR_SUCCESS) {
        if (length < size)
            text[length] = '\0';
        else if (text[size - 1] != '\0')
            result = ERROR_MORE_DATA;
    }
    if (result != ERROR_SUCCESS)
        text[0] = '\0';
    return result;
}

/* Composes a text from a format into a buffer of `size` bytes. Returns FALSE,
 * with an empty text, when the whole text does not fit. */
BOOL FormatText(char *text, size_t size, LPCSTR format, ...)
{
    if (size == 0)
        return FALSE;

    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(text, size, format, arguments);
    va_end(arguments);

    if (length >= 0 && (size_t)length < size)
        return TRUE;
    text[0] = '\0';
    return FALSE;
}
