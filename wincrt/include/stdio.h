// stdio.h of the deliverables' Windows runtime: the bounded formatter and
// nothing else. It stands in for the C library's header, so that a program
// that would need more of the C runtime fails to build instead of importing
// it; format.cpp says which conversions it knows.
#pragma once

#include <stdarg.h>
#include <stddef.h>

extern "C" {
int snprintf(char *buffer, size_t size, const char *format, ...) __attribute__((format(gnu_printf, 3, 4)));
int vsnprintf(char *buffer, size_t size, const char *format, va_list arguments)
    __attribute__((format(gnu_printf, 3, 0)));
}
