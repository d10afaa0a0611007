// Memory functions: byte by byte, for the few small copies the deliverables
// make. Built without builtins, so that the compiler does not turn these
// loops back into calls of themselves.
#include <stdint.h>

#include "wincrt.h"

extern "C" void *WINCRT_NAME(memcpy)(void *dest, const void *src, size_t count)
{
    unsigned char *to = (unsigned char *)dest;
    const unsigned char *from = (const unsigned char *)src;
    while (count-- > 0)
        *to++ = *from++;
    return dest;
}

// Copies front to back when the destination lies below the source, else
// back to front, so that overlapping ranges come out right.
extern "C" void *WINCRT_NAME(memmove)(void *dest, const void *src, size_t count)
{
    unsigned char *to = (unsigned char *)dest;
    const unsigned char *from = (const unsigned char *)src;
    if ((uintptr_t)to <= (uintptr_t)from) {
        while (count-- > 0)
            *to++ = *from++;
    } else {
        while (count-- > 0)
            to[count] = from[count];
    }
    return dest;
}

extern "C" void *WINCRT_NAME(memset)(void *dest, int value, size_t count)
{
    unsigned char *to = (unsigned char *)dest;
    while (count-- > 0)
        *to++ = (unsigned char)value;
    return dest;
}

extern "C" void *WINCRT_NAME(memchr)(const void *buffer, int value, size_t count)
{
    const unsigned char *p = (const unsigned char *)buffer;
    for (; count > 0; p++, count--) {
        if (*p == (unsigned char)value)
            return (void *)p;
    }
    return NULL;
}
