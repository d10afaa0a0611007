/*
 * The agent's command line: "-action=", "-model=" and "-serial=" in any
 * order, each found at its first occurrence by a plain case-sensitive search.
 */
#include <string.h>
#include <windows.h>

#include "agent.h"

/* Decimal conversion of the action value: leading white space and a sign
 * are accepted, digits are read up to the first other character, no digits
 * give 0. Values beyond the 32-bit range stay at its ends, so that no huge
 * number wraps round to an action. */
LONG ParseDecimal(LPCSTR text)
{
    const long long limit = 2147483648LL;
    long long value = 0;
    BOOL negative = FALSE;
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        text++;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        text++;
    }
    while (*text >= '0' && *text <= '9') {
        value = value * 10 + (*text - '0');
        if (value > limit)
            value = limit;
        text++;
    }
    if (negative)
        return (LONG)-value;
    return (LONG)(value >= limit ? limit - 1 : value);
}

/* Finds key in text and copies the value behind it, which ends before the
 * first stop character or at the end of the text. FALSE when the key is
 * missing or the value does not fit; dest is then unchanged. */
BOOL TakeOptionValue(LPCSTR text, LPCSTR key, char stop, LPSTR dest, size_t size)
{
    LPCSTR start = strstr(text, key);
    LPCSTR end;
    size_t length;
    if (start == NULL)
        return FALSE;
    start += strlen(key);
    end = strchr(start, stop);
    length = end != NULL ? (size_t)(end - start) : strlen(start);
    if (length >= size)
        return FALSE;
    memcpy(dest, start, length);
    dest[length] = '\0';
    return TRUE;
}

/* Reads the three options from the command-line text into the run state; a
 * missing option leaves its item as it was. The model ends before the next
 * '-', so it may hold blanks; the one blank before a following option is
 * dropped. */
void ParseCommandLine(void)
{
    char value[AGENT_TEXT_SIZE];
    size_t length;
    if (TakeOptionValue(g_CmdLineText, "-action=", ' ', value, sizeof value))
        g_Action = ParseDecimal(value);
    if (TakeOptionValue(g_CmdLineText, "-model=", '-', g_Model, sizeof g_Model)) {
        length = strlen(g_Model);
        if (length > 0 && g_Model[length - 1] == ' ')
            g_Model[length - 1] = '\0';
    }
    TakeOptionValue(g_CmdLineText, "-serial=", ' ', g_Serial, sizeof g_Serial);
}
