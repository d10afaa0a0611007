// Host file work confined to a machine folder: openat2(2) with
// RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS resolves every folder of a path,
// and the *at calls act on the last component in the folder found so.
// glibc has no wrapper for openat2, hence the raw system call.
#include "machine/beneath.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace win9x::layer::beneath {

namespace {

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// openat2 beneath `dirFd`; a rename elsewhere in the tree makes the kernel
// answer EAGAIN, and the walk is simply tried again.
int OpenAt(int dirFd, const std::string &relative, int flags, mode_t mode)
{
    struct open_how how {};
    // O_PATH with O_NOFOLLOW would hand out the link itself; without it
    // RESOLVE_NO_SYMLINKS refuses a link as the last component too.
    int nofollow = (flags & O_PATH) ? 0 : O_NOFOLLOW;
    how.flags = static_cast<uint64_t>(flags | nofollow | O_CLOEXEC);
    how.mode = (flags & O_CREAT) ? mode : 0;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
    const char *path = relative.empty() ? "." : relative.c_str();
    for (int attempt = 0; attempt < 64; ++attempt) {
        long fd = syscall(SYS_openat2, dirFd, path, &how, sizeof how);
        if (fd >= 0)
            return static_cast<int>(fd);
        if (errno != EAGAIN && errno != EINTR)
            return -1;
    }
    return -1;
}

int OpenRoot(const std::string &root)
{
    return open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// The folder holding `relative`, opened beneath `root`, and the last
// component's name in *leaf.
int OpenParent(const std::string &root, const std::string &relative, std::string *leaf)
{
    size_t cut = relative.rfind('/');
    *leaf = cut == std::string::npos ? relative : relative.substr(cut + 1);
    if (leaf->empty() || *leaf == "." || *leaf == "..") {
        errno = EINVAL;
        return -1;
    }
    return Open(root, cut == std::string::npos ? "" : relative.substr(0, cut), O_PATH | O_DIRECTORY);
}

// 0 when `leaf` in `dirFd` is missing or no link, ELOOP for a link.
int RefuseLink(int dirFd, const std::string &leaf)
{
    struct stat info;
    if (fstatat(dirFd, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode))
        return ELOOP;
    return 0;
}

// Looks for a link in the folder `dirFd`, its path below `prefix`.
std::string FindLinkIn(int dirFd, const std::string &prefix)
{
    int listFd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *listing = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!listing) {
        if (listFd >= 0)
            close(listFd);
        return "";
    }
    std::string found;
    while (dirent *entry = readdir(listing)) {
        if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, ".."))
            continue;
        struct stat info;
        if (fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        std::string path = prefix + entry->d_name;
        if (S_ISLNK(info.st_mode)) {
            found = path;
            break;
        }
        if (S_ISDIR(info.st_mode)) {
            Descriptor sub(openat(dirFd, entry->d_name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (sub.get() >= 0)
                found = FindLinkIn(sub.get(), path + "/");
            if (!found.empty())
                break;
        }
    }
    closedir(listing);
    return found;
}

}  // namespace

int Open(const std::string &root, const std::string &relative, int flags, mode_t mode)
{
    Descriptor rootFd(OpenRoot(root));
    if (rootFd.get() < 0)
        return -1;
    return OpenAt(rootFd.get(), relative, flags, mode);
}

int Unlink(const std::string &root, const std::string &relative)
{
    std::string leaf;
    Descriptor parent(OpenParent(root, relative, &leaf));
    if (parent.get() < 0)
        return errno;
    if (int error = RefuseLink(parent.get(), leaf))
        return error;
    return unlinkat(parent.get(), leaf.c_str(), 0) == 0 ? 0 : errno;
}

namespace {

// The folders of two paths beneath the root, opened for an operation that
// names an entry in each; `error` is the errno when either cannot be.
struct TwoParents {
    int error = 0;
    std::string fromLeaf, toLeaf;
    Descriptor from, to;

    TwoParents(const std::string &root, const std::string &fromPath, const std::string &toPath)
        : from(OpenNoted(root, fromPath, &fromLeaf)), to(OpenNoted(root, toPath, &toLeaf))
    {
    }

    // The parent's descriptor; after a failure nothing more is opened, so
    // `error` keeps the first errno.
    int OpenNoted(const std::string &root, const std::string &path, std::string *leaf)
    {
        if (error)
            return -1;
        int fd = OpenParent(root, path, leaf);
        if (fd < 0)
            error = errno;
        return fd;
    }
};

}  // namespace

int Rename(const std::string &root, const std::string &from, const std::string &to)
{
    TwoParents parents(root, from, to);
    if (parents.error)
        return parents.error;
    if (int error = RefuseLink(parents.from.get(), parents.fromLeaf))
        return error;
    if (int error = RefuseLink(parents.to.get(), parents.toLeaf))
        return error;
    return renameat(parents.from.get(), parents.fromLeaf.c_str(), parents.to.get(), parents.toLeaf.c_str()) == 0
               ? 0
               : errno;
}

int Link(const std::string &root, const std::string &from, const std::string &to)
{
    TwoParents parents(root, from, to);
    if (parents.error)
        return parents.error;
    if (int error = RefuseLink(parents.from.get(), parents.fromLeaf))
        return error;
    // Without AT_SYMLINK_FOLLOW linkat names the entry itself, never a target.
    return linkat(parents.from.get(), parents.fromLeaf.c_str(), parents.to.get(), parents.toLeaf.c_str(), 0) == 0
               ? 0
               : errno;
}

int MakeFolders(const std::string &root, const std::string &relative)
{
    std::string done;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t cut = relative.find('/', start);
        std::string part = relative.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
        start = cut == std::string::npos ? relative.size() + 1 : cut + 1;
        if (part.empty())
            continue;
        Descriptor parent(Open(root, done, O_PATH | O_DIRECTORY));
        if (parent.get() < 0)
            return errno;
        if (mkdirat(parent.get(), part.c_str(), 0755) != 0 && errno != EEXIST)
            return errno;
        done += (done.empty() ? "" : "/") + part;
    }
    // The whole path must now be a folder reached without a link.
    Descriptor whole(Open(root, done, O_PATH | O_DIRECTORY));
    return whole.get() >= 0 ? 0 : errno;
}

int Status(const std::string &root, const std::string &relative, struct stat *info)
{
    std::string leaf;
    Descriptor parent(OpenParent(root, relative, &leaf));
    if (parent.get() < 0)
        return errno;
    if (fstatat(parent.get(), leaf.c_str(), info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    return S_ISLNK(info->st_mode) ? ELOOP : 0;
}

std::string FindLink(const std::string &root)
{
    Descriptor rootFd(OpenRoot(root));
    return rootFd.get() >= 0 ? FindLinkIn(rootFd.get(), "") : "";
}

}  // namespace win9x::layer::beneath
