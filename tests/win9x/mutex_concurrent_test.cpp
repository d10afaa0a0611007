// Threads of one process contending for mutexes and profile files.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/machine_fixture.h"

namespace {

class MutexThreads : public ovltest::MachineTest {};

// Each thread opens its own handle (named) or shares one (unnamed) and
// bumps a plain counter under the mutex, sometimes recursively; a lost
// update or two owners at once shows in the count (and to ThreadSanitizer).
void Contend(const char *name)
{
    const int threads = 4, rounds = 300;
    HANDLE shared = CreateMutexA(nullptr, FALSE, name);
    ASSERT_NE(nullptr, shared);
    long counter = 0;
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            HANDLE mutex = name ? CreateMutexA(nullptr, FALSE, name) : shared;
            for (int i = 0; i < rounds; ++i) {
                if (WaitForSingleObject(mutex, INFINITE) != WAIT_OBJECT_0) {
                    ++failures;
                    continue;
                }
                bool nested = (i + t) % 3 == 0 && WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0;
                long seen = counter;
                std::this_thread::yield();
                counter = seen + 1;
                if (nested && !ReleaseMutex(mutex))
                    ++failures;
                if (!ReleaseMutex(mutex))
                    ++failures;
            }
            if (name)
                CloseHandle(mutex);
        });
    }
    for (auto &worker : workers)
        worker.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(threads * rounds, counter);
    CloseHandle(shared);
}

TEST_F(MutexThreads, UnnamedMutexExcludes)
{
    Contend(nullptr);
}

TEST_F(MutexThreads, NamedMutexExcludes)
{
    Contend("Ovl Threads");
}

// Threads opening and closing a name while others wait on it: every
// handle works, and the name is gone when the last one closes.
TEST_F(MutexThreads, OpeningAndClosingWhileOthersWait)
{
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < 100; ++i) {
                HANDLE mutex = CreateMutexA(nullptr, FALSE, "Ovl Churn");
                DWORD wait = mutex ? WaitForSingleObject(mutex, 5000) : WAIT_FAILED;
                if (wait != WAIT_OBJECT_0)
                    ++failures;
                else if (!ReleaseMutex(mutex))
                    ++failures;
                if (!CloseHandle(mutex))
                    ++failures;
            }
        });
    }
    for (auto &worker : workers)
        worker.join();
    EXPECT_EQ(0, failures.load());
    SetLastError(0xdeadbeef);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Ovl Churn");
    EXPECT_EQ(0u, GetLastError());
    CloseHandle(mutex);
}

// Every profile change is one step: threads writing keys of their own to
// one section lose none.
TEST_F(MutexThreads, ProfileWritesOfThreadsLoseNothing)
{
    const int threads = 4, keys = 25;
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < keys; ++i) {
                std::string key = ovltest::Numbered("t", t) + ovltest::Numbered("k", i);
                if (!WritePrivateProfileStringA("Threads", key.c_str(), "1", "threads.ini"))
                    ++failures;
                char value[8];
                if (GetPrivateProfileStringA("Threads", key.c_str(), "", value, sizeof value, "threads.ini") != 1)
                    ++failures;
            }
        });
    }
    for (auto &worker : workers)
        worker.join();
    EXPECT_EQ(0, failures.load());
    char names[8192];
    DWORD size = GetPrivateProfileStringA("Threads", nullptr, "", names, sizeof names, "threads.ini");
    int found = 0;
    for (const char *name = names; name < names + size; name += std::strlen(name) + 1)
        ++found;
    EXPECT_EQ(threads * keys, found);
}

}  // namespace
