// Drives the port monitor as the spooler would, on both platforms, and
// writes every answer (result, last error, sizes, records) as text, so that
// a run on the stand-in and a run under Wine can be compared line by line.
// The printer's device interface is made by the USB driver on the stand-in
// (ovlsim plug) and with SetupAPI under Wine; either way it is unplugged,
// with Product "Sorrelink 640", SerialNumber "X1" and Enabled 1. On 32-bit
// Windows every call through the monitor's table also checks that the
// function removed its arguments from the stack (table_call.h).
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <setupapi.h>
#include <winspool.h>

#include "monitor9x.h"
#include "table_call.h"

namespace {

constexpr DWORD kSeed = 0xdeadbeef;
const GUID kInterfaceClass = {0x7c2e5a10, 0x3b4f, 0x4d6a, {0x9e, 0x21, 0x5f, 0x8c, 0x0b, 0x1d, 0x2e, 0x3a}};

#ifdef _WIN32
// A device with one interface of the printers' class, and the values the
// driver writes into the interface's key.
bool MakeInterface()
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    SP_DEVINFO_DATA device;
    memset(&device, 0, sizeof device);
    device.cbSize = sizeof device;
    GUID none;
    memset(&none, 0, sizeof none);
    if (set == INVALID_HANDLE_VALUE ||
        !SetupDiCreateDeviceInfoA(set, "OVLTEST", &none, nullptr, nullptr, DICD_GENERATE_ID, &device) ||
        !SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr))
        return false;
    SP_DEVICE_INTERFACE_DATA data;
    memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;
    if (!SetupDiCreateDeviceInterfaceA(set, &device, &kInterfaceClass, nullptr, 0, &data))
        return false;
    HKEY key = SetupDiCreateDeviceInterfaceRegKeyA(set, &data, 0, KEY_ALL_ACCESS, nullptr, nullptr);
    if (key == INVALID_HANDLE_VALUE)
        return false;
    DWORD enabled = 1;
    bool ok = RegSetValueExA(key, "Product", 0, REG_SZ, (const BYTE *)"Sorrelink 640", 14) == ERROR_SUCCESS &&
              RegSetValueExA(key, "SerialNumber", 0, REG_SZ, (const BYTE *)"X1", 3) == ERROR_SUCCESS &&
              RegSetValueExA(key, "Enabled", 0, REG_DWORD, (const BYTE *)&enabled, 4) == ERROR_SUCCESS;
    RegCloseKey(key);
    SetupDiDestroyDeviceInfoList(set);
    return ok;
}
#endif

const char *Text(const char *text)
{
    return text ? text : "(null)";
}

void PrintRecords(DWORD level, const BYTE *buffer, DWORD count)
{
    for (DWORD i = 0; i < count; ++i) {
        if (level == 1) {
            const PORT_INFO_1A *port = (const PORT_INFO_1A *)buffer + i;
            printf("    port '%s'\n", Text(port->pName));
        } else {
            const PORT_INFO_2A *port = (const PORT_INFO_2A *)buffer + i;
            printf("    port '%s' monitor '%s' description '%s' type %lu\n", Text(port->pPortName),
                   Text(port->pMonitorName), Text(port->pDescription), (unsigned long)port->fPortType);
        }
    }
}

// EnumPorts at one level: the size query, then buffers of needed-1, needed
// and needed+1 bytes.
void EnumLevel(const MONITOR &monitor, DWORD level)
{
    DWORD needed = kSeed;
    DWORD returned = kSeed;
    SetLastError(kSeed);
    BOOL r = TableCall("EnumPorts", monitor.pfnEnumPorts, nullptr, level, nullptr, 0, &needed, &returned);
    printf("EnumPorts level %lu, no buffer: %d error %lu needed %lu returned %lu\n", (unsigned long)level, r,
           (unsigned long)GetLastError(), (unsigned long)needed, (unsigned long)returned);
    if (level < 1 || level > 2 || needed == kSeed || needed == 0)
        return;
    DWORD full = needed;
    for (DWORD size = full - 1; size <= full + 1; ++size) {
        static BYTE buffer[4096];
        memset(buffer, 0x55, sizeof buffer);
        needed = kSeed;
        returned = kSeed;
        SetLastError(kSeed);
        r = TableCall("EnumPorts", monitor.pfnEnumPorts, nullptr, level, buffer, size, &needed, &returned);
        printf("EnumPorts level %lu, %s: %d error %lu needed %lu returned %lu\n", (unsigned long)level,
               size < full ? "needed-1" : (size == full ? "needed" : "needed+1"), r, (unsigned long)GetLastError(),
               (unsigned long)needed, (unsigned long)returned);
        if (r)
            PrintRecords(level, buffer, returned);
    }
}

void OpenAndPrint(const MONITOR &monitor)
{
    const char *names[] = {"USB/Sorrelink 640/X1", "USB/Sorrelink 640/NOPE", "usb/sorrelink 640/x1"};
    for (const char *name : names) {
        char copy[64];
        strcpy(copy, name);
        HANDLE port = (HANDLE)(ULONG_PTR)kSeed;
        SetLastError(kSeed);
        BOOL r = TableCall("OpenPort", monitor.pfnOpenPort, copy, &port);
        printf("OpenPort '%s': %d error %lu\n", name, r, (unsigned long)GetLastError());
        if (!r)
            continue;
        char printer[] = "Sorrelink 640";
        char document[] = "page";
        char datatype[] = "RAW";
        LPSTR docInfo[3] = {document, nullptr, datatype};
        SetLastError(kSeed);
        r = TableCall("StartDocPort", monitor.pfnStartDocPort, port, printer, 1, 1, (LPBYTE)docInfo);
        printf("  StartDocPort: %d error %lu\n", r, (unsigned long)GetLastError());
        SetLastError(kSeed);
        r = TableCall("ClosePort", monitor.pfnClosePort, port);
        printf("  ClosePort: %d error %lu\n", r, (unsigned long)GetLastError());
    }
    char monitorName[] = "X1";
    SetLastError(kSeed);
    BOOL r = TableCall("AddPort", monitor.pfnAddPort, nullptr, nullptr, monitorName);
    printf("AddPort: %d error %lu\n", r, (unsigned long)GetLastError());
}

}  // namespace

int main()
{
#ifdef _WIN32
    if (!MakeInterface()) {
        printf("cannot make the device interface (error %lu)\n", (unsigned long)GetLastError());
        return 1;
    }
#endif
    HMODULE library = LoadLibraryA("ovlpom00.dll");
    if (!library) {
        printf("cannot load ovlpom00.dll (error %lu)\n", (unsigned long)GetLastError());
        return 1;
    }
    PFN_INITIALIZE_MONITOR_EX initialize;
    FARPROC entry = GetProcAddress(library, "InitializeMonitorEx");
    memcpy(&initialize, &entry, sizeof initialize);
    MONITOR monitor;
    memset(&monitor, 0, sizeof monitor);
    char root[] = "System\\CurrentControlSet\\Control\\Print\\Monitors\\X1";
    SetLastError(kSeed);
    BOOL r = entry ? initialize(root, &monitor) : FALSE;
    printf("InitializeMonitorEx: %d\n", r);
    if (!r)
        return 1;
    for (DWORD level = 0; level <= 3; ++level)
        EnumLevel(monitor, level);
    OpenAndPrint(monitor);
    return 0;
}
