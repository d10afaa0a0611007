// SetupAPI's device interface lists over the registry: a registry that fails
// a read ends the walk with that error instead of passing over it.
#include <setupapi.h>

#include "support/machine_fixture.h"

namespace {

// {4d1e55b2-f16f-11cf-88cb-001111000030}, a class of the test's own.
const GUID kClass = {0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
const char *const kClassKey =
    "System\\CurrentControlSet\\Control\\DeviceClasses\\{4d1e55b2-f16f-11cf-88cb-001111000030}";

class SetupApi : public ovltest::MachineTest {
protected:
    void RegisterInterfaces(int count)
    {
        for (int n = 0; n < count; ++n) {
            HKEY key = nullptr;
            std::string path = std::string(kClassKey) + "\\" + ovltest::Numbered("##?#USB#VID_7E51&PID_0114#X", n) +
                               "#{4d1e55b2-f16f-11cf-88cb-001111000030}";
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key));
            RegCloseKey(key);
        }
    }
    static DWORD Count(HDEVINFO set)
    {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        DWORD index = 0;
        while (SetupDiEnumDeviceInterfaces(set, nullptr, &kClass, index, &data))
            ++index;
        return index;
    }
};

TEST_F(SetupApi, AFailedReadOfTheRegistryIsReportedNotPassedOver)
{
    SetLastError(0xdeadbeef);
    HDEVINFO none = SetupDiGetClassDevsA(&kClass, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    ASSERT_NE(INVALID_HANDLE_VALUE, none);  // no interface was ever registered
    EXPECT_EQ(0u, Count(none));
    SetupDiDestroyDeviceInfoList(none);

    RegisterInterfaces(3);
    for (unsigned nth : {1u, 2u, 3u}) {
        SCOPED_TRACE(nth);
        win9x::machine::FailNthCall("RegEnumKeyExA", nth, ERROR_REGISTRY_IO_FAILED);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(INVALID_HANDLE_VALUE, SetupDiGetClassDevsA(&kClass, nullptr, nullptr, DIGCF_DEVICEINTERFACE));
        EXPECT_EQ(static_cast<DWORD>(ERROR_REGISTRY_IO_FAILED), GetLastError());
    }
    win9x::machine::FailNthCall("RegOpenKeyExA", 1, ERROR_REGISTRY_IO_FAILED);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_HANDLE_VALUE, SetupDiGetClassDevsA(&kClass, nullptr, nullptr, DIGCF_DEVICEINTERFACE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_REGISTRY_IO_FAILED), GetLastError());

    HDEVINFO all = SetupDiGetClassDevsA(&kClass, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    ASSERT_NE(INVALID_HANDLE_VALUE, all);
    EXPECT_EQ(3u, Count(all));
    SetupDiDestroyDeviceInfoList(all);
}

}  // namespace
