// The kernel's string functions and wsprintfA.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <windows.h>

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

int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2)
{
    int r = std::strcmp(lpString1 ? lpString1 : "", lpString2 ? lpString2 : "");
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2)
{
    const unsigned char *a = reinterpret_cast<const unsigned char *>(lpString1 ? lpString1 : "");
    const unsigned char *b = reinterpret_cast<const unsigned char *>(lpString2 ? lpString2 : "");
    for (;; ++a, ++b) {
        int ca = std::tolower(*a);
        int cb = std::tolower(*b);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (!ca)
            return 0;
    }
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
