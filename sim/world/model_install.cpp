#include "world/model_install.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "world/host_files.h"
#include "world/registry_values.h"
#include "ovlcommon.h"
#include "win9x/machine.h"

namespace ovlsim {

namespace {

constexpr const char *kModelKeys = "Software\\Orvane\\OVLIO\\";
constexpr const char *kStaticConfig = "System\\CurrentControlSet\\Services\\Ovlion00\\Parameters\\StaticDeviceConfig\\";
constexpr const char *kDriverClass = "System\\CurrentControlSet\\Services\\Class\\USB Sorrelink";
constexpr const char *kInterfaceClass = "System\\CurrentControlSet\\Services\\Class\\" OVL_INTERFACE_CLASS_TEXT;

const char kInfText[] =
    "; Driver package of the Orvane Sorrelink USB printers (emulated machine)\r\n"
    "[Version]\r\nSignature=\"$CHICAGO$\"\r\nClass=USB Sorrelink\r\nProvider=%Orvane%\r\n\r\n"
    "[Manufacturer]\r\n%Orvane%=Orvane.Models\r\n\r\n"
    "[Orvane.Models]\r\n%Sorrelink640%=Sorrelink.Install,USB\\VID_7E51&PID_0114\r\n\r\n"
    "[Sorrelink.Install]\r\nCopyFiles=Sorrelink.Driver,Sorrelink.System\r\nAddReg=Sorrelink.AddReg\r\n\r\n"
    "[Strings]\r\nOrvane=\"Orvane\"\r\nSorrelink640=\"Orvane Sorrelink 640/880 Series\"\r\n";

bool WithKey(const std::string &path, bool (*fill)(HKEY, const PrinterIdentity &), const PrinterIdentity &identity)
{
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key) != ERROR_SUCCESS)
        return false;
    bool ok = fill(key, identity);
    RegCloseKey(key);
    return ok;
}

// The model key: the setup settings, and one PortName<n> per printer.
bool FillModelKey(HKEY key, const PrinterIdentity &identity)
{
    if (!WriteKeyText(key, "SetupRootPath", kSetupRootPath) || !WriteKeyText(key, "SetupExecFile", kSetupExecFile) ||
        !WriteKeyText(key, "SetupParameters", "-v language=english") || !WriteKeyText(key, "ExecFile", "ovlcin00.exe") ||
        !WriteKeyText(key, "ProductID", identity.productId))
        return false;
    for (int n = 1;; ++n) {
        std::string name = "PortName" + std::to_string(n);
        std::string text = ReadKeyText(key, name.c_str());
        if (text == identity.PortName())
            return true;
        if (text.empty())
            return WriteKeyText(key, name.c_str(), identity.PortName());
    }
}

bool FillStaticConfig(HKEY key, const PrinterIdentity &identity)
{
    return WriteKeyText(key, "ProductID", identity.productId) && WriteKeyText(key, "DeviceDesc", identity.model);
}

bool FillInterfaceClass(HKEY key, const PrinterIdentity &)
{
    return WriteKeyText(key, "Class", "USB Sorrelink");
}

// The device's driver key: Class\USB Sorrelink\<nnnn>, the first free number.
bool CreateDriverKey(const PrinterIdentity &identity, std::string *instance)
{
    HKEY classKey = nullptr;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kDriverClass, &classKey) != ERROR_SUCCESS)
        return false;
    bool ok = false;
    for (int n = 0; n < 10000 && !ok; ++n) {
        char number[8];
        std::snprintf(number, sizeof number, "%04d", n);
        HKEY probe = nullptr;
        if (RegOpenKeyExA(classKey, number, 0, KEY_READ, &probe) == ERROR_SUCCESS) {
            RegCloseKey(probe);
            continue;
        }
        HKEY driver = nullptr;
        if (RegCreateKeyA(classKey, number, &driver) != ERROR_SUCCESS)
            break;
        ok = WriteKeyText(driver, "InfPath", kInfName) && WriteKeyText(driver, "DriverDesc", identity.model) &&
             WriteKeyText(driver, "ProviderName", "Orvane");
        RegCloseKey(driver);
        *instance = std::string("USB Sorrelink\\") + number;
    }
    RegCloseKey(classKey);
    return ok;
}

bool WriteInstallKeys(const PrinterIdentity &identity)
{
    std::string driverInstance;
    if (!WithKey(kModelKeys + ModelSuffix(identity.model), FillModelKey, identity) ||
        !WithKey(kStaticConfig + identity.model, FillStaticConfig, identity) ||
        !WithKey(kInterfaceClass, FillInterfaceClass, identity) || !CreateDriverKey(identity, &driverInstance))
        return false;
    HKEY device = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, identity.EnumKey().c_str(), 0, KEY_ALL_ACCESS, &device) != ERROR_SUCCESS)
        return false;
    bool ok = WriteKeyText(device, "driver", driverInstance) && WriteKeyText(device, "Class", "USB Sorrelink");
    RegCloseKey(device);
    return ok;
}

}  // namespace

std::string ModelSuffix(const std::string &model)
{
    size_t skip = model.find_first_not_of("Sorrelink ");
    return skip == std::string::npos ? "" : model.substr(skip);
}

bool InstallModel(const PrinterIdentity &identity, std::string *error)
{
    std::string inf = std::string("C:\\WINDOWS\\INF\\OTHER\\") + kInfName;
    if (!InstallTextFile(inf, kInfText, false, error))
        return false;
    std::string setup = HostBuild("ovlsetup.exe");
    if (setup.empty()) {
        *error = "the host build of the printer's setup program (ovlsetup.exe) is missing; build the project first";
        return false;
    }
    if (!InstallHostFile(setup, std::string(kSetupRootPath) + "\\" + kSetupExecFile, false, error))
        return false;
    if (!win9x::machine::RegistryTransaction([&] { return WriteInstallKeys(identity); })) {
        *error = "cannot write the install keys of " + identity.InstanceId();
        return false;
    }
    return true;
}

}  // namespace ovlsim
