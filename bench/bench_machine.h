// A fresh Windows 98 machine in a temporary directory, opened for the
// benchmark program and removed again, with everything in it, at the end.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "win9x/machine.h"

class BenchMachine {
public:
    BenchMachine()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ovl-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            return;
        dir_ = pattern;
        std::string error;
        ok_ = win9x::machine::Create(dir_ + "/machine", win9x::machine::WindowsVersion::Win98, false, &error);
        if (!ok_)
            std::fprintf(stderr, "bench: %s\n", error.c_str());
    }
    ~BenchMachine()
    {
        win9x::machine::Close();
        std::error_code ec;
        if (!dir_.empty())
            std::filesystem::remove_all(dir_, ec);
    }
    BenchMachine(const BenchMachine &) = delete;
    BenchMachine &operator=(const BenchMachine &) = delete;
    bool ok() const { return ok_; }

private:
    std::string dir_;
    bool ok_ = false;
};
