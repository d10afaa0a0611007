// A second process on the test's machine (OVLSIM_MACHINE):
//   registry_worker write <key> <prefix> <count>
//     writes the DWORD values <prefix>0 .. <prefix><count-1> (each value its
//     index) into HKLM\<key>, one call each;
//   registry_worker batch <key> <marker> <count>
//     writes "Before" into HKLM\<key>, then starts one batch that makes the
//     subkey "Batch" and writes 1 KB values without end; after <count> of
//     them it creates the host file <marker> and goes on until it is killed;
//   registry_worker recreate <key> [<subkey>]
//     deletes HKLM\<key> (if there is one), makes it again and writes the
//     DWORD "Name" = 2 into it; with <subkey>, does so for <key>\<subkey>
//     after deleting <key>, all in one batch;
//   registry_worker delete <key> <value>
//     deletes the value <value> of HKLM\<key>.
// Exit status 0 on success, 1 on a failed call, 2 on bad arguments.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/machine_fixture.h"
#include "win9x/machine.h"

namespace {

int Fail(const char *what, LONG r)
{
    std::fprintf(stderr, "registry_worker: %s failed with %ld\n", what, static_cast<long>(r));
    return 1;
}

int WriteValues(const char *path, const std::string &prefix, DWORD count)
{
    HKEY key = nullptr;
    LONG r = RegCreateKeyA(HKEY_LOCAL_MACHINE, path, &key);
    if (r != ERROR_SUCCESS)
        return Fail("RegCreateKeyA", r);
    for (DWORD i = 0; i < count; ++i) {
        std::string name = prefix + std::to_string(i);
        r = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&i), sizeof i);
        if (r != ERROR_SUCCESS)
            return Fail("RegSetValueExA", r);
    }
    RegCloseKey(key);
    return 0;
}

int EndlessBatch(const char *path, const char *marker, DWORD count)
{
    HKEY key = nullptr;
    LONG r = RegCreateKeyA(HKEY_LOCAL_MACHINE, path, &key);
    if (r != ERROR_SUCCESS)
        return Fail("RegCreateKeyA", r);
    const DWORD one = 1;
    r = RegSetValueExA(key, "Before", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), sizeof one);
    if (r != ERROR_SUCCESS)
        return Fail("RegSetValueExA", r);
    std::vector<BYTE> blob(1024, 0x5a);
    win9x::machine::RegistryTransaction([&] {
        HKEY batch = nullptr;
        if ((r = RegCreateKeyA(key, "Batch", &batch)) != ERROR_SUCCESS)
            return false;
        for (DWORD i = 0;; ++i) {
            std::string name = ovltest::Numbered("v", i);
            HKEY target = i % 2 ? key : batch;
            if ((r = RegSetValueExA(target, name.c_str(), 0, REG_BINARY, blob.data(), 1024)) != ERROR_SUCCESS)
                return false;
            if (i + 1 == count)
                std::ofstream(marker) << "ready\n";
            if (i + 1 >= count)  // keep writing, gently, until killed
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    return Fail("the endless batch", r);
}

int Recreate(const char *path)
{
    LONG r = RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
    if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND)
        return Fail("RegDeleteKeyA", r);
    HKEY key = nullptr;
    if ((r = RegCreateKeyA(HKEY_LOCAL_MACHINE, path, &key)) != ERROR_SUCCESS)
        return Fail("RegCreateKeyA", r);
    const DWORD two = 2;
    r = RegSetValueExA(key, "Name", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&two), sizeof two);
    RegCloseKey(key);
    return r == ERROR_SUCCESS ? 0 : Fail("RegSetValueExA", r);
}

// Deletes HKLM\<path> and makes <path>\<subkey> again in one batch.
int RecreateBelow(const char *path, const char *subkey)
{
    std::string whole = std::string(path) + "\\" + subkey;
    int status = 0;
    bool done = win9x::machine::RegistryTransaction([&] {
        LONG r = RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
        if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND)
            status = Fail("RegDeleteKeyA", r);
        return status == 0 && (status = Recreate(whole.c_str())) == 0;
    });
    return done ? 0 : (status ? status : Fail("the batch", 0));
}

int DeleteValue(const char *path, const char *name)
{
    HKEY key = nullptr;
    LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &key);
    if (r != ERROR_SUCCESS)
        return Fail("RegOpenKeyExA", r);
    r = RegDeleteValueA(key, name);
    RegCloseKey(key);
    return r == ERROR_SUCCESS ? 0 : Fail("RegDeleteValueA", r);
}

}  // namespace

int main(int argc, char **argv)
{
    std::string error;
    if (!win9x::machine::OpenFromEnvironment(&error)) {
        std::fprintf(stderr, "registry_worker: %s\n", error.c_str());
        return 2;
    }
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "write" && argc == 5)
        return WriteValues(argv[2], argv[3], static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)));
    if (mode == "batch" && argc == 5)
        return EndlessBatch(argv[2], argv[3], static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)));
    if (mode == "recreate" && argc == 3)
        return Recreate(argv[2]);
    if (mode == "recreate" && argc == 4)
        return RecreateBelow(argv[2], argv[3]);
    if (mode == "delete" && argc == 4)
        return DeleteValue(argv[2], argv[3]);
    std::fprintf(stderr, "usage: registry_worker write KEY PREFIX COUNT | batch KEY MARKER COUNT | recreate KEY [SUBKEY] |"
                         " delete KEY VALUE\n");
    return 2;
}
