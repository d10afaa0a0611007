// kill -9 at a random moment of a large `ovlsim reg import`, round after
// round (OVL_STRESS_ROUNDS, 100 by default): the machine opens again,
// SQLite finds both of its databases sound, and the import is all or
// nothing.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include "regedit/registry_io.h"
#include "support/machine_fixture.h"
#include "support/sqlite_check.h"
#include "support/stress.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char *kBulk = "HKEY_LOCAL_MACHINE\\Software\\Bulk";

// A file of `keys` keys with a text, a number and some bytes each.
std::string BulkFile(int keys)
{
    std::string text = "REGEDIT4\n\n";
    for (int k = 0; k < keys; ++k) {
        char key[64];
        std::snprintf(key, sizeof key, "[%s\\K%05d]\n", kBulk, k);
        text += key;
        text += "\"Text\"=\"value of key " + std::to_string(k) + "\"\n\"Number\"=dword:0000002a\n"
                "\"Bytes\"=hex:00,01,02,03,04,05,06,07,08,09\n\n";
    }
    return text;
}

class ImportKill : public ovltest::MachineTest {
  protected:
    std::vector<std::string> Import() const
    {
        return {ovltest::TestProgram("ovlsim"), "--machine", MachineDir(), "reg", "import", file_};
    }
    // Closes and opens the machine again, as a new process would.
    void Reopen()
    {
        win9x::machine::Close();
        EXPECT_EQ("ok", ovltest::MachineIntegrity(MachineDir()));
        std::string error;
        ASSERT_TRUE(win9x::machine::Open(MachineDir(), &error)) << error;
    }

    std::string file_ = dir_.path() + "/bulk.reg";
};

TEST_F(ImportKill, AnImportKilledAtAnyMomentIsAllOrNothing)
{
    ovltest::WriteHostFile(file_, BulkFile(4000));
    // The whole import once: what it gives, and how long it takes.
    Clock::time_point start = Clock::now();
    ASSERT_EQ(0, ovltest::RunProgram(MachineDir(), Import()));
    auto whole = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    Reopen();
    std::string expected, error;
    ASSERT_TRUE(ovlsim::ExportKey(kBulk, &expected, &error)) << error;
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Bulk"));

    unsigned seed = ovltest::StressSeed();
    std::mt19937 random(seed);
    // Every other kill falls near the end, where the import commits.
    std::uniform_int_distribution<long long> anytime(0, whole.count() * 11 / 10);
    std::uniform_int_distribution<long long> nearEnd(whole.count() * 8 / 10, whole.count() * 12 / 10);
    int complete = 0, nothing = 0;
    for (int round = 0; round < ovltest::StressRounds() && !HasFatalFailure(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round) + " (OVL_STRESS_SEED=" + std::to_string(seed) + ")");
        int pid = ovltest::StartProgram(MachineDir(), Import());
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(round % 2 ? nearEnd(random) : anytime(random)));
        kill(pid, SIGKILL);
        ovltest::WaitProgram(pid);
        Reopen();
        std::string text;
        if (ovlsim::ExportKey(kBulk, &text, &error)) {
            EXPECT_EQ(expected, text) << "a part of the file was imported";
            ++complete;
            ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Bulk"));
        } else {
            EXPECT_EQ(std::string("no such key: ") + kBulk, error);
            ++nothing;
        }
    }
    RecordProperty("imports_complete", complete);
    RecordProperty("imports_killed_before_commit", nothing);
    std::printf("%d imports whole, %d killed before their commit\n", complete, nothing);
}

}  // namespace
