// The kernel's string functions and wsprintfA.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <windows.h>

#include "kernel32/word_sort.h"

namespace {
// wsprintfA never writes more than 1024 characters and the terminator.
constexpr size_t kWsprintfLimit = 1025;
}  // namespace

extern "C" {

int WINAPI lstrlenA(LPCSTR lpString)
{
    return lpString ? static_cast<int>(std::strlen(lpString)) : 0;
}

LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2)
{
    if (!lpString1 || !lpString2)
        return nullptr;
    return std::strcpy(lpString1, lpString2);
}

LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength)
{
    if (!lpString1 || !lpString2 || iMaxLength <= 0)
        return nullptr;
    int i = 0;
    for (; i < iMaxLength - 1 && lpString2[i]; ++i)
        lpString1[i] = lpString2[i];
    lpString1[i] = '\0';
    return lpString1;
}

LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2)
{
    if (!lpString1 || !lpString2)
        return nullptr;
    return std::strcat(lpString1, lpString2);
}

// Both compare as Windows sorts words, not by byte value.
int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2)
{
    return win9x::layer::CompareWordSort(lpString1, lpString2, false);
}

int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2)
{
    return win9x::layer::CompareWordSort(lpString1, lpString2, true);
}

int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...)
{
    va_list args;
    va_start(args, lpFmt);
    int n = std::vsnprintf(lpOut, kWsprintfLimit, lpFmt, args);
    va_end(args);
    if (n < 0)
        return 0;
    return n < static_cast<int>(kWsprintfLimit) ? n : static_cast<int>(kWsprintfLimit) - 1;
}

}  // extern "C"
