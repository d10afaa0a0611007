// SetupAPI's device-interface calls over the machine's registry. Interfaces
// live where Windows keeps them:
//   HKLM\System\CurrentControlSet\Control\DeviceClasses\{class}\##?#<name>
// with the value "DeviceInstance"; the interface's own key (the one the
// driver's values live in) is "#\Device Parameters" below it. The device
// path of an interface is "\\?\" followed by <name> in lower case.
#include <setupapi.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "machine/hardware.h"
#include "machine/api.h"
#include "machine/text.h"

namespace {

constexpr const char *kDeviceClasses = "System\\CurrentControlSet\\Control\\DeviceClasses\\";
constexpr const char *kInterfaceKey = "\\#\\Device Parameters";

struct Interface {
    std::string keyName;  // ##?#USB#VID_7E51&PID_0114#X1#{...}
    bool present = true;  // known only when the set was asked for present ones
};

struct InfoSet {
    GUID classGuid{};
    std::string classText;
    std::vector<Interface> interfaces;
};

std::mutex g_setMutex;
std::set<InfoSet *> g_sets;

std::string GuidText(const GUID &g)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

InfoSet *FindSet(HDEVINFO handle)
{
    std::lock_guard<std::mutex> guard(g_setMutex);
    auto *set = static_cast<InfoSet *>(handle);
    return g_sets.count(set) ? set : nullptr;
}

// The interfaces of a class, in the order the registry keeps them. A class
// no interface was ever registered for has none; a read the registry fails
// ends the walk there with its error, rather than passing over an index that
// every later call fails as well.
DWORD ListInterfaces(const std::string &classText, bool presentOnly, std::vector<Interface> *list)
{
    HKEY classKey = nullptr;
    std::string path = std::string(kDeviceClasses) + classText;
    LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &classKey);
    if (opened != ERROR_SUCCESS)
        return opened == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<DWORD>(opened);
    DWORD error = ERROR_SUCCESS;
    for (DWORD index = 0;; ++index) {
        char name[512];
        DWORD size = sizeof name;
        LONG r = RegEnumKeyExA(classKey, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS && r != ERROR_MORE_DATA) {
            error = static_cast<DWORD>(r);
            break;
        }
        // A name too long for the buffer is no interface of this layer's.
        if (r != ERROR_SUCCESS || std::strncmp(name, "##?#", 4) != 0)
            continue;
        Interface entry{name, true};
        if (presentOnly) {
            // Only the printers plugged in now: look at each device instance.
            entry.present = false;
            HKEY key = nullptr;
            if (RegOpenKeyExA(classKey, name, 0, KEY_READ, &key) == ERROR_SUCCESS) {
                char instance[512] = {};
                DWORD instanceSize = sizeof instance - 1;
                if (RegQueryValueExA(key, "DeviceInstance", nullptr, nullptr, reinterpret_cast<BYTE *>(instance),
                                     &instanceSize) == ERROR_SUCCESS)
                    entry.present = win9x::layer::IsAttached(instance);
                RegCloseKey(key);
            }
        }
        if (!presentOnly || entry.present)
            list->push_back(entry);
    }
    RegCloseKey(classKey);
    return error;
}

// The interface a data record refers to (its Reserved field holds index + 1).
const Interface *FindInterface(InfoSet *set, PSP_DEVICE_INTERFACE_DATA data)
{
    if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || data->Reserved == 0 ||
        data->Reserved > set->interfaces.size())
        return nullptr;
    return &set->interfaces[data->Reserved - 1];
}

std::string DevicePath(const Interface &entry)
{
    return "\\\\?\\" + win9x::layer::ToLower(entry.keyName.substr(4));
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

HKEY FailKey(DWORD error)
{
    SetLastError(error);
    return static_cast<HKEY>(INVALID_HANDLE_VALUE);
}

// Opens or creates (as `reach` does) the interface's own key, or answers
// INVALID_HANDLE_VALUE with the last error set.
template <class Reach>
HKEY InterfaceKey(const char *api, HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data, Reach reach)
{
    if (DWORD injected = win9x::layer::InjectedFailure(api))
        return FailKey(injected);
    InfoSet *set = FindSet(handle);
    if (!set)
        return FailKey(ERROR_INVALID_HANDLE);
    const Interface *entry = FindInterface(set, data);
    if (!entry)
        return FailKey(ERROR_INVALID_PARAMETER);
    std::string path = std::string(kDeviceClasses) + set->classText + "\\" + entry->keyName + kInterfaceKey;
    auto [result, key] = reach(path.c_str());
    if (result != ERROR_SUCCESS)
        return FailKey(static_cast<DWORD>(result));
    return key;
}

}  // namespace

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID *ClassGuid, PCSTR Enumerator, HWND hwndParent, DWORD Flags)
{
    (void)Enumerator;
    (void)hwndParent;
    if (DWORD injected = win9x::layer::InjectedFailure("SetupDiGetClassDevsA")) {
        SetLastError(injected);
        return INVALID_HANDLE_VALUE;
    }
    if (!ClassGuid || !(Flags & DIGCF_DEVICEINTERFACE)) {
        // Only sets of device interfaces of one class are kept here.
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto *set = new InfoSet;
    set->classGuid = *ClassGuid;
    set->classText = GuidText(*ClassGuid);
    if (DWORD error = ListInterfaces(set->classText, (Flags & DIGCF_PRESENT) != 0, &set->interfaces)) {
        delete set;
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard<std::mutex> guard(g_setMutex);
    g_sets.insert(set);
    return set;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID *InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData)
{
    (void)DeviceInfoData;
    if (DWORD injected = win9x::layer::InjectedFailure("SetupDiEnumDeviceInterfaces"))
        return Fail(injected);
    InfoSet *set = FindSet(DeviceInfoSet);
    if (!set)
        return Fail(ERROR_INVALID_HANDLE);
    if (!DeviceInterfaceData || DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (!InterfaceClassGuid || std::memcmp(InterfaceClassGuid, &set->classGuid, sizeof(GUID)) != 0 ||
        MemberIndex >= set->interfaces.size())
        return Fail(ERROR_NO_MORE_ITEMS);
    DeviceInterfaceData->InterfaceClassGuid = set->classGuid;
    DeviceInterfaceData->Flags = set->interfaces[MemberIndex].present ? SPINT_ACTIVE : 0;
    DeviceInterfaceData->Reserved = MemberIndex + 1;
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
                                             DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                             PSP_DEVINFO_DATA DeviceInfoData)
{
    (void)DeviceInfoData;
    if (DWORD injected = win9x::layer::InjectedFailure("SetupDiGetDeviceInterfaceDetailA"))
        return Fail(injected);
    InfoSet *set = FindSet(DeviceInfoSet);
    if (!set)
        return Fail(ERROR_INVALID_HANDLE);
    const Interface *entry = FindInterface(set, DeviceInterfaceData);
    if (!entry)
        return Fail(ERROR_INVALID_PARAMETER);
    std::string path = DevicePath(*entry);
    DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    if (!DeviceInterfaceDetailData) {
        // A size query: no buffer and a size of 0.
        if (DeviceInterfaceDetailDataSize != 0)
            return Fail(ERROR_INVALID_USER_BUFFER);
        if (RequiredSize)
            *RequiredSize = needed;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    // As on Windows, the record's size field must be the size of the fixed
    // part of the record, whatever the buffer's size.
    if (DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (DeviceInterfaceDetailDataSize < needed) {
        if (RequiredSize)
            *RequiredSize = needed;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(DeviceInterfaceDetailData->DevicePath, path.c_str(), path.size() + 1);
    if (RequiredSize)
        *RequiredSize = needed;
    return TRUE;
}

HKEY WINAPI SetupDiOpenDeviceInterfaceRegKey(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             DWORD Reserved, REGSAM samDesired)
{
    (void)Reserved;
    return InterfaceKey("SetupDiOpenDeviceInterfaceRegKey", DeviceInfoSet, DeviceInterfaceData, [&](const char *path) {
        HKEY key = nullptr;
        LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, samDesired, &key);
        return std::make_pair(r, key);
    });
}

HKEY WINAPI SetupDiCreateDeviceInterfaceRegKeyA(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                                DWORD Reserved, REGSAM samDesired, HINF InfHandle,
                                                PCSTR InfSectionName)
{
    (void)Reserved;
    (void)InfHandle;
    (void)InfSectionName;
    return InterfaceKey("SetupDiCreateDeviceInterfaceRegKeyA", DeviceInfoSet, DeviceInterfaceData, [&](const char *path) {
        HKEY key = nullptr;
        LONG r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, samDesired, nullptr, &key, nullptr);
        return std::make_pair(r, key);
    });
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet)
{
    std::lock_guard<std::mutex> guard(g_setMutex);
    auto *set = static_cast<InfoSet *>(DeviceInfoSet);
    if (!g_sets.erase(set))
        return Fail(ERROR_INVALID_HANDLE);
    delete set;
    return TRUE;
}

}  // extern "C"
