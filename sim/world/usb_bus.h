// The USB side of a simulated printer: what its driver announces when it is
// plugged in (the enumeration key and the device interface) and the
// printer itself in the machine's hardware.
#pragma once

#include <string>

namespace ovlsim {

struct PrinterIdentity {
    std::string model;      // e.g. "Sorrelink 640", the interface's Product
    std::string serial;     // e.g. "X1", the interface's SerialNumber
    std::string productId = "0114";  // USB product ID, four hex digits
    // The driver has not yet written the interface's values (Product,
    // SerialNumber, Enabled): its key is not there.
    bool valuesPending = false;

    std::string HardwareId() const;   // VID_7E51&PID_0114
    std::string InstanceId() const;   // USB\VID_7E51&PID_0114\X1
    std::string EnumKey() const;      // Enum\USB\VID_7E51&PID_0114\X1
    std::string InterfaceKey() const; // DeviceClasses\{class}\##?#USB#VID_7E51&PID_0114#X1#{class}
    std::string DevicePath() const;   // \\?\usb#vid_7e51&pid_0114#x1#{class}
    std::string PortName() const;     // USB/Sorrelink 640/X1
};

// A serial number names registry keys and ends a port name: it must not be
// empty nor hold a blank (the agent's command line ends it there), a '/'
// (the wizard takes the port name apart at its last '/'), a backslash (a
// key below another) or a control character.
bool ValidateSerial(const std::string &serial, std::string *error);
// A model must not be empty nor hold a '/', a backslash, a '-' (the agent's
// command line ends the model there) or a control character.
bool ValidateModel(const std::string &model, std::string *error);
// Validates the model and the serial number, and a product ID of four hex
// digits (made upper case).
bool ValidateIdentity(PrinterIdentity *identity, std::string *error);

// Writes the USB enumeration key and the device interface (its
// SymbolicLink, and unless the values are pending its key with Product,
// SerialNumber and Enabled) and adds the printer, detached, to the hardware.
bool AnnounceDevice(const PrinterIdentity &identity, std::string *error);

// Whether the machine has seen this printer before.
bool IsKnownPrinter(const PrinterIdentity &identity);

bool SetAttached(const std::string &instanceId, bool attached, std::string *error);

}  // namespace ovlsim
