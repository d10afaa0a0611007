#include "world/host_files.h"

#include <windows.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "win9x/machine.h"

namespace fs = std::filesystem;

namespace ovlsim {

namespace {

// Several ovlsim processes may install the same files at once (eight
// printers plugged in together): they take turns under this machine-wide
// mutex, so that one never clears the attributes of, or renames over, a
// file that another is still placing.
constexpr const char *kInstallMutex = "OvlsimHostFiles";

class InstallTurn {
public:
    InstallTurn()
    {
        mutex_ = CreateMutexA(nullptr, FALSE, kInstallMutex);
        // WAIT_ABANDONED: an ovlsim that held the turn died; the files it
        // left are replaced whole all the same.
        DWORD waited = mutex_ ? WaitForSingleObject(mutex_, INFINITE) : WAIT_FAILED;
        held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
        if (!held_)
            error_ = GetLastError();
    }
    ~InstallTurn()
    {
        if (held_)
            ReleaseMutex(mutex_);
        if (mutex_)
            CloseHandle(mutex_);
    }
    InstallTurn(const InstallTurn &) = delete;
    InstallTurn &operator=(const InstallTurn &) = delete;

    bool Take(std::string *error) const
    {
        if (!held_)
            *error = "cannot take the machine's lock for installing files (error " + std::to_string(error_) + ")";
        return held_;
    }

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
    DWORD error_ = 0;
};

// The host path for a Windows path, with its folders created.
bool PrepareTarget(const std::string &windowsTarget, std::string *hostTarget, std::string *error)
{
    size_t cut = windowsTarget.find_last_of('\\');
    if (cut != std::string::npos) {
        std::string folder = win9x::machine::HostPath(windowsTarget.substr(0, cut));
        if (folder.empty()) {
            *error = windowsTarget + " is not on drive C:";
            return false;
        }
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) {
            *error = "cannot create the folder of " + windowsTarget + ": " + ec.message();
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

// Writes all of `data` to `fd`; 0 or the errno of the failure.
int WriteAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

// Copies the host file `source` to the open file `to`; 0 or an errno.
int CopyInto(const std::string &source, int to)
{
    int from = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0)
        return errno;
    char chunk[65536];
    int error = 0;
    for (;;) {
        ssize_t n = read(from, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        if ((error = WriteAll(to, chunk, static_cast<size_t>(n))))
            break;
    }
    close(from);
    return error;
}

// Writes a new file beside `hostTarget` under a name of its own through
// `fill` (0 or an errno), with the mode bits `mode`, then renames it over
// the target: a program or
// library that runs from the old file keeps it, as a file in use stays on
// Windows, and nobody sees half a file. The reason of a failure is the
// errno of the call that failed.
template <class Fill> bool ReplaceWith(const std::string &hostTarget, mode_t mode, Fill fill, std::string *reason)
{
    std::string temporary = hostTarget + ".~XXXXXX";
    int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        *reason = std::strerror(errno);
        return false;
    }
    int error = fill(fd);
    if (!error && fchmod(fd, mode) != 0)
        error = errno;
    if (close(fd) != 0 && !error)
        error = errno;
    if (!error && rename(temporary.c_str(), hostTarget.c_str()) != 0)
        error = errno;
    if (error) {
        unlink(temporary.c_str());
        *reason = std::strerror(error);
        return false;
    }
    return true;
}

bool FinishTarget(const std::string &windowsTarget, bool readOnly, std::string *error)
{
    DWORD attributes = readOnly ? FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_ARCHIVE;
    if (!SetFileAttributesA(windowsTarget.c_str(), attributes)) {
        *error = "cannot set the attributes of " + windowsTarget + " (error " + std::to_string(GetLastError()) + ")";
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
    InstallTurn turn;
    std::string target, reason;
    if (!turn.Take(error) || !PrepareTarget(windowsTarget, &target, error))
        return false;
    // The copy keeps the source's mode: a program stays executable.
    struct stat source;
    if (stat(hostSource.c_str(), &source) != 0)
        reason = std::strerror(errno);
    if (!reason.empty() ||
        !ReplaceWith(target, source.st_mode & 07777, [&](int fd) { return CopyInto(hostSource, fd); }, &reason)) {
        *error = "cannot copy " + hostSource + " to " + windowsTarget + ": " + reason;
        return false;
    }
    return FinishTarget(windowsTarget, readOnly, error);
}

bool InstallTextFile(const std::string &windowsTarget, const std::string &content, bool readOnly,
                     std::string *error)
{
    InstallTurn turn;
    std::string target, reason;
    if (!turn.Take(error) || !PrepareTarget(windowsTarget, &target, error))
        return false;
    if (!ReplaceWith(target, 0644, [&](int fd) { return WriteAll(fd, content.data(), content.size()); }, &reason)) {
        *error = "cannot write " + windowsTarget + ": " + reason;
        return false;
    }
    return FinishTarget(windowsTarget, readOnly, error);
}

bool WindowsFileExists(const std::string &windowsPath)
{
    DWORD attributes = GetFileAttributesA(windowsPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace ovlsim
