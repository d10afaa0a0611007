// A damaged machine is reported, never taken for an empty one: a library cut
// short, garbage in a checkpointed registry, a printer's file cut, a log cut
// in half. Each command that meets the damage says so in one line with a
// non-zero status, and `ovlsim check` lists it. Every run has a deadline, so
// that a command that would loop fails the test instead of hanging it.
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "support/machine_fixture.h"

namespace {

using ovltest::ProgramOutput;

constexpr const char *kPort = "USB/Sorrelink 640/X1";

class OvlsimDamage : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (std::vector<std::string> step : {std::vector<std::string>{"init"}, {"shell", "stop"},
                                              {"plug", "Sorrelink 640", "X1"}, {"restart"}}) {
            ProgramOutput run = Ovlsim(step);
            ASSERT_EQ(0, run.status) << step[0] << ": " << run.err;
        }
    }
    ProgramOutput Ovlsim(std::vector<std::string> args, const char *input = "/dev/null")
    {
        // A shell reads the script from `input`; timeout kills a run that
        // does not end.
        std::string command = "exec /usr/bin/timeout -s KILL 60 '" + ovltest::TestProgram("ovlsim") + "' --machine '" +
                              Machine() + "'";
        for (const auto &arg : args)
            command += " '" + arg + "'";
        return ovltest::RunProgramCaptured(Machine(), {"/bin/sh", "-c", command + " < " + input});
    }
    std::string Machine() const { return dir_.path() + "/m"; }
    std::string Path(const std::string &name) const { return Machine() + "/" + name; }
    // One line on standard error, a non-zero status, and the advice to run
    // `ovlsim check`.
    static bool ReportsDamage(const ProgramOutput &run)
    {
        return run.status > 0 && run.status != 137 && run.err.rfind("ovlsim: ", 0) == 0 &&
               run.err.find('\n') == run.err.size() - 1 && run.err.find("`ovlsim check`") != std::string::npos;
    }
    void WriteFile(const std::string &path, const std::string &content)
    {
        ovltest::WriteHostFile(path, content);
    }
    ovltest::TempDir dir_;
};

TEST_F(OvlsimDamage, ACleanMachineChecksClean)
{
    ProgramOutput run = Ovlsim({"check"});
    EXPECT_EQ(0, run.status) << run.out << run.err;
    EXPECT_EQ("no damage found in the machine in " + Machine() + "\n", run.out);
}

TEST_F(OvlsimDamage, AMonitorLibraryCutShortIsReported)
{
    std::string dll = Path("drive_c/Windows/System/ovlpom00.dll");
    std::filesystem::resize_file(dll, 1000);
    for (std::vector<std::string> command : {std::vector<std::string>{"ports"}, {"print", kPort, "/etc/hostname"}}) {
        ProgramOutput run = Ovlsim(command);
        EXPECT_TRUE(ReportsDamage(run)) << command[0] << ": status " << run.status << ", " << run.err;
        EXPECT_NE(std::string::npos, run.err.find("the machine in " + Machine() + " is damaged")) << run.err;
    }
    ProgramOutput check = Ovlsim({"check"});
    EXPECT_NE(0, check.status);
    EXPECT_NE(std::string::npos, check.out.find("monitor X1: C:\\WINDOWS\\SYSTEM\\ovlpom00.dll is cut short")) << check.out;
}

TEST_F(OvlsimDamage, GarbageInTheRegistryIsReportedByEveryCommandThatMeetsIt)
{
    // Everything in registry.db itself, then 512 bytes of noise over its fifth page.
    sqlite3 *db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(Path("registry.db").c_str(), &db));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr));
    sqlite3_close(db);
    std::mt19937 noise(19);
    std::string bytes(512, '\0');
    for (char &c : bytes)
        c = static_cast<char>(noise());
    std::fstream file(Path("registry.db"), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(4096);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();

    std::string script = dir_.path() + "/script";
    WriteFile(script, "choose 1\nnext\nnext\n");
    ProgramOutput wizard = Ovlsim({"usbcheck", "--script", "-"}, script.c_str());
    EXPECT_TRUE(ReportsDamage(wizard)) << "usbcheck: status " << wizard.status << ", " << wizard.err;
    for (std::vector<std::string> command :
         {std::vector<std::string>{"ports"}, {"remove", "X1"}, {"reg", "export"}}) {
        ProgramOutput run = Ovlsim(command);
        EXPECT_TRUE(ReportsDamage(run)) << command[0] << ": status " << run.status << ", " << run.err;
        EXPECT_NE(std::string::npos, run.err.find("the machine in " + Machine() + " is damaged (registry.db: "))
            << run.err;
        EXPECT_EQ(std::string::npos, run.out.find("keys purged")) << run.out;  // nothing is passed off as done
    }
    ProgramOutput check = Ovlsim({"check"});
    EXPECT_NE(0, check.status);
    EXPECT_EQ(0u, check.out.find("registry.db: ")) << check.out;
}

TEST_F(OvlsimDamage, AReceivedFileShorterThanItsBytesIsReported)
{
    std::string document = dir_.path() + "/document";
    WriteFile(document, std::string(3000, 'x'));
    ASSERT_EQ(0, Ovlsim({"print", kPort, document}).status);
    std::string received = Path("printer-1.received");
    for (bool remove : {false, true}) {
        SCOPED_TRACE(remove ? "deleted" : "cut");
        if (remove)
            std::filesystem::remove(received);
        else
            std::filesystem::resize_file(received, 100);
        ProgramOutput show = Ovlsim({"printer", "X1"});
        EXPECT_TRUE(ReportsDamage(show)) << show.err;
        EXPECT_NE(std::string::npos, show.err.find("printer-1.received")) << show.err;
        ProgramOutput bytes = Ovlsim({"printer", "X1", "--received"});
        EXPECT_TRUE(ReportsDamage(bytes)) << bytes.err;
        EXPECT_EQ("", bytes.out);
        ProgramOutput check = Ovlsim({"check"});
        EXPECT_NE(0, check.status);
        EXPECT_EQ(remove ? "printer X1: printer-1.received is missing (3000 bytes received)\n"
                         : "printer X1: printer-1.received holds 100 of its 3000 bytes\n",
                  check.out);
    }
}

TEST_F(OvlsimDamage, ALogCutInHalfAndABadSharedPageAreListed)
{
    std::string reg = dir_.path() + "/late.reg";
    WriteFile(reg, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Late]\n\"a\"=\"b\"\n");
    ASSERT_EQ(0, Ovlsim({"reg", "import", reg}).status);
    std::string log = Path("registry.db-wal");
    ASSERT_GT(std::filesystem::file_size(log), 0u);
    std::filesystem::resize_file(log, std::filesystem::file_size(log) / 2);
    std::filesystem::resize_file(Path("machine.db-changes"), 100);

    ProgramOutput check = Ovlsim({"check"});
    EXPECT_NE(0, check.status);
    EXPECT_NE(std::string::npos, check.out.find("registry.db-wal is cut short inside frame ")) << check.out;
    EXPECT_NE(std::string::npos, check.out.find("machine.db-changes holds 100 bytes, not one page of 4096"))
        << check.out;
    EXPECT_EQ(1u, std::count(check.err.begin(), check.err.end(), '\n')) << check.err;
    EXPECT_NE(std::string::npos, check.err.find("is damaged: 2 problems found")) << check.err;
}

}  // namespace
