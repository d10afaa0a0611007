#include "world/port_queue.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "win9x/machine.h"

namespace ovlsim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char *kTicketSuffix = ".job";
// Without inotify (its limits reached), how often a waiter looks again.
constexpr int kRecheckMs = 50;

// The port's folder: its name folded to lower case and hashed (FNV-1a), as
// a port name may hold '/' and be longer than a file name. Two ports that
// share a hash share a queue: their jobs take turns, nothing worse.
std::string PortFolder(const std::string &port)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (char c : port) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    }
    char name[24];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
    return win9x::machine::Directory() + "/spool/" + name;
}

std::string TicketPath(const std::string &folder, unsigned long long number)
{
    return folder + "/" + std::to_string(number) + kTicketSuffix;
}

// The numbers of the tickets in the folder, lowest first.
std::vector<unsigned long long> Tickets(const std::string &folder)
{
    std::vector<unsigned long long> numbers;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        size_t digits = name.find_first_not_of("0123456789");
        if (digits == 0 || digits == std::string::npos || name.substr(digits) != kTicketSuffix)
            continue;
        errno = 0;
        unsigned long long number = std::strtoull(name.c_str(), nullptr, 10);
        if (errno == 0)
            numbers.push_back(number);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// The folder's lock, under which tickets are numbered and made.
class FolderLock {
public:
    explicit FolderLock(const std::string &folder)
        : fd_(open((folder + "/queue.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644))
    {
        while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_;
};

// Milliseconds until the deadline for poll (-1: none), rounded up.
int PollMs(const std::optional<Clock::time_point> &deadline)
{
    if (!deadline)
        return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count() + 1;
    return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

// Field 22 of /proc/<pid>/stat, the process's start time ("" when it is
// gone): with the id it names one process, whatever reuses the id later.
// The command name before it may hold blanks: counting starts after its ')'.
std::string StartTime(long long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line, field;
    if (!std::getline(in, line) || line.rfind(')') == std::string::npos)
        return "";
    std::istringstream fields(line.substr(line.rfind(')') + 1));
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i == 22)
            return field;
    }
    return "";
}

// What a ticket records of its job's process: "<pid> <start time>".
std::string OwnerRecord()
{
    return std::to_string(getpid()) + " " + StartTime(getpid()) + "\n";
}

// A process that dies drops its ticket's lock when the system closes its
// files, a moment before it has ended; until it has, the machine counts the
// device it opened as in use. So the job behind it waits for that end (the
// process's pidfd becomes readable), unless the process is gone already or
// its id names another process now.
void AwaitOwnerEnd(int ticketFd, const std::optional<Clock::time_point> &deadline)
{
    char text[64];
    ssize_t size = pread(ticketFd, text, sizeof text - 1, 0);
    long long pid = 0;
    char start[32];
    if (size <= 0)
        return;
    text[size] = '\0';
    if (std::sscanf(text, "%lld %31s", &pid, start) != 2 || pid <= 0)
        return;
#ifdef SYS_pidfd_open
    int process = static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
    if (process < 0)
        return;
    if (StartTime(pid) == start) {
        pollfd ended{process, POLLIN, 0};
        poll(&ended, 1, PollMs(deadline));
    }
    close(process);
#else
    (void)deadline;
#endif
}

enum class Ended { Yes, TimedOut, Failed };

// Waits until the job holding the ticket at `path` has ended or died.
Ended AwaitTicket(const std::string &path, const std::optional<Clock::time_point> &deadline, std::string *error)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return Ended::Yes;  // it has gone already
        *error = "cannot open the queue's ticket " + path + ": " + std::strerror(errno);
        return Ended::Failed;
    }
    // Watched before the lock is tried, so that a close between the two is
    // not missed. Others looking at the file wake us too: we look again.
    int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch >= 0 && inotify_add_watch(watch, path.c_str(), IN_CLOSE | IN_ATTRIB | IN_DELETE_SELF) < 0) {
        close(watch);
        watch = -1;
    }
    Ended result = Ended::Failed;
    for (;;) {
        if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
            // Unlocked: its job ended (the file unlinked) or its process died
            // (the file left behind, which we take away for it).
            struct stat info {};
            if (fstat(fd, &info) == 0 && info.st_nlink > 0) {
                AwaitOwnerEnd(fd, deadline);
                unlink(path.c_str());
            }
            result = Ended::Yes;
            break;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            *error = "cannot wait for the queue's ticket " + path + ": " + std::strerror(errno);
            break;
        }
        int ms = PollMs(deadline);
        if (ms == 0) {
            result = Ended::TimedOut;
            break;
        }
        if (watch < 0) {
            poll(nullptr, 0, ms < 0 ? kRecheckMs : std::min(ms, kRecheckMs));
            continue;
        }
        pollfd ready{watch, POLLIN, 0};
        if (poll(&ready, 1, ms) > 0) {
            char events[4096];
            while (read(watch, events, sizeof events) > 0) {
            }
        }
    }
    if (watch >= 0)
        close(watch);
    close(fd);
    return result;
}

bool MakeFolder(const std::string &path, std::string *error)
{
    if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST)
        return true;
    *error = "cannot make the spooler's folder " + path + ": " + std::strerror(errno);
    return false;
}

}  // namespace

PortTurn::~PortTurn()
{
    if (fd_ < 0)
        return;
    unlink(ticket_.c_str());  // while still locked: no one takes it for a dead job's
    close(fd_);
}

PortTurn::Outcome PortTurn::Wait(const std::string &port, double timeoutSeconds,
                                 const std::function<void(size_t ahead)> &waiting, std::string *error)
{
    if (win9x::machine::Directory().empty()) {
        *error = "no machine is open";
        return Outcome::Failed;
    }
    std::optional<Clock::time_point> deadline;
    if (timeoutSeconds > 0)
        deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    folder_ = PortFolder(port);
    if (!MakeFolder(win9x::machine::Directory() + "/spool", error) || !MakeFolder(folder_, error))
        return Outcome::Failed;
    {
        FolderLock lock(folder_);
        if (!lock.held()) {
            *error = "cannot lock the spooler's queue in " + folder_ + ": " + std::strerror(errno);
            return Outcome::Failed;
        }
        auto tickets = Tickets(folder_);
        number_ = tickets.empty() ? 1 : tickets.back() + 1;
        ticket_ = TicketPath(folder_, number_);
        fd_ = open(ticket_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd_ < 0 || flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            *error = "cannot queue the job in " + folder_ + ": " + std::strerror(errno);
            return Outcome::Failed;
        }
        std::string owner = OwnerRecord();
        (void)!write(fd_, owner.data(), owner.size());  // read only when this process dies
    }
    bool announced = false;
    for (;;) {
        auto tickets = Tickets(folder_);
        auto mine = std::lower_bound(tickets.begin(), tickets.end(), number_);
        size_t ahead = static_cast<size_t>(mine - tickets.begin());
        if (ahead == 0)
            return Outcome::Ready;
        if (!announced && waiting)
            waiting(ahead);
        announced = true;
        switch (AwaitTicket(TicketPath(folder_, *(mine - 1)), deadline, error)) {
        case Ended::Yes: continue;
        case Ended::TimedOut: return Outcome::TimedOut;
        case Ended::Failed: return Outcome::Failed;
        }
    }
}

}  // namespace ovlsim
