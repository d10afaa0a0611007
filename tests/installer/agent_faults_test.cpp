// Every Win32 call of an install and of a removal fails in turn: for each
// function the agent may call, its 1st call, its 2nd, ... until a run ends
// with the failure not reached. Whatever fails, the agent never crashes or
// leaks (run under ASan), leaves no key of its walks open, records a failed
// registration or unregistration of the monitor for the setup program,
// leaves every key and file of another printer of the same model in place,
// and keeps every entry that WININIT.INI had.
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "agent_test_support.h"

namespace {

using agenttest::FileExists;
using agenttest::KeyExists;
using agenttest::Printer;

// Every function of the layer that can be made to fail.
const char *const kFunctions[] = {
    "AddMonitorA",        "DeleteMonitorA",          "RegOpenKeyExA",           "RegCreateKeyA",
    "RegCreateKeyExA",    "RegCloseKey",             "RegQueryValueExA",        "RegSetValueExA",
    "RegEnumKeyExA",      "RegEnumValueA",           "RegQueryInfoKeyA",        "RegDeleteKeyA",
    "RegDeleteValueA",    "CopyFileA",               "DeleteFileA",             "GetFileAttributesA",
    "SetFileAttributesA", "CreateFileA",             "ReadFile",                "WriteFile",
    "CreateMutexA",       "WaitForSingleObject",     "ReleaseMutex",            "GetPrivateProfileSectionA",
    "GetPrivateProfileStringA", "WritePrivateProfileSectionA", "WritePrivateProfileStringA", "GetWindowsDirectoryA",
    "GetSystemDirectoryA", "LoadLibraryA",           "WinExec",                 "DeviceIoControl",
};

constexpr const char *kOtherSection = "Other";
const std::vector<std::string> kPlantedEntries = {"NUL=C:\\KEEP\\FIRST.TMP", "C:\\KEEP\\A.DLL=C:\\KEEP\\B.DLL",
                                                  "NUL=C:\\KEEP\\LAST.TMP"};

class AgentFaults : public agenttest::AgentTest {
  protected:
    // A sweep runs the agent a few hundred times: its machine lies in
    // memory (/dev/shm) where there is one.
    void SetUp() override
    {
        AgentTest::SetUp();
        std::string pattern = (std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : dir_.path()) + "/ovlsweep-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        folder_ = pattern;
        Fresh();
    }
    void TearDown() override
    {
        AgentTest::TearDown();
        std::filesystem::remove_all(folder_);
    }

    // A fresh Windows 98 machine without the shell running, nothing saved.
    void Fresh()
    {
        std::filesystem::remove_all(Saved());
        std::string error;
        ASSERT_TRUE(win9x::machine::Create(Machine(), win9x::machine::WindowsVersion::Win98, true, &error)) << error;
        win9x::machine::SetShellRunning(false);
    }

    // Puts a printer's installation on the machine as plugging it in does.
    void Install(const ovlsim::PrinterIdentity &identity)
    {
        agenttest::PlacePrinter(identity);
        RunAction(ACTION_INSTALL, identity.model, identity.serial);
        ASSERT_EQ(0u, g_ErrorCode) << identity.serial;
    }

    // Plants entries of others in WININIT.INI, then saves the machine.
    void Save()
    {
        for (const auto &entry : kPlantedEntries) {
            size_t cut = entry.find('=');
            ASSERT_EQ(0u, AppendRenameEntry(entry.substr(0, cut).c_str(), entry.substr(cut + 1).c_str()));
        }
        ASSERT_TRUE(WritePrivateProfileStringA(kOtherSection, "kept", "yes", "wininit.ini"));
        entries_ = ovlsim::RenameEntries();
        win9x::machine::Close();
        std::filesystem::copy(Machine(), Saved(), std::filesystem::copy_options::recursive);
        Reopen();
    }

    // Puts the saved machine back.
    void Restore()
    {
        win9x::machine::Close();
        std::filesystem::remove_all(Machine());
        std::filesystem::copy(Saved(), Machine(), std::filesystem::copy_options::recursive);
        Reopen();
    }

    void Reopen()
    {
        std::string error;
        ASSERT_TRUE(win9x::machine::Open(Machine(), &error)) << error;
        win9x::machine::SetShellRunning(false);
    }

    std::string Machine() const { return folder_ + "/m"; }
    std::string Saved() const { return folder_ + "/saved"; }

    // What every run must leave, whatever failed in it.
    void CheckCommon(const std::string &where)
    {
        // A failed close stops the closing of a walk's keys, as it should.
        if (where.rfind("RegCloseKey", 0) != 0) {
            EXPECT_EQ(0, g_KeyStackCount) << where;
        }
        std::vector<std::string> now = ovlsim::RenameEntries();
        ASSERT_GE(now.size(), entries_.size()) << where;
        EXPECT_EQ(entries_, std::vector<std::string>(now.begin(), now.begin() + entries_.size())) << where;
        EXPECT_LE(now.size(), entries_.size() + 2) << where;
        char kept[8] = "";
        GetPrivateProfileStringA(kOtherSection, "kept", "", kept, sizeof kept, "wininit.ini");
        EXPECT_STREQ("yes", kept) << where;
    }

    // Everything of an installed printer X2 of the 640 model.
    void CheckX2Kept(const std::string &where)
    {
        auto x2 = Printer("Sorrelink 640", "X2");
        for (const std::string &key :
             {x2.EnumKey(), x2.InterfaceKey(), std::string(agenttest::kMonitorsKey) + "X2",
              std::string("System\\CurrentControlSet\\Services\\Class\\USB Sorrelink\\0001"),
              std::string(agenttest::kModelKey), std::string("Software\\Orvane\\OVL\\640\\X2"),
              std::string("System\\CurrentControlSet\\Services\\Ovlion00\\Parameters\\StaticDeviceConfig\\Sorrelink 640")})
            EXPECT_TRUE(KeyExists(key)) << where << ": " << key;
        for (const char *file : {"C:\\Windows\\System\\ovlpom00.dll", "C:\\Windows\\System\\ovlcin00.exe",
                                 "C:\\Windows\\Inf\\Other\\Orvaneovl64098.inf"})
            EXPECT_TRUE(FileExists(file)) << where << ": " << file;
    }

    // Fails each function's calls in turn through `run`, putting the saved
    // machine back before every run; `check` looks at what a run left.
    // Gives the number of calls that were failed.
    template <class Run, class Check>
    unsigned Sweep(Run run, Check check)
    {
        unsigned runs = 0;
        const ::testing::TestResult *result = ::testing::UnitTest::GetInstance()->current_test_info()->result();
        for (const char *function : kFunctions) {
            int failures = result->total_part_count();
            for (unsigned n = 1;; ++n, ++runs) {
                Restore();
                win9x::machine::FailNthCall(function, n, ERROR_GEN_FAILURE);
                run();
                bool pending = win9x::machine::CallFaultPending(function);
                win9x::machine::ClearFaults();
                std::string where = std::string(function) + " call " + std::to_string(n);
                CheckCommon(where);
                check(where);
                // One failing run is enough to show a function's fault.
                if (pending || result->total_part_count() > failures || n > 500)
                    break;
            }
        }
        return runs;
    }

    std::string folder_;
    std::vector<std::string> entries_;
};

// An install of X1 beside an installed X2 of the same model: an install
// makes about 50 calls, each of which fails once.
TEST_F(AgentFaults, EveryCallOfAnInstallFailsInTurn)
{
    Install(Printer("Sorrelink 640", "X2"));
    agenttest::PlacePrinter(Printer("Sorrelink 640", "X1"));
    Save();
    unsigned failed = Sweep([] { RunAction(ACTION_INSTALL, "Sorrelink 640", "X1"); },
                            [&](const std::string &where) {
                                CheckX2Kept(where);
                                bool registered = KeyExists(std::string(agenttest::kMonitorsKey) + "X1");
                                EXPECT_TRUE(registered || g_ErrorCode != 0)
                                    << where << ": not registered, and nobody is told";
                            });
    EXPECT_GE(failed, 40u);
}

// Removals at each level of the purge: of a printer whose model has another
// (the device's keys), of the last printer of a model whose family has
// another model (the model's too), and of the family's last printer
// (everything). What the others need stays whatever fails.
TEST_F(AgentFaults, EveryCallOfARemovalFailsInTurn)
{
    auto y1 = Printer("Sorrelink 880", "Y1", "0115");
    auto removeX1 = [] { RunAction(ACTION_REMOVE, "Sorrelink 640", "X1"); };
    auto unregistrationTold = [](const std::string &where) {
        bool registered = KeyExists(std::string(agenttest::kMonitorsKey) + "X1");
        EXPECT_TRUE(!registered || g_ErrorCode != 0) << where << ": still registered, and nobody is told";
    };

    Install(Printer("Sorrelink 640", "X1"));
    Install(Printer("Sorrelink 640", "X2"));
    Save();
    unsigned failed = Sweep(removeX1, [&](const std::string &where) {
        CheckX2Kept(where);
        unregistrationTold(where);
    });
    EXPECT_GE(failed, 40u);

    Fresh();
    Install(Printer("Sorrelink 640", "X1"));
    Install(y1);
    Save();
    failed = Sweep(removeX1, [&](const std::string &where) {
        unregistrationTold(where);
        for (const std::string &key :
             {y1.EnumKey(), y1.InterfaceKey(), std::string(agenttest::kMonitorsKey) + "Y1",
              std::string("Software\\Orvane\\OVLIO\\880"), std::string("Software\\Orvane\\OVL\\880\\Y1"),
              std::string("System\\CurrentControlSet\\Services\\Ovlion00\\Parameters\\StaticDeviceConfig\\Sorrelink 880")})
            EXPECT_TRUE(KeyExists(key)) << where << ": " << key;
        EXPECT_TRUE(FileExists("C:\\Windows\\System\\ovlpom00.dll")) << where;
    });
    EXPECT_GE(failed, 75u);

    Fresh();
    Install(Printer("Sorrelink 640", "X1"));
    Save();
    failed = Sweep(removeX1, unregistrationTold);
    EXPECT_GE(failed, 120u);
}

}  // namespace
