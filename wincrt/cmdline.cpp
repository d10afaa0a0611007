// The argument text of a program start. Windows hands a program its whole
// command line, program name first; WinMain receives what follows the name.
// A quoted name runs to its closing quote, an unquoted one to the first
// blank or control character; the blanks after it are skipped too. Bytes
// from 0x80 up belong to the name (8-bit and double-byte file names).
#include "wincrt.h"

char *wincrt::ArgumentText(char *commandLine)
{
    static char empty[] = "";
    if (commandLine == NULL)
        return empty;

    unsigned char *p = (unsigned char *)commandLine;
    if (*p == '"') {
        for (p++; *p != '\0' && *p != '"'; p++) {
        }
        if (*p == '"')
            p++;
    } else {
        while (*p > ' ')
            p++;
    }
    while (*p != '\0' && *p <= ' ')
        p++;
    return (char *)p;
}
