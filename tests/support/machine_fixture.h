// A fresh emulated machine in a temporary directory for every test.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "win9x/machine.h"

namespace ovltest {

// A temporary directory removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

// Creates a Windows 98 machine (or the version given) and opens it for this
// process; every override and fault is cleared before and after the test.
class MachineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Replaces the machine with a fresh one of another version.
    void Recreate(win9x::machine::WindowsVersion os);

    std::string MachineDir() const { return dir_.path() + "/machine"; }
    // Host path of a file on drive C:, e.g. HostPath("C:\\WINDOWS\\WIN.INI").
    std::string HostPath(const std::string &windowsPath) const;

    TempDir dir_;
};

// Path of a test program built next to the test binaries.
std::string TestProgram(const std::string &name);

// Runs a program to its end with OVLSIM_MACHINE set to `machineDir`;
// returns its exit status (-1 when it could not be started or was killed).
int RunProgram(const std::string &machineDir, const std::vector<std::string> &argv);

// What a program run to its end left: its exit status (-1 when it could not
// be started or was killed) and everything it wrote to standard output and
// standard error.
struct ProgramOutput {
    int status = -1;
    std::string out;
    std::string err;
    long peakResidentKiB = 0;  // the most memory it held at once (its own, not its children's)
};

// Runs a program as RunProgram does, capturing its standard output and
// standard error; standard input comes from `inputPath` when one is given.
ProgramOutput RunProgramCaptured(const std::string &machineDir, const std::vector<std::string> &argv,
                                 const std::string &inputPath = "");

// A program started with its standard error on a pipe that the test reads
// as it is written: an event to wait on ("waiting for ..."), never a sleep.
// Its standard output goes to a file, read when it ends.
class WatchedProgram {
public:
    WatchedProgram(const std::string &machineDir, const std::vector<std::string> &argv);
    ~WatchedProgram();  // kills it if it still runs
    WatchedProgram(const WatchedProgram &) = delete;
    WatchedProgram &operator=(const WatchedProgram &) = delete;

    int pid() const { return pid_; }
    // Reads standard error until `text` has appeared (true) or the program
    // closed it (false).
    bool AwaitError(const std::string &text);
    // Waits for its end; its exit status (-1 when killed), all its output.
    ProgramOutput Finish();

private:
    TempDir dir_;
    int pid_ = -1;
    int errFd_ = -1;
    std::string err_;
};

// Starts a program without waiting; returns its process id (or -1).
int StartProgram(const std::string &machineDir, const std::vector<std::string> &argv);
// Waits for a started program; returns its exit status (-1 when killed).
int WaitProgram(int pid);

// A name and a number: Numbered("C", 3) is "C3". (Appended rather than
// "C" + std::to_string(3), which GCC 12 at -O3 warns about as overlapping
// copies.)
std::string Numbered(const char *prefix, long long number);

// Reads a whole host file ("" when missing); writes one.
std::string ReadHostFile(const std::string &path);
void WriteHostFile(const std::string &path, const std::string &content);

}  // namespace ovltest
