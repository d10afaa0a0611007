// Version, clock and process identity as the machine's settings define them.
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "machine/machine.h"

namespace {

std::mutex g_overrideMutex;
std::optional<uint32_t> g_tickOverride;
std::optional<win9x::machine::WindowsVersion> g_versionOverride;

struct VersionRecord {
    DWORD major, minor, build, platform;
    const char *csd;
};

VersionRecord RecordFor(win9x::machine::WindowsVersion version)
{
    using win9x::machine::WindowsVersion;
    switch (version) {
    case WindowsVersion::Win95: return {4, 0, 950, VER_PLATFORM_WIN32_WINDOWS, ""};
    case WindowsVersion::Win98: return {4, 10, 1998, VER_PLATFORM_WIN32_WINDOWS, " A "};
    case WindowsVersion::WinMe: return {4, 90, 3000, VER_PLATFORM_WIN32_WINDOWS, " "};
    case WindowsVersion::NT4: return {4, 0, 1381, VER_PLATFORM_WIN32_NT, "Service Pack 6"};
    }
    return {4, 10, 1998, VER_PLATFORM_WIN32_WINDOWS, ""};
}

}  // namespace

namespace win9x::layer {

machine::WindowsVersion EffectiveVersion()
{
    {
        std::lock_guard<std::mutex> guard(g_overrideMutex);
        if (g_versionOverride)
            return *g_versionOverride;
    }
    auto m = CurrentMachine();
    return m ? m->version : machine::WindowsVersion::Win98;
}

}  // namespace win9x::layer

namespace win9x::machine {

void OverrideTickCount(std::optional<uint32_t> ticks)
{
    std::lock_guard<std::mutex> guard(g_overrideMutex);
    g_tickOverride = ticks;
}

void OverrideVersion(std::optional<WindowsVersion> version)
{
    std::lock_guard<std::mutex> guard(g_overrideMutex);
    g_versionOverride = version;
}

}  // namespace win9x::machine

extern "C" {

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation)
{
    if (!lpVersionInformation || lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    VersionRecord record = RecordFor(win9x::layer::EffectiveVersion());
    lpVersionInformation->dwMajorVersion = record.major;
    lpVersionInformation->dwMinorVersion = record.minor;
    // Windows 9x keeps the version in the build number's high word.
    lpVersionInformation->dwBuildNumber = record.platform == VER_PLATFORM_WIN32_NT
                                              ? record.build
                                              : (record.major << 24) | (record.minor << 16) | record.build;
    lpVersionInformation->dwPlatformId = record.platform;
    std::memset(lpVersionInformation->szCSDVersion, 0, sizeof(lpVersionInformation->szCSDVersion));
    std::strncpy(lpVersionInformation->szCSDVersion, record.csd, sizeof(lpVersionInformation->szCSDVersion) - 1);
    return TRUE;
}

DWORD WINAPI GetTickCount(void)
{
    {
        std::lock_guard<std::mutex> guard(g_overrideMutex);
        if (g_tickOverride)
            return *g_tickOverride;
    }
    auto m = win9x::layer::CurrentMachine();
    uint64_t boot = m ? m->bootTimeMs : 0;
    // Milliseconds since the machine started, wrapping after 49.7 days.
    return static_cast<DWORD>(win9x::layer::WallClockMs() - boot);
}

// The performance counter counts nanoseconds of the host's monotonic clock.
BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *lpPerformanceCount)
{
    if (!lpPerformanceCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    lpPerformanceCount->QuadPart = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
    return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER *lpFrequency)
{
    if (!lpFrequency) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lpFrequency->QuadPart = 1000000000;
    return TRUE;
}

void WINAPI Sleep(DWORD dwMilliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD WINAPI GetCurrentProcessId(void)
{
    return static_cast<DWORD>(getpid());
}

DWORD WINAPI GetCurrentThreadId(void)
{
    return static_cast<DWORD>(syscall(SYS_gettid));
}

}  // extern "C"
