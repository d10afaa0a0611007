// The deliverables' own runtime for Windows: what the C runtime would give
// them, and no more. The parts below do not touch Windows, so the host tests
// build them too: the Windows build gives them their C names, the host test
// build (WINCRT_HOST_TEST) a prefix, so that they sit beside the host's C
// library without replacing it.
#pragma once

#include <stdarg.h>
#include <stddef.h>

#ifdef WINCRT_HOST_TEST
#define WINCRT_NAME(name) wincrt_test_##name
#else
#define WINCRT_NAME(name) name
#endif

extern "C" {
void *WINCRT_NAME(memcpy)(void *dest, const void *src, size_t count);
void *WINCRT_NAME(memmove)(void *dest, const void *src, size_t count);
void *WINCRT_NAME(memset)(void *dest, int value, size_t count);
void *WINCRT_NAME(memchr)(const void *buffer, int value, size_t count);

size_t WINCRT_NAME(strlen)(const char *text);
char *WINCRT_NAME(strchr)(const char *text, int c);
int WINCRT_NAME(strcmp)(const char *left, const char *right);
int WINCRT_NAME(strncmp)(const char *left, const char *right, size_t count);
char *WINCRT_NAME(strstr)(const char *text, const char *wanted);
char *WINCRT_NAME(strpbrk)(const char *text, const char *set);
size_t WINCRT_NAME(strspn)(const char *text, const char *set);

int WINCRT_NAME(vsnprintf)(char *buffer, size_t size, const char *format, va_list arguments);
int WINCRT_NAME(snprintf)(char *buffer, size_t size, const char *format, ...);
}

namespace wincrt {

// The argument text of a program's command line: what follows the program
// name (quoted or not) and the blanks after it, as WinMain receives it.
char *ArgumentText(char *commandLine);

} // namespace wincrt
