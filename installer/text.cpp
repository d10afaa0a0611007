/*
 * Bounded text building for the agent's fixed-size buffers. A piece that does
 * not fit is refused and the buffer keeps what it held: no text is ever cut
 * and then used.
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "agent.h"

/* Length of a text held in a buffer of size bytes; size when the buffer
 * holds no terminator, so that callers see it as full. */
size_t TextLength(LPCSTR text, size_t size)
{
    size_t length = 0;
    while (length < size && text[length] != '\0')
        length++;
    return length;
}

/* Replaces dest with text when text and its terminator fit in size bytes. */
BOOL CopyText(LPSTR dest, size_t size, LPCSTR text)
{
    size_t length = strlen(text);
    if (length >= size)
        return FALSE;
    memmove(dest, text, length + 1);
    return TRUE;
}

/* Appends text to dest when the whole result fits in size bytes. */
BOOL AppendText(LPSTR dest, size_t size, LPCSTR text)
{
    size_t used = TextLength(dest, size);
    size_t length = strlen(text);
    if (used >= size || length >= size - used)
        return FALSE;
    memmove(dest + used, text, length + 1);
    return TRUE;
}

/* Appends a number in decimal when it fits. */
BOOL AppendNumber(LPSTR dest, size_t size, DWORD number)
{
    char digits[16];
    snprintf(digits, sizeof digits, "%u", (unsigned)number);
    return AppendText(dest, size, digits);
}
