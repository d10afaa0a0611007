#include "world/host_files.h"

#include <windows.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "win9x/machine.h"

namespace fs = std::filesystem;

namespace ovlsim {

namespace {

// The host path for a Windows path, with its folders created.
bool PrepareTarget(const std::string &windowsTarget, std::string *hostTarget, std::string *error)
{
    size_t cut = windowsTarget.find_last_of('\\');
    if (cut != std::string::npos) {
        std::string folder = win9x::machine::HostPath(windowsTarget.substr(0, cut));
        std::error_code ec;
        if (folder.empty() || (fs::create_directories(folder, ec), ec)) {
            *error = "cannot create the folder of " + windowsTarget;
            return false;
        }
    }
    *hostTarget = win9x::machine::HostPath(windowsTarget);
    if (hostTarget->empty()) {
        *error = windowsTarget + " is not on drive C:";
        return false;
    }
    // A read-only file from an earlier install must not block the new copy.
    SetFileAttributesA(windowsTarget.c_str(), FILE_ATTRIBUTE_ARCHIVE);
    return true;
}

bool FinishTarget(const std::string &windowsTarget, bool readOnly, std::string *error)
{
    DWORD attributes = readOnly ? FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_ARCHIVE;
    if (!SetFileAttributesA(windowsTarget.c_str(), attributes)) {
        *error = "cannot set the attributes of " + windowsTarget;
        return false;
    }
    return true;
}

}  // namespace

std::string HostBuild(const std::string &name)
{
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return "";
    // In a build tree the deliverables lie next to ovlsim; installed, in
    // their own folder of the library directory.
    for (fs::path folder : {self.parent_path(), self.parent_path() / OVL_INSTALLED_DELIVERABLES}) {
        fs::path candidate = folder / name;
        if (fs::exists(candidate, ec))
            return candidate.lexically_normal().string();
    }
    return "";
}

bool InstallHostFile(const std::string &hostSource, const std::string &windowsTarget, bool readOnly,
                     std::string *error)
{
    std::string target;
    if (!PrepareTarget(windowsTarget, &target, error))
        return false;
    // A new file renamed over the old one: a program or library that runs
    // from the old file keeps it, as a file in use stays on Windows.
    std::error_code ec;
    std::string temporary = target + ".~new";
    fs::copy_file(hostSource, temporary, fs::copy_options::overwrite_existing, ec);
    if (!ec)
        fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        *error = "cannot copy " + hostSource + " to " + windowsTarget + ": " + ec.message();
        return false;
    }
    return FinishTarget(windowsTarget, readOnly, error);
}

bool InstallTextFile(const std::string &windowsTarget, const std::string &content, bool readOnly,
                     std::string *error)
{
    std::string target;
    if (!PrepareTarget(windowsTarget, &target, error))
        return false;
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) {
        *error = "cannot write " + windowsTarget;
        return false;
    }
    out.close();
    return FinishTarget(windowsTarget, readOnly, error);
}

bool WindowsFileExists(const std::string &windowsPath)
{
    DWORD attributes = GetFileAttributesA(windowsPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace ovlsim
