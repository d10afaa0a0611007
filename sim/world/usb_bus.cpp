#include "world/usb_bus.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "ovlcommon.h"
#include "world/registry_values.h"
#include "world/shown_text.h"
#include "win9x/machine.h"

namespace ovlsim {

namespace {

std::string Lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Product, SerialNumber and Enabled, as the driver writes them.
bool WriteDeviceValues(HKEY key, const PrinterIdentity &identity)
{
    return WriteKeyText(key, OVL_VALUE_PRODUCT, identity.model) &&
           WriteKeyText(key, OVL_VALUE_SERIAL_NUMBER, identity.serial) && WriteKeyNumber(key, OVL_VALUE_ENABLED, 1);
}

bool WriteKeys(const PrinterIdentity &identity)
{
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, identity.EnumKey().c_str(), &key) != ERROR_SUCCESS)
        return false;
    bool ok = WriteKeyText(key, "DeviceDesc", identity.model) &&
              WriteKeyText(key, "HardwareID", "USB\\" + identity.HardwareId()) && WriteKeyText(key, "Mfg", "Orvane") &&
              WriteDeviceValues(key, identity);
    RegCloseKey(key);
    if (!ok || RegCreateKeyA(HKEY_LOCAL_MACHINE, identity.InterfaceKey().c_str(), &key) != ERROR_SUCCESS)
        return false;
    ok = WriteKeyText(key, "DeviceInstance", identity.InstanceId());
    RegCloseKey(key);
    // The interface's link lies in its "#" key, as on Windows; the values
    // the driver writes lie in the interface's own key below it.
    std::string link = identity.InterfaceKey() + "\\#";
    if (!ok || RegCreateKeyA(HKEY_LOCAL_MACHINE, link.c_str(), &key) != ERROR_SUCCESS)
        return false;
    ok = WriteKeyText(key, "SymbolicLink", identity.DevicePath());
    RegCloseKey(key);
    if (!ok || identity.valuesPending)
        return ok;
    std::string parameters = link + "\\Device Parameters";
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, parameters.c_str(), &key) != ERROR_SUCCESS)
        return false;
    ok = WriteDeviceValues(key, identity);
    RegCloseKey(key);
    return ok;
}

}  // namespace

std::string PrinterIdentity::HardwareId() const
{
    return std::string("VID_") + OVL_USB_VENDOR_ID + "&PID_" + productId;
}

std::string PrinterIdentity::InstanceId() const
{
    return "USB\\" + HardwareId() + "\\" + serial;
}

std::string PrinterIdentity::EnumKey() const
{
    return "Enum\\" + InstanceId();
}

std::string PrinterIdentity::InterfaceKey() const
{
    return std::string("System\\CurrentControlSet\\Control\\DeviceClasses\\") + OVL_INTERFACE_CLASS_TEXT +
           "\\##?#USB#" + HardwareId() + "#" + serial + "#" + OVL_INTERFACE_CLASS_TEXT;
}

std::string PrinterIdentity::DevicePath() const
{
    return "\\\\?\\usb#" + Lower(HardwareId()) + "#" + Lower(serial) + "#" + OVL_INTERFACE_CLASS_TEXT;
}

std::string PrinterIdentity::PortName() const
{
    return std::string(OVL_PORT_PREFIX) + model + OVL_PORT_SEPARATOR + serial;
}

bool ValidateSerial(const std::string &serial, std::string *error)
{
    if (serial.empty()) {
        *error = "the serial number must not be empty";
        return false;
    }
    if (serial.find_first_of(" /\\") != std::string::npos || HasControlCharacter(serial)) {
        *error = "a serial number cannot hold a blank, a '/', a backslash or a control character: " + Shown(serial);
        return false;
    }
    return true;
}

bool ValidateModel(const std::string &model, std::string *error)
{
    if (model.empty()) {
        *error = "the model must not be empty";
        return false;
    }
    if (model.find_first_of("/\\-") != std::string::npos || HasControlCharacter(model)) {
        *error = "a model cannot hold a '/', a backslash, a '-' or a control character: " + Shown(model);
        return false;
    }
    return true;
}

bool ValidateIdentity(PrinterIdentity *identity, std::string *error)
{
    if (!ValidateModel(identity->model, error) || !ValidateSerial(identity->serial, error))
        return false;
    if (identity->productId.size() != 4 ||
        identity->productId.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        *error = "a USB product ID is four hex digits, not " + Shown(identity->productId);
        return false;
    }
    for (char &c : identity->productId)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (identity->PortName().size() > OVL_PORT_NAME_MAX) {
        *error = "the port name would be longer than 255 characters";
        return false;
    }
    return true;
}

bool AnnounceDevice(const PrinterIdentity &identity, std::string *error)
{
    if (!win9x::machine::RegistryTransaction([&] { return WriteKeys(identity); })) {
        *error = "cannot write the device keys of " + identity.InstanceId();
        return false;
    }
    std::string deviceId = "MFG:Orvane;MDL:" + identity.model + ";CMD:OVL;CLS:PRINTER;DES:Orvane " +
                           identity.model + ";";
    if (!win9x::machine::AddPrinter(identity.InstanceId(), identity.serial, deviceId)) {
        *error = "cannot add " + identity.InstanceId() + " to the machine's hardware";
        return false;
    }
    return true;
}

bool IsKnownPrinter(const PrinterIdentity &identity)
{
    return win9x::machine::FindPrinter(identity.InstanceId()).has_value();
}

bool SetAttached(const std::string &instanceId, bool attached, std::string *error)
{
    if (!win9x::machine::FindPrinter(instanceId)) {
        *error = "no printer " + instanceId;
        return false;
    }
    // Only the attachment changes: paper a job used meanwhile stays used.
    win9x::machine::PrinterChange change;
    change.attached = attached;
    if (!win9x::machine::ChangePrinter(instanceId, change)) {
        *error = "cannot change the state of " + instanceId;
        return false;
    }
    return true;
}

}  // namespace ovlsim
