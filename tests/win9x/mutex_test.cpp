// Mutexes: ownership per thread, named mutexes shared by the processes of a
// machine, abandonment, and the profile functions' atomicity across
// processes (run by the same worker).
#include <signal.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <sstream>
#include <thread>

#include "support/machine_fixture.h"

using ovltest::ReadHostFile;

namespace {

using Clock = std::chrono::steady_clock;

class Mutex : public ovltest::MachineTest {
protected:
    std::string Worker() const { return ovltest::TestProgram("mutex_worker"); }
    std::string Marker(const char *name) const { return dir_.path() + "/" + name; }

    // Waits (up to 20 s) for a worker to create a host file.
    bool WaitForMarker(const std::string &path)
    {
        auto deadline = Clock::now() + std::chrono::seconds(20);
        while (!std::filesystem::exists(path)) {
            if (Clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    int RunWorker(const std::vector<std::string> &args)
    {
        std::vector<std::string> argv{Worker()};
        argv.insert(argv.end(), args.begin(), args.end());
        return ovltest::RunProgram(MachineDir(), argv);
    }
};

// Runs `body` on a thread of its own and hands back its result.
template <class Body>
auto OnOtherThread(Body body)
{
    return std::async(std::launch::async, body).get();
}

TEST_F(Mutex, OwnershipIsPerThreadAndRecursive)
{
    SetLastError(0xdeadbeef);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    ASSERT_NE(nullptr, mutex);
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, INFINITE));
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), OnOtherThread([&] { return WaitForSingleObject(mutex, 0); }));
    EXPECT_EQ(DWORD(ERROR_NOT_OWNER), OnOtherThread([&] {
                  SetLastError(0xdeadbeef);
                  return ReleaseMutex(mutex) ? DWORD(0) : GetLastError();
              }));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), OnOtherThread([&] { return WaitForSingleObject(mutex, 10); }));
    EXPECT_TRUE(ReleaseMutex(mutex));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(ERROR_NOT_OWNER, GetLastError());

    // A thread that ends owning the mutex abandons it; the next owner is
    // told once.
    EXPECT_EQ(WAIT_OBJECT_0, OnOtherThread([&] { return WaitForSingleObject(mutex, 0); }));
    EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(mutex, 1000));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(CloseHandle(mutex));

    // An initial owner owns it at once.
    mutex = CreateMutexA(nullptr, TRUE, "");
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), OnOtherThread([&] { return WaitForSingleObject(mutex, 0); }));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(CloseHandle(mutex));
}

TEST_F(Mutex, WaitTimesOutWhileAnotherThreadOwnsIt)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Ovl Timeout");
    std::promise<void> owned, release;
    std::thread owner([&] {
        WaitForSingleObject(mutex, INFINITE);
        owned.set_value();
        release.get_future().wait();
        ReleaseMutex(mutex);
    });
    owned.get_future().wait();
    auto start = Clock::now();
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitForSingleObject(mutex, 60));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(55));
    release.set_value();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, INFINITE));
    owner.join();
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(CloseHandle(mutex));
}

TEST_F(Mutex, NamesAreCaseSensitiveAndLastWhileOpen)
{
    SetLastError(0xdeadbeef);
    HANDLE first = CreateMutexA(nullptr, TRUE, "Ovl\\Section/1");
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(0u, GetLastError());
    SetLastError(0xdeadbeef);
    HANDLE again = CreateMutexA(nullptr, TRUE, "Ovl\\Section/1");
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_NE(first, again);
    SetLastError(0xdeadbeef);
    HANDLE other = CreateMutexA(nullptr, FALSE, "ovl\\section/1");
    EXPECT_EQ(0u, GetLastError());
    // One mutex behind both handles, owned once: the initial owner of an
    // existing name is ignored.
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), OnOtherThread([&] { return WaitForSingleObject(again, 0); }));
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), OnOtherThread([&] { return WaitForSingleObject(other, 0); }));
    EXPECT_TRUE(ReleaseMutex(again));
    EXPECT_FALSE(ReleaseMutex(first));
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(CloseHandle(again));
    EXPECT_TRUE(CloseHandle(other));
    SetLastError(0xdeadbeef);
    HANDLE fresh = CreateMutexA(nullptr, FALSE, "Ovl\\Section/1");
    EXPECT_EQ(0u, GetLastError());
    // The name of the abandoned "ovl\section/1" went with its last handle:
    // a new mutex of that name starts clean.
    HANDLE renewed = CreateMutexA(nullptr, FALSE, "ovl\\section/1");
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(renewed, 0));
    EXPECT_TRUE(ReleaseMutex(renewed));
    CloseHandle(fresh);
    CloseHandle(renewed);

    // Names up to MAX_PATH-1 characters.
    std::string longest(MAX_PATH - 1, 'n');
    HANDLE longMutex = CreateMutexA(nullptr, FALSE, longest.c_str());
    EXPECT_NE(nullptr, longMutex);
    CloseHandle(longMutex);
    std::string tooLong(MAX_PATH, 'n');
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, CreateMutexA(nullptr, FALSE, tooLong.c_str()));
    EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, GetLastError());
}

TEST_F(Mutex, BadHandles)
{
    HANDLE file = CreateFileA("C:\\WINDOWS\\f.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    HANDLE closed = CreateMutexA(nullptr, FALSE, "Ovl Closed");
    ASSERT_TRUE(CloseHandle(closed));
    for (HANDLE bad : {INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr), closed, file}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(bad, 0));
        EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(ReleaseMutex(bad));
        EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    }
    CloseHandle(file);
}

TEST_F(Mutex, NameExistsForEveryProcessOfTheMachine)
{
    EXPECT_EQ(0, RunWorker({"exists", "Ovl Shared"}));
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Ovl Shared");
    EXPECT_EQ(1, RunWorker({"exists", "Ovl Shared"}));
    EXPECT_EQ(0, RunWorker({"exists", "ovl shared"}));
    EXPECT_TRUE(CloseHandle(mutex));
    EXPECT_EQ(0, RunWorker({"exists", "Ovl Shared"}));
}

TEST_F(Mutex, WorkerHoldsItAndReleasesIt)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Ovl Held");
    std::string ready = Marker("ready"), release = Marker("release");
    int pid = ovltest::StartProgram(MachineDir(), {Worker(), "hold", "Ovl Held", ready, release});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForMarker(ready));
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitForSingleObject(mutex, 0));
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitForSingleObject(mutex, 100));
    ovltest::WriteHostFile(release, "go");
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 20000));
    EXPECT_EQ(0, ovltest::WaitProgram(pid));
    // While this process owns it the worker times out.
    EXPECT_EQ(1, RunWorker({"wait", "Ovl Held", "50"}));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(0, RunWorker({"wait", "Ovl Held", "0"}));
    CloseHandle(mutex);
}

TEST_F(Mutex, HolderThatDiesLeavesItAbandoned)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Ovl Dies");
    // Killed while owning it.
    std::string ready = Marker("ready");
    int pid = ovltest::StartProgram(MachineDir(), {Worker(), "hold", "Ovl Dies", ready, Marker("never")});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForMarker(ready));
    ASSERT_EQ(0, kill(pid, SIGKILL));
    EXPECT_EQ(-1, ovltest::WaitProgram(pid));
    EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(mutex, 20000));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0));
    EXPECT_TRUE(ReleaseMutex(mutex));

    // Ended normally while owning it.
    std::string ready2 = Marker("ready2");
    EXPECT_EQ(0, RunWorker({"hold-exit", "Ovl Dies", ready2}));
    EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(mutex, 20000));
    EXPECT_TRUE(ReleaseMutex(mutex));

    // A thread of this process that ends owning it abandons it for others.
    EXPECT_EQ(WAIT_OBJECT_0, OnOtherThread([&] { return WaitForSingleObject(mutex, 0); }));
    EXPECT_EQ(2, RunWorker({"wait", "Ovl Dies", "5000"}));
    EXPECT_EQ(0, RunWorker({"wait", "Ovl Dies", "0"}));
    CloseHandle(mutex);
}

TEST_F(Mutex, TwoProcessesAppendingUnderItLoseNothing)
{
    const int count = 40;
    std::string file = "C:\\WINDOWS\\TEMP\\shared.log";
    int a = ovltest::StartProgram(MachineDir(), {Worker(), "append", "Ovl Append", file, std::to_string(count), "a"});
    int b = ovltest::StartProgram(MachineDir(), {Worker(), "append", "Ovl Append", file, std::to_string(count), "b"});
    EXPECT_EQ(0, ovltest::WaitProgram(a));
    EXPECT_EQ(0, ovltest::WaitProgram(b));
    std::istringstream lines(ReadHostFile(HostPath(file)));
    int nextA = 0, nextB = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line == "a " + std::to_string(nextA) + "\r")
            ++nextA;
        else if (line == "b " + std::to_string(nextB) + "\r")
            ++nextB;
        else
            ADD_FAILURE() << "unexpected line " << line;
    }
    EXPECT_EQ(count, nextA);
    EXPECT_EQ(count, nextB);
}

TEST_F(Mutex, ProfileWritesOfTwoProcessesLoseNothing)
{
    const int count = 30;
    int a = ovltest::StartProgram(MachineDir(), {Worker(), "profile", "shared.ini", std::to_string(count), "a"});
    int b = ovltest::StartProgram(MachineDir(), {Worker(), "profile", "shared.ini", std::to_string(count), "b"});
    EXPECT_EQ(0, ovltest::WaitProgram(a));
    EXPECT_EQ(0, ovltest::WaitProgram(b));
    char keys[4096];
    DWORD size = GetPrivateProfileStringA("Workers", nullptr, "", keys, sizeof keys, "shared.ini");
    int found = 0;
    for (const char *key = keys; key < keys + size; key += std::strlen(key) + 1)
        ++found;
    EXPECT_EQ(2 * count, found);
    // No temporary file is left in the Windows directory.
    for (const auto &entry : std::filesystem::directory_iterator(MachineDir() + "/drive_c/Windows"))
        EXPECT_NE('.', entry.path().filename().string()[0]) << entry.path();
}

}  // namespace
