// ovlsim processes at once on one machine: eight printers plugged in
// together and removed together, round after round, and two print jobs on
// one port.
#include <chrono>
#include <thread>

#include "support/machine_fixture.h"
#include "world/machine_view.h"

namespace {

using ovltest::ProgramOutput;

constexpr int kPrinters = 8;
constexpr int kRounds = 4;
constexpr const char *kConfigKeys = "Software\\Orvane\\OVL\\640";

class OvlsimConcurrency : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, Sim({"init"}).status);
        std::string error;
        ASSERT_TRUE(win9x::machine::Open(machine_, &error)) << error;
    }
    void TearDown() override { win9x::machine::Close(); }

    ProgramOutput Sim(std::vector<std::string> args)
    {
        args.insert(args.begin(), ovltest::TestProgram("ovlsim"));
        return ovltest::RunProgramCaptured(machine_, args);
    }
    // Runs one command for each serial number at once; each must succeed
    // without a word on standard error.
    void SimAtOnce(const std::vector<std::string> &command, const std::vector<std::string> &serials)
    {
        std::vector<ProgramOutput> runs(serials.size());
        std::vector<std::thread> threads;
        for (size_t n = 0; n < serials.size(); ++n) {
            std::vector<std::string> args = command;
            args.push_back(serials[n]);
            threads.emplace_back([this, args, &runs, n] { runs[n] = Sim(args); });
        }
        for (auto &thread : threads)
            thread.join();
        for (size_t n = 0; n < serials.size(); ++n) {
            EXPECT_EQ(0, runs[n].status) << command[0] << " " << serials[n] << ": " << runs[n].err;
            EXPECT_EQ("", runs[n].err) << command[0] << " " << serials[n];
        }
    }
    // The machine's keys, leaving out the printers' configuration keys:
    // the agent purges that of the last printer of a model only.
    static std::vector<std::string> KeysBesideConfiguration()
    {
        std::vector<std::string> keys;
        for (auto &key : ovlsim::AllMachineKeys()) {
            if (key.rfind(kConfigKeys, 0) != 0)
                keys.push_back(key);
        }
        return keys;
    }
    static size_t ConfigurationKeys()
    {
        size_t count = 0;
        for (auto &key : ovlsim::AllMachineKeys())
            count += key.rfind(std::string(kConfigKeys) + "\\", 0) == 0;
        return count;
    }

    ovltest::TempDir dir_;
    std::string machine_ = dir_.path() + "/machine";
};

TEST_F(OvlsimConcurrency, EightPlugsThenEightRemovalsLoseNothing)
{
    // A printer of another model stays installed throughout: its keys must
    // survive every removal, and the family's keys with them.
    ASSERT_EQ(0, Sim({"plug", "Sorrelink 880", "D1", "--product-id", "0113"}).status);
    const auto keys = KeysBesideConfiguration();
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<std::string> serials;
        for (int n = 0; n < kPrinters; ++n)
            serials.push_back(ovltest::Numbered("C", round * kPrinters + n));
        auto renameBefore = ovlsim::RenameEntries();

        // Every install leaves its monitor, its CmdLine and one restore
        // entry in WININIT.INI.
        SimAtOnce({"plug", "Sorrelink 640"}, serials);
        auto renameInstalled = ovlsim::RenameEntries();
        EXPECT_EQ(renameBefore.size() + kPrinters, renameInstalled.size());
        for (const auto &serial : serials) {
            EXPECT_TRUE(ovlsim::MachineKeyExists("System\\CurrentControlSet\\Control\\Print\\Monitors\\" + serial))
                << serial;
            EXPECT_TRUE(ovlsim::ReadMachineText(std::string(kConfigKeys) + "\\" + serial, "CmdLine")) << serial;
        }

        // The removals take every key the installs made and no other; the
        // last of the model's printers takes its configuration key, the
        // others' stay. No rename entry is lost.
        SimAtOnce({"remove"}, serials);
        EXPECT_EQ(keys, KeysBesideConfiguration());
        EXPECT_EQ(static_cast<size_t>((round + 1) * (kPrinters - 1)), ConfigurationKeys());
        EXPECT_EQ(renameInstalled, ovlsim::RenameEntries());
    }
}

TEST_F(OvlsimConcurrency, TwoJobsOnOnePortTakeTurnsOnTheDevice)
{
    ASSERT_EQ(0, Sim({"plug", "Sorrelink 640", "X1"}).status);
    const std::string port = "USB/Sorrelink 640/X1";
    const std::string file = dir_.path() + "/job.bin";
    const std::string content(64 * 1024, 'j');
    ovltest::WriteHostFile(file, content);

    // The first job stalls for paper while it holds the device.
    ASSERT_EQ(0, Sim({"printer", "X1", "--load-paper", "1000"}).status);
    ProgramOutput first;
    std::thread job([&] { first = Sim({"print", port, file, "--timeout", "60"}); });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (win9x::machine::FindPrinterBySerial("X1")->received < 1000 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    // The second finds the device in use, says so and sends nothing.
    ProgramOutput second = Sim({"print", port, file});
    EXPECT_NE(0, second.status);
    EXPECT_NE(std::string::npos, second.err.find("in use by another program")) << second.err;

    ASSERT_EQ(0, Sim({"printer", "X1", "--load-paper"}).status);
    job.join();
    EXPECT_EQ(0, first.status) << first.err;
    EXPECT_EQ(content, win9x::machine::ReceivedBytes(win9x::machine::FindPrinterBySerial("X1")->instanceId));
}

}  // namespace
