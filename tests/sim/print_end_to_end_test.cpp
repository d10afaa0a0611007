// One print job from end to end through the real programs: ovlsim creates
// a machine, plugs a printer in, registers the monitor, lists the ports
// through the spooler and prints a file of a few MiB through ovlpom00; the
// printer receives exactly the file. With its paper out the same job
// reports why and gives up after its time-out.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/machine_fixture.h"

namespace {

using ovltest::ProgramOutput;
using ovltest::RunProgramCaptured;
using ovltest::TestProgram;

const char kPort[] = "USB/Sorrelink 640/X1";

// Bytes of every value, in an order that no chunking hides.
std::string FileContent(size_t size)
{
    std::string content(size, '\0');
    uint32_t state = 0x2545F491u;
    for (char &c : content) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = static_cast<char>(state);
    }
    return content;
}

// Whether the table that `ovlsim ports` printed has a row for the port
// with the given monitor and type.
bool ListsPort(const std::string &table, const std::string &port, const std::string &monitor, const std::string &type)
{
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(port + " ", 0) != 0)
            continue;
        std::istringstream rest(line.substr(port.size()));
        std::string shownMonitor, shownType;
        rest >> shownMonitor >> shownType;
        if (shownMonitor == monitor && shownType == type)
            return true;
    }
    return false;
}

class PrintEndToEnd : public ::testing::Test {
  protected:
    ProgramOutput Sim(std::vector<std::string> args)
    {
        args.insert(args.begin(), TestProgram("ovlsim"));
        return RunProgramCaptured(machine_, args);
    }

    ovltest::TempDir dir_;
    std::string machine_ = dir_.path() + "/machine";
};

TEST_F(PrintEndToEnd, PlugRegisterListAndPrint)
{
    ASSERT_TRUE(std::filesystem::exists(TestProgram("ovlsim"))) << "build ovlsim and ovlpom00 first";
    ProgramOutput r = Sim({"init"});
    ASSERT_EQ(0, r.status) << r.err;
    r = Sim({"plug", "Sorrelink 640", "X1"});
    ASSERT_EQ(0, r.status) << r.err;

    const std::string regFile = dir_.path() + "/monitor.reg";
    ovltest::WriteHostFile(regFile, "REGEDIT4\r\n\r\n"
                                    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Monitors\\X1]\r\n"
                                    "\"Driver\"=\"ovlpom00.dll\"\r\n\r\n");
    r = Sim({"reg", "import", regFile});
    ASSERT_EQ(0, r.status) << r.err;

    r = Sim({"ports", "--level", "2"});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_TRUE(ListsPort(r.out, kPort, "X1", "write,read")) << r.out;

    const std::string file = dir_.path() + "/job.bin";
    const std::string content = FileContent(3 * 1024 * 1024 + 17);
    ovltest::WriteHostFile(file, content);
    r = Sim({"print", kPort, file});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("printed " + std::to_string(content.size()) + " bytes")) << r.out;

    r = Sim({"printer", "X1", "--received"});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(content.size(), r.out.size());
    EXPECT_TRUE(r.out == content) << "the printer received other bytes than the file's";

    // Out of paper: the job reports the reason and gives up after 1 s
    // without progress; nothing more reaches the printer.
    r = Sim({"printer", "X1", "--paper-out"});
    ASSERT_EQ(0, r.status) << r.err;
    r = Sim({"print", kPort, file, "--timeout", "1"});
    EXPECT_NE(0, r.status);
    EXPECT_NE(std::string::npos, r.err.find("printer out of paper")) << r.err;
    r = Sim({"printer", "X1", "--received"});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(content.size(), r.out.size());
}

// A job read from standard input ("-") is streamed through in pieces: the
// printer gets every byte, and ovlsim holds far less than the job at once.
TEST_F(PrintEndToEnd, StandardInputIsPrintedInBoundedMemory)
{
    ASSERT_EQ(0, Sim({"init"}).status);
    ASSERT_EQ(0, Sim({"plug", "Sorrelink 640", "X1"}).status);
    // Written in pieces: a child started with posix_spawn counts the
    // memory this process held when it started in its own peak.
    const size_t size = 32u << 20;
    const std::string file = dir_.path() + "/stream.bin";
    {
        const std::string piece = FileContent(1u << 20);
        std::ofstream out(file, std::ios::binary);
        for (size_t n = 0; n < size / piece.size(); ++n)
            out << piece;
    }
    ProgramOutput r = RunProgramCaptured(machine_, {TestProgram("ovlsim"), "print", kPort, "-"}, file);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("printed " + std::to_string(size) + " bytes of standard input")) << r.out;
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // The sanitizers' shadow memory and quarantine are no measure of ovlsim's.
    EXPECT_LT(r.peakResidentKiB, static_cast<long>(size / 1024 / 2)) << "KiB at the peak";
#endif
    r = Sim({"printer", "X1", "--received"});
    ASSERT_EQ(size, r.out.size());
    EXPECT_TRUE(r.out == ovltest::ReadHostFile(file)) << "the printer received other bytes than the stream's";
}

} // namespace
