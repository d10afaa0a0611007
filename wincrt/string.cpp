// String functions on 8-bit texts. Characters compare as unsigned bytes, as
// the C library's do.
#include "wincrt.h"

extern "C" size_t WINCRT_NAME(strlen)(const char *text)
{
    const char *end = text;
    while (*end != '\0')
        end++;
    return (size_t)(end - text);
}

// The terminating zero counts as part of the text: looking for '\0' finds it.
extern "C" char *WINCRT_NAME(strchr)(const char *text, int c)
{
    for (;; text++) {
        if (*text == (char)c)
            return (char *)text;
        if (*text == '\0')
            return NULL;
    }
}

extern "C" int WINCRT_NAME(strncmp)(const char *left, const char *right, size_t count)
{
    for (; count > 0; left++, right++, count--) {
        unsigned char l = (unsigned char)*left;
        unsigned char r = (unsigned char)*right;
        if (l != r)
            return l < r ? -1 : 1;
        if (l == '\0')
            return 0;
    }
    return 0;
}

extern "C" int WINCRT_NAME(strcmp)(const char *left, const char *right)
{
    return WINCRT_NAME(strncmp)(left, right, (size_t)-1);
}

// An empty text is found at the start of any text.
extern "C" char *WINCRT_NAME(strstr)(const char *text, const char *wanted)
{
    size_t length = WINCRT_NAME(strlen)(wanted);
    for (;; text++) {
        if (WINCRT_NAME(strncmp)(text, wanted, length) == 0)
            return (char *)text;
        if (*text == '\0')
            return NULL;
    }
}

extern "C" char *WINCRT_NAME(strpbrk)(const char *text, const char *set)
{
    for (; *text != '\0'; text++) {
        if (WINCRT_NAME(strchr)(set, *text) != NULL)
            return (char *)text;
    }
    return NULL;
}

extern "C" size_t WINCRT_NAME(strspn)(const char *text, const char *set)
{
    size_t length = 0;
    while (text[length] != '\0' && WINCRT_NAME(strchr)(set, text[length]) != NULL)
        length++;
    return length;
}
