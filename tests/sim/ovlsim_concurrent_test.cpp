// ovlsim processes at once on one machine: eight printers plugged in
// together and removed together, round after round, and print jobs queued
// on one port.
#include <csignal>
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

// Jobs for one port queue in the order they came: while the first stalls
// for paper holding the device, the others wait for the port and say so;
// a waiter killed in the queue gives its place up, one that may not wait
// long gives up in one line; once paper is loaded every job prints whole,
// one after the other.
TEST_F(OvlsimConcurrency, JobsOnOnePortQueueInTheOrderTheyCame)
{
    ASSERT_EQ(0, Sim({"plug", "Sorrelink 640", "X1"}).status);
    const std::string port = "USB/Sorrelink 640/X1";
    std::vector<std::string> files, contents;
    for (char fill : {'a', 'b', 'c', 'k'}) {
        files.push_back(dir_.path() + "/job-" + fill);
        contents.emplace_back(64 * 1024, fill);
        ovltest::WriteHostFile(files.back(), contents.back());
    }
    auto print = [&](const std::string &file) {
        return std::vector<std::string>{ovltest::TestProgram("ovlsim"), "print", port, file, "--timeout", "60"};
    };

    ASSERT_EQ(0, Sim({"printer", "X1", "--load-paper", "1000"}).status);
    ovltest::WatchedProgram first(machine_, print(files[0]));
    ASSERT_TRUE(first.AwaitError("printer out of paper"));
    ovltest::WatchedProgram second(machine_, print(files[1]));
    ASSERT_TRUE(second.AwaitError("waiting for the port: 1 job is queued before this one"));
    ovltest::WatchedProgram killed(machine_, print(files[3]));
    ASSERT_TRUE(killed.AwaitError("waiting for the port: 2 jobs are queued"));
    ovltest::WatchedProgram third(machine_, print(files[2]));
    ASSERT_TRUE(third.AwaitError("waiting for the port: 3 jobs are queued"));
    kill(killed.pid(), SIGKILL);
    EXPECT_EQ(-1, killed.Finish().status);

    ProgramOutput impatient = Sim({"print", port, files[3], "--timeout", "0.5"});
    EXPECT_NE(0, impatient.status);
    EXPECT_NE(std::string::npos, impatient.err.find("ovlsim: gave up after 0.5 s waiting for the port")) << impatient.err;

    ASSERT_EQ(0, Sim({"printer", "X1", "--load-paper"}).status);
    for (auto *job : {&first, &second, &third}) {
        ProgramOutput run = job->Finish();
        EXPECT_EQ(0, run.status) << run.err;
    }
    EXPECT_EQ(contents[0] + contents[1] + contents[2],
              win9x::machine::ReceivedBytes(win9x::machine::FindPrinterBySerial("X1")->instanceId));
}

// A job killed while it prints gives the port up with its process: the
// next job in the queue prints.
TEST_F(OvlsimConcurrency, AJobKilledOnThePortLetsTheNextPrint)
{
    ASSERT_EQ(0, Sim({"plug", "Sorrelink 640", "X1"}).status);
    const std::string port = "USB/Sorrelink 640/X1";
    const std::string file = dir_.path() + "/job.bin";
    ovltest::WriteHostFile(file, std::string(8192, 'j'));
    ASSERT_EQ(0, Sim({"printer", "X1", "--paper-out"}).status);
    ovltest::WatchedProgram holder(machine_, {ovltest::TestProgram("ovlsim"), "print", port, file});
    ASSERT_TRUE(holder.AwaitError("printer out of paper"));
    ovltest::WatchedProgram next(machine_, {ovltest::TestProgram("ovlsim"), "print", port, file, "--timeout", "60"});
    ASSERT_TRUE(next.AwaitError("waiting for the port"));
    kill(holder.pid(), SIGKILL);
    EXPECT_EQ(-1, holder.Finish().status);
    ASSERT_EQ(0, Sim({"printer", "X1", "--load-paper"}).status);
    ProgramOutput run = next.Finish();
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(std::string(8192, 'j'),
              win9x::machine::ReceivedBytes(win9x::machine::FindPrinterBySerial("X1")->instanceId));
}

}  // namespace
