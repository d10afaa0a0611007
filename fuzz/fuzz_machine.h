// A fresh emulated machine for a fuzz target that needs one: made once per
// process in a temporary folder below $OVL_FUZZ_DIR (else /dev/shm, in
// memory, so that the registry's transactions stay fast) and removed when
// the process ends normally.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "win9x/machine.h"

namespace fuzzing {

inline void OpenFreshMachine()
{
    static std::string folder;
    if (!folder.empty())
        return;
    const char *chosen = std::getenv("OVL_FUZZ_DIR");
    std::string base = chosen && *chosen                               ? chosen
                       : std::filesystem::is_directory("/dev/shm") ? "/dev/shm"
                                                                   : std::filesystem::temp_directory_path().string();
    std::string pattern = base + "/ovlfuzz.XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    folder = pattern;
    std::atexit([] { std::filesystem::remove_all(folder); });
    std::string error;
    if (!win9x::machine::Create(folder + "/m", win9x::machine::WindowsVersion::Win98, false, &error) ||
        !win9x::machine::Open(folder + "/m", &error)) {
        std::fprintf(stderr, "fuzz: no machine: %s\n", error.c_str());
        std::abort();
    }
}

}  // namespace fuzzing
