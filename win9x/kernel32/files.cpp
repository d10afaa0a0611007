// The file API family on drive C:: CreateFileA (plain files here, device
// paths handed to the devices), ReadFile and WriteFile on any I/O handle,
// CopyFileA, DeleteFileA and the attribute calls, and the file work the
// machine tool does. A change that depends on a file's attributes runs
// inside one write transaction of machine.db, so that another process
// cannot change the attributes between the check and the change.
#include "kernel32/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>

#include "kernel32/devices.h"
#include "kernel32/handles.h"
#include "machine/api.h"
#include "machine/beneath.h"
#include "machine/files_in_use.h"

namespace win9x::layer {

namespace {

using store::Transaction;

// A plain file opened by CreateFileA. The mutex keeps one thread's read or
// write whole against another's on the same handle (they share the file
// pointer, as on Windows). Opened without delete sharing, the file is in
// use while the handle lives.
class PlainFile : public IoObject {
public:
    PlainFile(int fd, bool canRead, bool canWrite) : fd_(fd), canRead_(canRead), canWrite_(canWrite) {}
    ~PlainFile() override
    {
        close(fd_);
        if (machine_)
            ForgetFileUse(*machine_, useId_);
    }
    void MarkInUse(std::shared_ptr<Machine> machine, int64_t useId)
    {
        machine_ = std::move(machine);
        useId_ = useId;
    }
    PlainFile(const PlainFile &) = delete;
    PlainFile &operator=(const PlainFile &) = delete;

    BOOL Read(void *buffer, DWORD size, DWORD *done) override;
    BOOL Write(const void *buffer, DWORD size, DWORD *done) override;

private:
    std::mutex mutex_;
    int fd_;
    bool canRead_;
    bool canWrite_;
    std::shared_ptr<Machine> machine_;
    int64_t useId_ = 0;
};

// Reads until `size` bytes or the end of the file; the end is no error.
BOOL PlainFile::Read(void *buffer, DWORD size, DWORD *done)
{
    if (!canRead_) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    char *out = static_cast<char *>(buffer);
    while (*done < size) {
        ssize_t n = read(fd_, out + *done, size - *done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SetLastError(ErrorFromErrno(errno, nullptr));
            return FALSE;
        }
        if (n == 0)
            break;
        *done += static_cast<DWORD>(n);
    }
    return TRUE;
}

// Writes all `size` bytes; a full disk leaves the count of those written.
BOOL PlainFile::Write(const void *buffer, DWORD size, DWORD *done)
{
    if (!canWrite_) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    const char *in = static_cast<const char *>(buffer);
    while (*done < size) {
        ssize_t n = write(fd_, in + *done, size - *done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            SetLastError(n < 0 ? ErrorFromErrno(errno, nullptr) : ERROR_DISK_FULL);
            return FALSE;
        }
        *done += static_cast<DWORD>(n);
    }
    return TRUE;
}

// The folder part of a '/'-separated path.
std::string FolderOf(const std::string &path)
{
    return path.substr(0, path.rfind('/'));
}

// Creates a new hidden file in `folder` (relative to the machine folder)
// under a name no other file has; the descriptor, or -1 with errno.
int CreateTempIn(const Machine &m, const std::string &folder, std::string *tempPath)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[48];
        std::snprintf(name, sizeof name, "/.~ovl%d.%u", static_cast<int>(getpid()), counter.fetch_add(1));
        *tempPath = folder + name;
        int fd = beneath::Open(m.dir, *tempPath, O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Writes a new hidden file in `folder` (relative to the machine folder)
// through `fill` (which returns 0 or an errno) and leaves its path in
// *tempPath; returns 0 or an errno.
template <class Fill>
int WriteTempFile(const Machine &m, const std::string &folder, unsigned mode, std::string *tempPath, Fill fill)
{
    std::string path;
    int fd = CreateTempIn(m, folder, &path);
    if (fd < 0)
        return errno;
    int error = fill(fd);
    if (!error && fchmod(fd, mode & 07777) != 0)
        error = errno;
    if (close(fd) != 0 && !error)
        error = errno;
    if (error) {
        beneath::Unlink(m.dir, path);
        return error;
    }
    *tempPath = path;
    return 0;
}

// Writes all of `data` to `fd`; 0 or an errno.
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

// Copies the rest of `from` into `to`; 0 or an errno.
int CopyContent(int from, int to)
{
    char chunk[65536];
    for (;;) {
        ssize_t n = read(from, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        if (int error = WriteAll(to, chunk, static_cast<size_t>(n)))
            return error;
    }
}

// Copies the open file `from` into a new hidden file beside `target`
// (relative to the machine folder), keeping its mode and last-write time;
// 0 or an errno. Closes `from`.
int CopyToTemp(const Machine &m, int from, const std::string &target, std::string *tempPath)
{
    if (from < 0)
        return errno;
    struct stat info;
    int error = fstat(from, &info) == 0 ? 0 : errno;
    if (!error) {
        error = WriteTempFile(m, FolderOf(target), info.st_mode, tempPath, [&](int to) {
            int copyError = CopyContent(from, to);
            struct timespec times[2] = {info.st_atim, info.st_mtim};
            return copyError ? copyError : (futimens(to, times) == 0 ? 0 : errno);
        });
    }
    close(from);
    return error;
}

// The open machine, or null with ERROR_PATH_NOT_FOUND in *error (no drive C:).
std::shared_ptr<Machine> MachineOrError(DWORD *error)
{
    auto m = CurrentMachine();
    if (!m)
        *error = ERROR_PATH_NOT_FOUND;
    return m;
}

// Refuses a change to a read-only file; an unreadable table refuses too.
DWORD CheckWritable(Machine &m, const MappedPath &path)
{
    auto attributes = StoredAttributes(m, path.relative);
    if (!attributes)
        return ERROR_GEN_FAILURE;
    return (*attributes & FILE_ATTRIBUTE_READONLY) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

// Puts the finished temporary file in place of `target` with `attributes`,
// in one transaction with the checks: an existing target refused when
// `failIfExists`, a read-only one when `honourReadOnly`. The temporary file
// is gone afterwards either way.
DWORD InstallTempFile(Machine &m, const std::string &tempPath, const MappedPath &target, DWORD attributes,
                      bool failIfExists, bool honourReadOnly)
{
    Transaction tx(*m.state, Transaction::Mode::Write);
    DWORD error = tx.ok() ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
    struct stat info;
    int found = beneath::Status(m.dir, InMachine(target), &info);
    bool exists = found == 0;
    if (!error && found == ELOOP)
        error = kLinkError;
    if (!error && exists && S_ISDIR(info.st_mode))
        error = ERROR_ACCESS_DENIED;
    if (!error && exists && failIfExists)
        error = ERROR_FILE_EXISTS;
    if (!error && exists && honourReadOnly)
        error = CheckWritable(m, target);
    bool renamed = false;
    if (!error && failIfExists) {
        // link() refuses an existing name atomically, even one that another
        // process created a moment ago.
        if (int hostError = beneath::Link(m.dir, tempPath, InMachine(target)))
            error = ErrorFromErrno(hostError, &target);
    } else if (!error) {
        int hostError = beneath::Rename(m.dir, tempPath, InMachine(target));
        renamed = hostError == 0;
        if (!renamed)
            error = ErrorFromErrno(hostError, &target);
    }
    if (!renamed)
        beneath::Unlink(m.dir, tempPath);
    if (!error && (!StoreAttributes(m, target.relative, attributes) || !tx.Commit()))
        error = ERROR_GEN_FAILURE;
    return error;
}

// The attributes a new or overwritten file gets from CreateFileA's flags.
DWORD NewFileAttributes(DWORD flagsAndAttributes)
{
    return (flagsAndAttributes & kStoredAttributeMask) | FILE_ATTRIBUTE_ARCHIVE;
}

// Checks a CreateFileA request against what is on disk; ERROR_SUCCESS when
// the host may be asked to open the file.
DWORD CheckOpen(Machine &m, const MappedPath &path, DWORD access, DWORD disposition)
{
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING)
        return ERROR_INVALID_PARAMETER;
    if (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE))
        return ERROR_INVALID_PARAMETER;
    if (!path.exists) {
        if (!path.parentExists)
            return ERROR_PATH_NOT_FOUND;
        return disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
    }
    if (disposition == CREATE_NEW)
        return ERROR_FILE_EXISTS;
    // Windows 9x cannot open a folder as a file.
    if (path.folder)
        return ERROR_ACCESS_DENIED;
    bool changes = (access & GENERIC_WRITE) || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    return changes ? CheckWritable(m, path) : ERROR_SUCCESS;
}

// The host's open flags for a CreateFileA request.
int HostOpenFlags(DWORD access, DWORD disposition)
{
    int flags = O_CLOEXEC;
    switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default: break;
    }
    bool hostWrites = (access & GENERIC_WRITE) || (flags & (O_CREAT | O_TRUNC));
    return flags | (hostWrites ? O_RDWR : O_RDONLY);
}

// Opens a plain file on drive C: for CreateFileA.
HANDLE OpenPlainFile(const MappedPath &path, DWORD access, DWORD share, DWORD disposition, DWORD flagsAndAttributes)
{
    DWORD error = ERROR_SUCCESS;
    auto m = MachineOrError(&error);
    if (!m)
        return Fail(error, INVALID_HANDLE_VALUE);
    if ((error = CheckOpen(*m, path, access, disposition)))
        return Fail(error, INVALID_HANDLE_VALUE);
    int fd = beneath::Open(m->dir, InMachine(path), HostOpenFlags(access, disposition), 0644);
    if (fd < 0)
        return Fail(ErrorFromErrno(errno, &path), INVALID_HANDLE_VALUE);
    bool created = !path.exists && disposition != OPEN_EXISTING;
    // A new file, or one that CREATE_ALWAYS overwrote, starts with the
    // attributes asked for; this also drops a stale entry of a file that
    // went away behind the layer's back.
    if ((created || disposition == CREATE_ALWAYS) &&
        !StoreAttributes(*m, path.relative, NewFileAttributes(flagsAndAttributes))) {
        close(fd);
        return Fail(ERROR_GEN_FAILURE, INVALID_HANDLE_VALUE);
    }
    auto file = std::make_shared<PlainFile>(fd, (access & GENERIC_READ) != 0, (access & GENERIC_WRITE) != 0);
    if (!(share & FILE_SHARE_DELETE)) {
        int64_t use = RecordFileUse(*m, path.relative, CurrentProcess());
        if (!use)
            return Fail(ERROR_GEN_FAILURE, INVALID_HANDLE_VALUE);  // the file closes with its object
        file->MarkInUse(m, use);
    }
    HANDLE handle = InsertHandle(file);
    // Opening an existing file with CREATE_ALWAYS or OPEN_ALWAYS says so.
    bool says = path.exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
    SetLastError(says ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

// True when both paths on drive C: are one file.
bool SameHostFile(const Machine &m, const MappedPath &a, const MappedPath &b)
{
    struct stat sa, sb;
    return beneath::Status(m.dir, InMachine(a), &sa) == 0 && beneath::Status(m.dir, InMachine(b), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Maps an existing plain file (not a folder) for copying, moving or
// deleting; ERROR_SUCCESS or the error.
DWORD MapExistingFile(std::string_view windowsPath, std::optional<MappedPath> *out)
{
    std::string text(windowsPath);
    DWORD error = ERROR_SUCCESS;
    *out = MapFilePath(text.c_str(), &error);
    if (!*out)
        return error;
    if (!(*out)->exists)
        return MissingPathError(**out);
    return (*out)->folder ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

// Maps the target of a copy or move: its folder must exist and it must not
// be a folder itself.
DWORD MapTargetFile(std::string_view windowsPath, std::optional<MappedPath> *out)
{
    std::string text(windowsPath);
    DWORD error = ERROR_SUCCESS;
    *out = MapFilePath(text.c_str(), &error);
    if (!*out)
        return error;
    if (!(*out)->exists && !(*out)->parentExists)
        return ERROR_PATH_NOT_FOUND;
    return (*out)->exists && (*out)->folder ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

// CopyFileA's work; ERROR_SUCCESS or the error.
DWORD CopyPlainFile(const char *source, const char *target, bool failIfExists)
{
    std::optional<MappedPath> from, to;
    if (!source || !target)
        return ERROR_INVALID_PARAMETER;
    if (DWORD error = MapExistingFile(source, &from))
        return error;
    if (DWORD error = MapTargetFile(target, &to))
        return error;
    if (to->exists && failIfExists)
        return ERROR_FILE_EXISTS;
    DWORD error = ERROR_SUCCESS;
    auto m = MachineOrError(&error);
    if (!m)
        return error;
    // Windows opens the source for reading and then fails to open it again
    // for writing.
    if (to->exists && SameHostFile(*m, *from, *to))
        return ERROR_SHARING_VIOLATION;
    auto attributes = StoredAttributes(*m, from->relative);
    if (!attributes)
        return ERROR_GEN_FAILURE;
    std::string temp;
    int sourceFd = beneath::Open(m->dir, InMachine(*from), O_RDONLY);
    if (int hostError = CopyToTemp(*m, sourceFd, InMachine(*to), &temp))
        return ErrorFromErrno(hostError, &*to);
    // The copy keeps the source's attributes, read-only included.
    return InstallTempFile(*m, temp, *to, *attributes, failIfExists, true);
}

// DeleteFileA's work; a read-only file is refused unless `force`.
DWORD DeletePlainFile(std::string_view path, bool force)
{
    std::optional<MappedPath> file;
    if (DWORD error = MapExistingFile(path, &file))
        return error;
    DWORD error = ERROR_SUCCESS;
    auto m = MachineOrError(&error);
    if (!m)
        return error;
    Transaction tx(*m->state, Transaction::Mode::Write);
    if (!tx.ok())
        return ERROR_GEN_FAILURE;
    if (!force && (error = CheckWritable(*m, *file)))
        return error;
    // A file another process (or this one) holds open or has loaded cannot
    // go; Windows 9x says access denied.
    if (!force && IsFileInUse(*m, file->relative))
        return ERROR_ACCESS_DENIED;
    if (int hostError = beneath::Unlink(m->dir, InMachine(*file)))
        return ErrorFromErrno(hostError, &*file);
    return ForgetAttributes(*m, file->relative) && tx.Commit() ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
}

// GetFileAttributesA's work: the attributes, or INVALID_FILE_ATTRIBUTES
// with *error set.
DWORD QueryAttributes(const char *path, DWORD *error)
{
    auto mapped = MapFilePath(path, error);
    if (!mapped)
        return INVALID_FILE_ATTRIBUTES;
    if (!mapped->exists) {
        *error = MissingPathError(*mapped);
        return INVALID_FILE_ATTRIBUTES;
    }
    auto m = MachineOrError(error);
    if (!m)
        return INVALID_FILE_ATTRIBUTES;
    bool folder = mapped->folder;
    auto stored = StoredAttributes(*m, mapped->relative, folder ? 0 : kDefaultFileAttributes);
    if (!stored) {
        *error = ERROR_GEN_FAILURE;
        return INVALID_FILE_ATTRIBUTES;
    }
    if (folder)
        return *stored | FILE_ATTRIBUTE_DIRECTORY;
    // A file with no attribute at all reports FILE_ATTRIBUTE_NORMAL.
    return *stored ? *stored : FILE_ATTRIBUTE_NORMAL;
}

// SetFileAttributesA's work. Bits that cannot be set (directory, normal,
// the NT-only ones) are passed over.
DWORD ChangeAttributes(const char *path, DWORD attributes)
{
    DWORD error = ERROR_SUCCESS;
    auto mapped = MapFilePath(path, &error);
    if (!mapped)
        return error;
    if (!mapped->exists)
        return MissingPathError(*mapped);
    auto m = MachineOrError(&error);
    if (!m)
        return error;
    DWORD fallback = mapped->folder ? 0 : kDefaultFileAttributes;
    return StoreAttributes(*m, mapped->relative, attributes & kStoredAttributeMask, fallback) ? ERROR_SUCCESS
                                                                                              : ERROR_GEN_FAILURE;
}

}  // namespace

// ---- File work of the machine tool ------------------------------------------

DWORD MoveFileOver(std::string_view source, std::string_view target)
{
    std::optional<MappedPath> from, to;
    if (DWORD error = MapExistingFile(source, &from))
        return error;
    if (DWORD error = MapTargetFile(target, &to))
        return error;
    DWORD error = ERROR_SUCCESS;
    auto m = MachineOrError(&error);
    if (!m)
        return error;
    if (to->exists && SameHostFile(*m, *from, *to))
        return ERROR_SUCCESS;  // moving a file onto itself leaves it be
    Transaction tx(*m->state, Transaction::Mode::Write);
    auto attributes = tx.ok() ? StoredAttributes(*m, from->relative) : std::nullopt;
    if (!attributes)
        return ERROR_GEN_FAILURE;
    if (int hostError = beneath::Rename(m->dir, InMachine(*from), InMachine(*to)))
        return ErrorFromErrno(hostError, &*to);
    bool stored = ForgetAttributes(*m, from->relative) && StoreAttributes(*m, to->relative, *attributes);
    return stored && tx.Commit() ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
}

DWORD DeleteFileForce(std::string_view path)
{
    return DeletePlainFile(path, true);
}

DWORD CopyHostFile(const std::string &hostSource, std::string_view target, DWORD attributes)
{
    std::string text(target);
    DWORD error = ERROR_SUCCESS;
    auto to = MapFilePath(text.c_str(), &error);
    if (!to)
        return error;
    auto m = MachineOrError(&error);
    if (!m)
        return error;
    if (!to->parentExists) {
        if (int hostError = beneath::MakeFolders(m->dir, FolderOf(InMachine(*to))))
            return ErrorFromErrno(hostError, &*to);
    }
    std::string temp;
    int source = open(hostSource.c_str(), O_RDONLY | O_CLOEXEC);
    if (int hostError = CopyToTemp(*m, source, InMachine(*to), &temp))
        return hostError == ENOENT ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(hostError, &*to);
    return InstallTempFile(*m, temp, *to, attributes, false, false);
}

int ReplaceMachineFile(const Machine &m, const MappedPath &target, const void *data, size_t size, unsigned mode)
{
    std::string temp;
    int error = WriteTempFile(m, FolderOf(InMachine(target)), mode, &temp,
                              [&](int fd) { return WriteAll(fd, static_cast<const char *>(data), size); });
    if (error)
        return error;
    if ((error = beneath::Rename(m.dir, temp, InMachine(target))))
        beneath::Unlink(m.dir, temp);
    return error;
}

}  // namespace win9x::layer

using namespace win9x::layer;

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    (void)lpSecurityAttributes, (void)hTemplateFile;
    if (DWORD injected = InjectedFailure("CreateFileA"))
        return Fail(injected, INVALID_HANDLE_VALUE);
    if (lpFileName && IsDevicePath(lpFileName))
        return OpenDevice(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition);
    DWORD error = ERROR_SUCCESS;
    auto path = MapFilePath(lpFileName, &error);
    if (!path)
        return Fail(error, INVALID_HANDLE_VALUE);
    // Of the share mode, only delete sharing plays a part for plain files:
    // a file held open without it cannot be deleted.
    return OpenPlainFile(*path, dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped)
{
    (void)lpOverlapped;
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = 0;
    if (DWORD injected = InjectedFailure("ReadFile"))
        return Fail(injected, FALSE);
    auto object = LookupHandleAs<IoObject>(hFile);
    if (!object)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!lpBuffer && nNumberOfBytesToRead)
        return Fail(ERROR_NOACCESS, FALSE);
    // The count pointer may be null: the transfer is made, its size untold.
    DWORD done = 0;
    BOOL ok = object->Read(lpBuffer, nNumberOfBytesToRead, &done);
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = done;
    return ok;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped)
{
    (void)lpOverlapped;
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    if (DWORD injected = InjectedFailure("WriteFile"))
        return Fail(injected, FALSE);
    auto object = LookupHandleAs<IoObject>(hFile);
    if (!object)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!lpBuffer && nNumberOfBytesToWrite)
        return Fail(ERROR_NOACCESS, FALSE);
    DWORD done = 0;
    BOOL ok = object->Write(lpBuffer, nNumberOfBytesToWrite, &done);
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = done;
    return ok;
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists)
{
    if (DWORD injected = InjectedFailure("CopyFileA"))
        return Fail(injected, FALSE);
    DWORD error = CopyPlainFile(lpExistingFileName, lpNewFileName, bFailIfExists != FALSE);
    return error ? Fail(error, FALSE) : TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName)
{
    if (DWORD injected = InjectedFailure("DeleteFileA"))
        return Fail(injected, FALSE);
    if (!lpFileName)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    DWORD error = DeletePlainFile(lpFileName, false);
    return error ? Fail(error, FALSE) : TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName)
{
    if (DWORD injected = InjectedFailure("GetFileAttributesA"))
        return Fail(injected, INVALID_FILE_ATTRIBUTES);
    DWORD error = ERROR_SUCCESS;
    DWORD attributes = QueryAttributes(lpFileName, &error);
    return attributes == INVALID_FILE_ATTRIBUTES ? Fail(error, attributes) : attributes;
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes)
{
    if (DWORD injected = InjectedFailure("SetFileAttributesA"))
        return Fail(injected, FALSE);
    DWORD error = ChangeAttributes(lpFileName, dwFileAttributes);
    return error ? Fail(error, FALSE) : TRUE;
}

}  // extern "C"
