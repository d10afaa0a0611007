// The kernel's string helpers and wsprintfA, plus the layer's own text tools.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "layer.h"

namespace win9x::layer {

bool EqualsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string ToLower(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string ToUpper(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool CopyText(std::string_view text, char *buffer, size_t capacity)
{
    if (!buffer || text.size() + 1 > capacity)
        return false;
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return true;
}

}  // namespace win9x::layer

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
