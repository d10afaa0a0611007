// The Windows directory queries, and the directory a test may make this
// process see instead.
#include <windows.h>

#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "machine/api.h"
#include "machine/paths.h"

namespace {
std::mutex g_windowsDirMutex;
std::optional<std::string> g_windowsDirOverride;

// Copies a directory name the way the directory queries do: the length on
// success, or the size needed (with the terminator) when it does not fit.
UINT AnswerDirectory(const std::string &path, LPSTR buffer, UINT size)
{
    if (!buffer || size < path.size() + 1)
        return static_cast<UINT>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<UINT>(path.size());
}

}  // namespace

namespace win9x::machine {

void OverrideWindowsDirectory(std::optional<std::string> path)
{
    std::lock_guard<std::mutex> guard(g_windowsDirMutex);
    g_windowsDirOverride = std::move(path);
}

}  // namespace win9x::machine

extern "C" {

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    if (DWORD injected = win9x::layer::InjectedFailure("GetWindowsDirectoryA")) {
        SetLastError(injected);
        return 0;
    }
    std::string path = win9x::layer::kWindowsDirectory;
    {
        std::lock_guard<std::mutex> guard(g_windowsDirMutex);
        if (g_windowsDirOverride)
            path = *g_windowsDirOverride;
    }
    return AnswerDirectory(path, lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    if (DWORD injected = win9x::layer::InjectedFailure("GetSystemDirectoryA")) {
        SetLastError(injected);
        return 0;
    }
    return AnswerDirectory(win9x::layer::kSystemDirectory, lpBuffer, uSize);
}

}  // extern "C"
