// Several processes and threads on one machine's registry at once, a
// process killed in the middle of a batch, and what this process remembers
// of the registry when another one changes it.
#include <dlfcn.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/machine_fixture.h"

namespace {

using ovltest::StartProgram;
using ovltest::TestProgram;
using ovltest::WaitProgram;

// Runs SQL on a database through a connection of its own and returns the
// rows, fields joined by '|'. SQLite is the instance the layer loaded.
std::string QueryDatabase(const std::string &path, const char *sql)
{
    void *lib = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_NOLOAD);
    if (!lib)
        return "<sqlite not loaded>";
    auto open = reinterpret_cast<decltype(&sqlite3_open_v2)>(dlsym(lib, "sqlite3_open_v2"));
    auto exec = reinterpret_cast<decltype(&sqlite3_exec)>(dlsym(lib, "sqlite3_exec"));
    auto close = reinterpret_cast<decltype(&sqlite3_close)>(dlsym(lib, "sqlite3_close"));
    std::string rows = "<cannot open>";
    sqlite3 *db = nullptr;
    if (open && exec && close && open(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        rows.clear();
        auto collect = [](void *out, int columns, char **fields, char **) {
            auto *text = static_cast<std::string *>(out);
            for (int i = 0; i < columns; ++i)
                *text += std::string(i ? "|" : (text->empty() ? "" : "\n")) + (fields[i] ? fields[i] : "NULL");
            return 0;
        };
        if (exec(db, sql, collect, &rows, nullptr) != SQLITE_OK)
            rows = "<query failed>";
    }
    if (close)
        close(db);
    dlclose(lib);
    return rows;
}

DWORD ValueCount(HKEY key)
{
    DWORD values = 0xdeadbeef;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                              nullptr, nullptr, nullptr, nullptr));
    return values;
}

// Every DWORD value <prefix>0 .. <prefix><count-1> holds its index.
void ExpectNumberedValues(HKEY key, const std::string &prefix, DWORD count)
{
    for (DWORD i = 0; i < count; ++i) {
        std::string name = prefix + std::to_string(i);
        DWORD value = 0xdeadbeef, size = sizeof value;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size))
            << name;
        EXPECT_EQ(i, value) << name;
    }
}

class RegistryConcurrency : public ovltest::MachineTest {
protected:
    // Runs registry_worker with `args` to its end.
    void Worker(std::vector<std::string> args)
    {
        args.insert(args.begin(), TestProgram("registry_worker"));
        ASSERT_EQ(0, ovltest::RunProgram(MachineDir(), args));
    }
};

// The subkey (or, with `values`, the value) names at indexes from..to-1;
// "<end>" for ERROR_NO_MORE_ITEMS, "<error N>" otherwise.
std::vector<std::string> NamesAt(HKEY key, DWORD from, DWORD to, bool values = false)
{
    std::vector<std::string> names;
    for (DWORD i = from; i < to; ++i) {
        char name[64];
        DWORD size = sizeof name;
        LONG r = values ? RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr)
                        : RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
        names.push_back(r == ERROR_SUCCESS          ? std::string(name)
                        : r == ERROR_NO_MORE_ITEMS ? std::string("<end>")
                                                   : "<error " + std::to_string(r) + ">");
    }
    return names;
}

DWORD ReadNumber(HKEY key, const char *name)
{
    DWORD value = 0xdeadbeef, size = sizeof value;
    LONG r = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size);
    return r == ERROR_SUCCESS ? value : 0x10000 + static_cast<DWORD>(r);
}

TEST_F(RegistryConcurrency, ProcessesWritingAtOnceLoseNothing)
{
    constexpr DWORD kValues = 300;
    const std::string count = std::to_string(kValues);
    int first = StartProgram(MachineDir(), {TestProgram("registry_worker"), "write", "Software\\Race", "a", count});
    int second = StartProgram(MachineDir(), {TestProgram("registry_worker"), "write", "Software\\Race", "b", count});
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    // This process writes alongside them.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Race", &key));
    for (DWORD i = 0; i < kValues; ++i) {
        std::string name = ovltest::Numbered("t", i);
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE *>(&i), 4));
    }
    EXPECT_EQ(0, WaitProgram(first));
    EXPECT_EQ(0, WaitProgram(second));

    EXPECT_EQ(3 * kValues, ValueCount(key));
    for (const char *prefix : {"a", "b", "t"})
        ExpectNumberedValues(key, prefix, kValues);
    RegCloseKey(key);
}

TEST_F(RegistryConcurrency, ThreadsOfOneProcessShareTheRegistry)
{
    constexpr int kThreads = 4;
    constexpr DWORD kValues = 100;
    std::atomic<bool> go{false};
    std::atomic<int> writersLeft{kThreads};
    std::atomic<int> created{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!go)
                std::this_thread::yield();
            // All make the same new key: exactly one of them creates it.
            HKEY key = nullptr;
            DWORD disposition = 0;
            if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Threads\\Shared", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS) {
                ++failures;
                --writersLeft;
                return;
            }
            if (disposition == REG_CREATED_NEW_KEY)
                ++created;
            for (DWORD i = 0; i < kValues; ++i) {
                std::string name = std::to_string(t) + "_" + std::to_string(i);
                if (RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE *>(&i), 4) != ERROR_SUCCESS)
                    ++failures;
            }
            RegCloseKey(key);
            --writersLeft;
        });
    }
    // A reader enumerates while they write: it sees values or the end, never an error.
    threads.emplace_back([&] {
        while (!go)
            std::this_thread::yield();
        while (writersLeft > 0) {
            HKEY key = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Threads\\Shared", 0, KEY_READ, &key) != ERROR_SUCCESS)
                continue;
            char name[32];
            DWORD size = sizeof name;
            LONG r = ERROR_SUCCESS;
            for (DWORD i = 0; (r = RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr)) ==
                              ERROR_SUCCESS;
                 ++i)
                size = sizeof name;
            if (r != ERROR_NO_MORE_ITEMS)
                ++failures;
            RegCloseKey(key);
        }
    });
    go = true;
    for (auto &thread : threads)
        thread.join();

    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(1, created.load());
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Threads\\Shared", 0, KEY_READ, &key));
    EXPECT_EQ(kThreads * kValues, ValueCount(key));
    for (int t = 0; t < kThreads; ++t)
        ExpectNumberedValues(key, std::to_string(t) + "_", kValues);
    RegCloseKey(key);
}

TEST_F(RegistryConcurrency, ProcessKilledInTheMiddleOfABatchLeavesTheRegistrySound)
{
    const std::string marker = dir_.path() + "/batch-started";
    int pid = StartProgram(MachineDir(), {TestProgram("registry_worker"), "batch", "Software\\Killed", marker, "2500"});
    ASSERT_GT(pid, 0);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!std::filesystem::exists(marker)) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            FAIL() << "the worker ended before its batch was under way";
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            WaitProgram(pid);
            FAIL() << "the worker's batch did not get under way";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    // While the batch runs, readers go on and see none of it.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Killed", 0, KEY_ALL_ACCESS, &key));
    EXPECT_EQ(1u, ValueCount(key));

    ASSERT_EQ(0, kill(pid, SIGKILL));
    EXPECT_EQ(-1, WaitProgram(pid));

    // Sound, with no row pointing at a missing key.
    const std::string database = MachineDir() + "/registry.db";
    EXPECT_EQ("ok", QueryDatabase(database, "PRAGMA integrity_check"));
    EXPECT_EQ("", QueryDatabase(database, "PRAGMA foreign_key_check"));
    // Nothing of the batch; what was written before it stays.
    EXPECT_EQ(1u, ValueCount(key));
    DWORD before = 0, size = sizeof before;
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(key, "Before", nullptr, nullptr, reinterpret_cast<BYTE *>(&before), &size));
    EXPECT_EQ(1u, before);
    char name[16];
    size = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr));

    // Later writes work, here and from another process.
    DWORD after = 2;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "After", 0, REG_DWORD, reinterpret_cast<BYTE *>(&after), 4));
    EXPECT_EQ(0, ovltest::RunProgram(MachineDir(),
                                     {TestProgram("registry_worker"), "write", "Software\\Killed", "c", "10"}));
    EXPECT_EQ(12u, ValueCount(key));
    ExpectNumberedValues(key, "c", 10);
    RegCloseKey(key);
}

// What this process read before another process deleted the key and made
// it again is not what it reads after: the old handle sees a deleted key,
// the path finds the new key and its value.
TEST_F(RegistryConcurrency, ReadsFollowAKeyAnotherProcessMadeAgain)
{
    HKEY old = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Remade", &old));
    const DWORD one = 1;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(old, "Name", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), 4));
    HKEY again = nullptr;
    for (int read = 0; read < 2; ++read) {  // the second time from what this process remembers
        EXPECT_EQ(1u, ReadNumber(old, "Name"));
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Remade", 0, KEY_READ, &again));
        RegCloseKey(again);
    }

    Worker({"recreate", "Software\\Remade"});
    EXPECT_EQ(0x10000u + ERROR_KEY_DELETED, ReadNumber(old, "Name"));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Remade", 0, KEY_READ, &again));
    EXPECT_EQ(2u, ReadNumber(again, "Name"));
    RegCloseKey(again);
    RegCloseKey(old);
}

// An enumeration by index goes on while another process adds and deletes:
// what was added comes last, and after a deletion the indexes count what is
// left, for subkeys and for values alike.
TEST_F(RegistryConcurrency, EnumerationGoesOnWhileAnotherProcessChangesTheKey)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Listed", &key));
    for (const char *name : {"S0", "S1", "S2", "S3"}) {
        HKEY sub = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(key, name, &sub));
        RegCloseKey(sub);
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>("v"), 2));
    }
    using Names = std::vector<std::string>;

    EXPECT_EQ((Names{"S0", "S1"}), NamesAt(key, 0, 2));
    Worker({"recreate", "Software\\Listed\\New"});
    EXPECT_EQ((Names{"S2", "S3", "New", "<end>"}), NamesAt(key, 2, 6));
    EXPECT_EQ((Names{"S0", "S1"}), NamesAt(key, 0, 2));
    Worker({"recreate", "Software\\Listed\\S0"});  // S0 goes, and comes back last
    EXPECT_EQ((Names{"S3", "New", "S0", "<end>"}), NamesAt(key, 2, 6));

    EXPECT_EQ((Names{"S0", "S1"}), NamesAt(key, 0, 2, true));
    Worker({"write", "Software\\Listed", "b", "1"});
    EXPECT_EQ((Names{"S2", "S3", "b0", "<end>"}), NamesAt(key, 2, 6, true));
    EXPECT_EQ((Names{"S0", "S1"}), NamesAt(key, 0, 2, true));
    Worker({"delete", "Software\\Listed", "S0"});
    EXPECT_EQ((Names{"S3", "b0", "<end>"}), NamesAt(key, 2, 5, true));
    RegCloseKey(key);
}

}  // namespace
