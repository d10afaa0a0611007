// Received bytes on disk: positioned writes and reads on the printer's file.
#include "machine/received_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "machine/beneath.h"

namespace fs = std::filesystem;

namespace win9x::layer::received {

namespace {

constexpr const char *kPrefix = "printer-";
constexpr const char *kSuffix = ".received";

// The file's length, 0 when it does not exist; -1 on an error.
int64_t FileLength(int fd)
{
    struct stat info {};
    return fstat(fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

bool WriteAll(int fd, const char *data, size_t size, int64_t offset)
{
    while (size > 0) {
        ssize_t done = pwrite(fd, data, size, offset);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        data += done;
        size -= static_cast<size_t>(done);
        offset += done;
    }
    return true;
}

// Opens the printer's file, which lies right in the machine folder; a link
// there is refused (ELOOP), never followed.
int OpenReceived(const std::string &path, int flags)
{
    fs::path file(path);
    return beneath::Open(file.parent_path().string(), file.filename().string(), flags);
}

}  // namespace

std::string PathFor(const std::string &databasePath, int64_t printerRow)
{
    return (fs::path(databasePath).parent_path() / (kPrefix + std::to_string(printerRow) + kSuffix)).string();
}

bool Append(const std::string &path, int64_t *length, const void *data, size_t size)
{
    int fd = OpenReceived(path, O_WRONLY | O_CREAT);
    if (fd < 0)
        return false;
    int64_t actual = FileLength(fd);
    bool ok = actual >= 0;
    if (ok && actual < *length)
        *length = actual;
    ok = ok && WriteAll(fd, static_cast<const char *>(data), size, *length);
    if (ok)
        *length += static_cast<int64_t>(size);
    return close(fd) == 0 && ok;
}

bool Cut(const std::string &path, int64_t *length)
{
    int fd = OpenReceived(path, O_WRONLY | O_CREAT);
    if (fd < 0)
        return false;
    int64_t actual = FileLength(fd);
    bool ok = actual >= 0 && (actual <= *length || ftruncate(fd, *length) == 0);
    if (ok && actual < *length)
        *length = actual;
    return close(fd) == 0 && ok;
}

std::string Shortfall(const std::string &path, int64_t length)
{
    std::string name = fs::path(path).filename().string();
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return length > 0 ? name + " is missing (" + std::to_string(length) + " bytes received)" : "";
    if (info.st_size >= length)
        return "";
    return name + " holds " + std::to_string(info.st_size) + " of its " + std::to_string(length) + " bytes";
}

std::string Read(const std::string &path, int64_t length)
{
    std::string bytes;
    int fd = OpenReceived(path, O_RDONLY);
    if (fd < 0)
        return bytes;
    bytes.resize(static_cast<size_t>(length));
    size_t got = 0;
    while (got < bytes.size()) {
        ssize_t done = pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            break;
        got += static_cast<size_t>(done);
    }
    close(fd);
    bytes.resize(got);
    return bytes;
}

bool Replace(const std::string &path, const std::string &bytes)
{
    int fd = OpenReceived(path, O_WRONLY | O_CREAT | O_TRUNC);
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, bytes.data(), bytes.size(), 0);
    return close(fd) == 0 && ok;
}

void RemoveAll(const std::string &machineDir)
{
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(machineDir, ec)) {
        std::string name = entry.path().filename().string();
        if (name.rfind(kPrefix, 0) == 0 && name.size() > std::char_traits<char>::length(kSuffix) &&
            name.compare(name.size() - std::char_traits<char>::length(kSuffix), std::string::npos, kSuffix) == 0)
            fs::remove(entry.path(), ec);
    }
}

}  // namespace win9x::layer::received
