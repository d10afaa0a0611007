/*
 * Text copies: the monitor keeps its own zero-filled copy of every text it
 * holds on to (names, device paths, descriptions), sized exactly.
 */
#include <string.h>

#include "monitor.h"

/* Returns a copy of the text in a new allocation that the caller releases
 * with LocalFree, or null when the text is null or memory runs out. */
LPSTR CopyText(LPCSTR text)
{
    if (text == NULL)
        return NULL;
    SIZE_T size = (SIZE_T)lstrlenA(text) + 1;
    LPSTR copy = (LPSTR)LocalAlloc(LPTR, size);
    if (copy != NULL)
        memcpy(copy, text, size);
    return copy;
}

/* Releases a text made by CopyText; a null text is left alone. */
void FreeText(LPSTR text)
{
    if (text != NULL)
        LocalFree(text);
}
