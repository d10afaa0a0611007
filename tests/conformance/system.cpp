// The version the programs see, the Windows directory, and SetupAPI's
// device-interface sets and where their enumeration ends.
#include <string.h>

#include "check.h"

#include <setupapi.h>

namespace conformance {

namespace {

void Version()
{
    OSVERSIONINFOA info;
    memset(&info, 0xbe, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    ok(GetVersionExA(&info), "GetVersionExA");
    ok(info.dwMajorVersion == 4 && info.dwMinorVersion == 10, "Windows 98: %lu.%lu",
       (unsigned long)info.dwMajorVersion, (unsigned long)info.dwMinorVersion);
    ok(info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS, "platform %lu", (unsigned long)info.dwPlatformId);
    ok(HIWORD(info.dwBuildNumber) == 0x040A, "the version in the build number's high word: %lx",
       (unsigned long)info.dwBuildNumber);
    info.dwOSVersionInfoSize = sizeof info - 1;
    ok(!GetVersionExA(&info), "a record of another size is refused");
}

void WindowsDirectory()
{
    char path[MAX_PATH];
    UINT length = GetWindowsDirectoryA(path, sizeof path);
    ok(length == 10 && lstrcmpiA(path, "C:\\WINDOWS") == 0, "C:\\WINDOWS: %u %s", length, path);
    for (UINT size = 10; size <= 12; ++size) {
        char buffer[16];
        memset(buffer, 0x55, sizeof buffer);
        UINT r = GetWindowsDirectoryA(buffer, size);
        if (size < 11)
            ok(r == 11, "%u bytes: the size needed, %u", size, r);
        else
            ok(r == 10 && lstrcmpiA(buffer, "C:\\WINDOWS") == 0, "%u bytes: %u", size, r);
        ok((unsigned char)buffer[size] == 0x55, "nothing past %u bytes", size);
    }
}

void InterfaceSets()
{
    // A class nobody registers interfaces of.
    const GUID none = {0x0badc0de, 0x1234, 0x5678, {0x9a, 0xbc, 0xde, 0xf0, 0x12, 0x34, 0x56, 0x78}};
    const DWORD flagSets[] = {DIGCF_DEVICEINTERFACE, DIGCF_DEVICEINTERFACE | DIGCF_PRESENT};
    for (DWORD flags : flagSets) {
        HDEVINFO set = SetupDiGetClassDevsA(&none, nullptr, nullptr, flags);
        ok(set != INVALID_HANDLE_VALUE, "SetupDiGetClassDevsA, flags %lx", (unsigned long)flags);
        SP_DEVICE_INTERFACE_DATA data;
        memset(&data, 0xbe, sizeof data);
        data.cbSize = sizeof data;
        SetLastError(kSeed);
        ok(!SetupDiEnumDeviceInterfaces(set, nullptr, &none, 0, &data), "no interface at 0");
        ok(GetLastError() == ERROR_NO_MORE_ITEMS, "... ERROR_NO_MORE_ITEMS: %lu", (unsigned long)GetLastError());
        data.cbSize = sizeof data + 1;
        SetLastError(kSeed);
        ok(!SetupDiEnumDeviceInterfaces(set, nullptr, &none, 0, &data), "a record of another size");
        DWORD expected = ERROR_INVALID_USER_BUFFER;
        if (wine_differs("Wine answers a record of another size with ERROR_INVALID_PARAMETER"))
            expected = ERROR_INVALID_PARAMETER;
        ok(GetLastError() == expected, "... %lu", (unsigned long)GetLastError());
        ok(SetupDiDestroyDeviceInfoList(set), "SetupDiDestroyDeviceInfoList");
    }
}

}  // namespace

void SystemChecks()
{
    Version();
    WindowsDirectory();
    InterfaceSets();
}

}  // namespace conformance
