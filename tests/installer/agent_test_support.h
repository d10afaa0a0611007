// What the agent's tests share: a fresh machine with a fresh run state, the
// registry and file helpers they check with, and a printer's installation
// put on the machine the way plugging it in leaves it, before the agent runs.
#pragma once

#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "agent.h"
#include "world/driver_install.h"
#include "world/host_files.h"
#include "world/machine_view.h"
#include "world/model_install.h"
#include "support/machine_fixture.h"
#include "support/registry_helpers.h"
#include "world/usb_bus.h"

namespace agenttest {

using ovltest::CreateKey;
using ovltest::SetText;
using ovltest::SetValue;

inline constexpr const char *kModelKey = "Software\\Orvane\\OVLIO\\640";
inline constexpr const char *kConfigKey = "Software\\Orvane\\OVL\\640\\X1";
inline constexpr const char *kMonitorsKey = "System\\CurrentControlSet\\Control\\Print\\Monitors\\";
inline constexpr const char *kPrintersKey = "System\\CurrentControlSet\\Control\\Print\\Printers\\";
inline constexpr const char *kRunOnceKey = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr const char *kAgentFile = "C:\\Windows\\System\\ovlcin00.exe";
inline constexpr const char *kWininit = "C:\\WINDOWS\\WININIT.INI";

inline std::optional<std::string> Text(const std::string &path, const std::string &name)
{
    return ovlsim::ReadMachineText(path, name);
}

inline bool KeyExists(const std::string &path)
{
    return ovlsim::MachineKeyExists(path);
}

inline bool FileExists(const std::string &windowsPath)
{
    return GetFileAttributesA(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Puts a small file at a Windows path on drive C: (folders created).
inline void PutFile(const std::string &windowsPath, const std::string &content, bool readOnly = false)
{
    std::string error;
    ASSERT_TRUE(ovlsim::InstallTextFile(windowsPath, content, readOnly, &error)) << error;
}

inline std::string FileText(const std::string &windowsPath)
{
    return ovltest::ReadHostFile(win9x::machine::HostPath(windowsPath));
}

// WININIT.INI as it lies on the disk ("" when there is none).
inline std::string WininitText()
{
    return FileText(kWininit);
}

// Every key path and every file of the machine, to see that a step left
// everything as it was.
struct MachineImage {
    std::vector<std::string> keys = ovlsim::AllMachineKeys();
    std::vector<std::string> files = ovlsim::AllFiles();
    std::string wininit = WininitText();
    bool operator==(const MachineImage &) const = default;
};

inline ovlsim::PrinterIdentity Printer(const std::string &model, const std::string &serial,
                                       const std::string &productId = "0114")
{
    ovlsim::PrinterIdentity identity;
    identity.model = model;
    identity.serial = serial;
    identity.productId = productId;
    return identity;
}

// What plugging a new printer in leaves before its class installer runs the
// agent: the driver files (the host builds of the monitor and the agent
// among them), the device's keys and the model's installation.
inline void PlacePrinter(const ovlsim::PrinterIdentity &identity)
{
    std::string error;
    ASSERT_TRUE(ovlsim::InstallDriverFiles(&error)) << error;
    ASSERT_TRUE(ovlsim::AnnounceDevice(identity, &error)) << error;
    ASSERT_TRUE(ovlsim::InstallModel(identity, &error)) << error;
}

// The key paths and files of one printer's installation.
inline std::string EnumKey(const std::string &serial, const std::string &productId = "0114")
{
    return "Enum\\USB\\VID_7E51&PID_" + productId + "\\" + serial;
}

// A fresh Windows 98 machine with the desktop shell stopped (installs during
// start-up), and the agent's run state as a new process has it.
class AgentTest : public ovltest::MachineTest {
  protected:
    void SetUp() override
    {
        MachineTest::SetUp();
        win9x::machine::SetShellRunning(false);
        ResetRunState();
    }
    void TearDown() override
    {
        ResetRunState();
        MachineTest::TearDown();
    }

    // The run state a command line with this model and serial leaves, with
    // the model key path built as the agent window's creation builds it.
    static void UsePrinter(const std::string &model, const std::string &serial)
    {
        ResetRunState();
        ASSERT_LT(model.size(), sizeof g_Model);
        ASSERT_LT(serial.size(), sizeof g_Serial);
        std::strcpy(g_Model, model.c_str());
        std::strcpy(g_Serial, serial.c_str());
        BuildModelKeyPath(g_ModelKeyPath, g_Model);
    }

    // Runs one action in this process as the agent's window creation does.
    static void RunAction(LONG action, const std::string &model, const std::string &serial)
    {
        UsePrinter(model, serial);
        g_Action = action;
        DispatchAction();
    }
};

} // namespace agenttest
