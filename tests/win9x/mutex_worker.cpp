// A second process on the test's machine (found through OVLSIM_MACHINE)
// for the named mutex and profile tests:
//   exists NAME                  exit 1 when NAME already existed, 0 when new
//   wait NAME MS                 exit 0 acquired, 1 timed out, 2 abandoned;
//                                released again when acquired
//   hold NAME READY RELEASE      own NAME, create host file READY, wait for
//                                host file RELEASE, release and exit 0
//   hold-exit NAME READY         own NAME, create READY, exit still owning it
//   append NAME FILE COUNT TAG   COUNT times under NAME: read the Windows
//                                file FILE whole and write it back with the
//                                line "TAG i" added
//   profile FILE COUNT TAG       COUNT profile writes of keys TAG0, TAG1, ...
// Any other failure exits with 10 or more.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "support/machine_fixture.h"

namespace {

bool HostFileExists(const char *path)
{
    return std::ifstream(path).good();
}

void TouchHostFile(const char *path)
{
    std::ofstream(path) << "ready\n";
}

// Reads the whole Windows file (empty when missing).
bool ReadWindowsFile(const char *path, std::string *content)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char chunk[512];
    DWORD got = 0;
    BOOL ok = TRUE;
    while ((ok = ReadFile(file, chunk, sizeof chunk, &got, nullptr)) && got > 0)
        content->append(chunk, got);
    CloseHandle(file);
    return ok != FALSE;
}

bool WriteWindowsFile(const char *path, const std::string &content)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

// A read-modify-write that loses lines unless the mutex keeps it whole.
int Append(HANDLE mutex, const char *path, int count, const char *tag)
{
    for (int i = 0; i < count; ++i) {
        DWORD wait = WaitForSingleObject(mutex, 30000);
        if (wait != WAIT_OBJECT_0)
            return 11;
        std::string content;
        if (!ReadWindowsFile(path, &content))
            return 12;
        std::this_thread::yield();  // widen the window another process would use
        if (!WriteWindowsFile(path, content + tag + " " + std::to_string(i) + "\r\n"))
            return 13;
        if (!ReleaseMutex(mutex))
            return 14;
    }
    return 0;
}

int Hold(HANDLE mutex, const char *ready, const char *release)
{
    if (WaitForSingleObject(mutex, 10000) != WAIT_OBJECT_0)
        return 11;
    TouchHostFile(ready);
    if (!release)
        return 0;  // ends owning the mutex
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!HostFileExists(release)) {
        if (std::chrono::steady_clock::now() > deadline)
            return 12;
        Sleep(5);
    }
    return ReleaseMutex(mutex) && CloseHandle(mutex) ? 0 : 13;
}

int Profile(const char *file, int count, const char *tag)
{
    for (int i = 0; i < count; ++i) {
        std::string key = tag + std::to_string(i);
        if (!WritePrivateProfileStringA("Workers", key.c_str(), tag, file))
            return 11;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return 20;
    std::string mode = argv[1];
    if (mode == "profile" && argc == 5)
        return Profile(argv[2], std::atoi(argv[3]), argv[4]);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, argv[2]);
    if (!mutex)
        return 21;
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (mode == "exists")
        return existed ? 1 : 0;
    if (mode == "wait" && argc == 4) {
        DWORD wait = WaitForSingleObject(mutex, static_cast<DWORD>(std::atoi(argv[3])));
        if ((wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) && !ReleaseMutex(mutex))
            return 24;
        return wait == WAIT_OBJECT_0 ? 0 : wait == WAIT_TIMEOUT ? 1 : wait == WAIT_ABANDONED ? 2 : 22;
    }
    if (mode == "hold" && argc == 5)
        return Hold(mutex, argv[3], argv[4]);
    if (mode == "hold-exit" && argc == 4)
        return Hold(mutex, argv[3], nullptr);
    if (mode == "append" && argc == 6)
        return Append(mutex, argv[3], std::atoi(argv[4]), argv[5]);
    return 23;
}
