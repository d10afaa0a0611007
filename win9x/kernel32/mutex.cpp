// Mutexes: CreateMutexA, waiting on one, ReleaseMutex. An unnamed
// mutex lives in this process. A named one is shared by every process of
// the machine through two files in the machine's locks/ folder:
//
// - "<name>.lock", held with flock(LOCK_EX) while a thread of some process
//   owns the mutex. The system drops the lock when the holder dies. While
//   held it carries the owner's process id; a normal release empties it
//   first, so the next owner that finds an id in it knows that the last
//   owner ended without releasing (WAIT_ABANDONED).
// - "<name>.names", held with flock(LOCK_SH) by every process that has the
//   name open: the name exists on the machine while anyone holds it. A
//   creator under the machine-wide "mutex-names.lock" checks with a
//   non-blocking exclusive lock whether anyone else does.
// - "<name>.waiting", held with flock(LOCK_SH) by a process while one of its
//   threads waits for the mutex that another process owns, so that a test
//   can tell a waiter from a process that is merely slow.
//
// Within a process one state per mutex keeps the owner thread and the
// recursion count under a std::mutex, so that two threads never both
// believe they hold the flock (which belongs to the open file, not to a
// thread). As on Windows, ownership is per thread and recursive; a thread
// that ends owning a mutex, or the closing of the process's last handle
// while a thread owns it, abandons the mutex. Names are case-sensitive.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "kernel32/files.h"
#include "machine/api.h"
#include "machine/beneath.h"
#include "kernel32/handles.h"

namespace win9x::layer {

namespace {

using Clock = std::chrono::steady_clock;

// The longest pause between two tries for another process's lock.
constexpr std::chrono::milliseconds kMaxPollPause{5};

// One mutex as this process sees it.
class MutexState {
public:
    // `lockFd` is the ownership lock file of a named mutex, -1 otherwise;
    // `waitFd` its waiting file.
    explicit MutexState(int lockFd, int waitFd = -1) : lockFd_(lockFd), waitFd_(waitFd) {}
    ~MutexState()
    {
        if (lockFd_ >= 0)
            close(lockFd_);
        if (waitFd_ >= 0)
            close(waitFd_);
    }
    MutexState(const MutexState &) = delete;
    MutexState &operator=(const MutexState &) = delete;

    DWORD Wait(DWORD timeoutMs);
    bool Release();
    // Makes the calling thread the owner of a mutex nobody can hold yet.
    void TakeInitialOwnership();
    // Gives the mutex up as abandoned if `thread` (any thread when 0) owns it.
    void Abandon(DWORD thread);
    bool OwnedBy(DWORD thread);

private:
    enum class FileLock { Acquired, Abandoned, TimedOut, Failed };
    FileLock LockFile(std::optional<Clock::time_point> deadline);
    void MarkOwned();
    void BecomeOwner(DWORD thread);

    std::mutex mutex_;
    std::condition_variable changed_;
    DWORD owner_ = 0;         // the owning thread of this process, 0 for none
    unsigned count_ = 0;      // how often the owner acquired it
    bool acquiring_ = false;  // a thread of ours is trying the lock file
    bool abandoned_ = false;  // unnamed: the last owner ended holding it
    int lockFd_;
    int waitFd_;
};

// Holds the shared lock on a waiting file while it lives (one thread of a
// process at a time tries the lock file, so one description serves all).
class WaitingMark {
public:
    explicit WaitingMark(int fd) : fd_(fd) {}
    ~WaitingMark()
    {
        if (marked_)
            flock(fd_, LOCK_UN);
    }
    WaitingMark(const WaitingMark &) = delete;
    WaitingMark &operator=(const WaitingMark &) = delete;
    void Mark()
    {
        if (!marked_ && fd_ >= 0)
            marked_ = flock(fd_, LOCK_SH) == 0;
    }

private:
    int fd_;
    bool marked_ = false;
};

// The mutexes the calling thread owns; those still owned when the thread
// ends are abandoned.
struct OwnedMutexes {
    std::vector<std::shared_ptr<MutexState>> states;
    ~OwnedMutexes()
    {
        DWORD self = GetCurrentThreadId();
        for (auto &state : states)
            state->Abandon(self);
    }
};
thread_local OwnedMutexes t_owned;

// Notes a mutex the calling thread now owns, forgetting the ones it no
// longer owns.
void RememberOwned(const std::shared_ptr<MutexState> &state)
{
    DWORD self = GetCurrentThreadId();
    std::erase_if(t_owned.states, [&](const std::shared_ptr<MutexState> &s) { return !s->OwnedBy(self); });
    if (std::find(t_owned.states.begin(), t_owned.states.end(), state) == t_owned.states.end())
        t_owned.states.push_back(state);
}

void ForgetOwned(const MutexState *state)
{
    std::erase_if(t_owned.states, [&](const std::shared_ptr<MutexState> &s) { return s.get() == state; });
}

// Writes this process's id into the held lock file.
void MarkLockFile(int fd)
{
    std::string mark = std::to_string(getpid()) + "\n";
    if (ftruncate(fd, 0) != 0 || pwrite(fd, mark.data(), mark.size(), 0) != static_cast<ssize_t>(mark.size()))
        std::fprintf(stderr, "win9x: cannot mark a mutex's lock file: %s\n", std::strerror(errno));
}

// Tries for the lock file until the deadline, pausing a little longer each
// time. A mark left in it means its last owner died holding it.
MutexState::FileLock MutexState::LockFile(std::optional<Clock::time_point> deadline)
{
    std::chrono::milliseconds pause{1};
    WaitingMark waiting(waitFd_);
    while (flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return FileLock::Failed;
        waiting.Mark();
        auto now = Clock::now();
        if (deadline && now >= *deadline)
            return FileLock::TimedOut;
        auto wait = deadline ? std::min<Clock::duration>(pause, *deadline - now) : Clock::duration(pause);
        std::this_thread::sleep_for(wait);
        pause = std::min(pause * 2, kMaxPollPause);
    }
    char mark[32];
    bool abandoned = pread(lockFd_, mark, sizeof mark, 0) > 0;
    MarkLockFile(lockFd_);
    return abandoned ? FileLock::Abandoned : FileLock::Acquired;
}

void MutexState::BecomeOwner(DWORD thread)
{
    owner_ = thread;
    count_ = 1;
}

DWORD MutexState::Wait(DWORD timeoutMs)
{
    DWORD self = GetCurrentThreadId();
    std::optional<Clock::time_point> deadline;
    if (timeoutMs != INFINITE)
        deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(mutex_);
    if (owner_ == self) {
        ++count_;
        return WAIT_OBJECT_0;
    }
    auto free = [&] { return owner_ == 0 && !acquiring_; };
    if (!deadline)
        changed_.wait(lock, free);
    else if (!changed_.wait_until(lock, *deadline, free))
        return WAIT_TIMEOUT;
    DWORD result = WAIT_OBJECT_0;
    if (lockFd_ < 0) {
        result = abandoned_ ? WAIT_ABANDONED : WAIT_OBJECT_0;
        abandoned_ = false;
    } else {
        // Another process may hold it: try without blocking our own threads'
        // view of the state.
        acquiring_ = true;
        lock.unlock();
        FileLock got = LockFile(deadline);
        lock.lock();
        acquiring_ = false;
        if (got == FileLock::TimedOut || got == FileLock::Failed) {
            changed_.notify_all();
            if (got == FileLock::Failed)
                SetLastError(ERROR_GEN_FAILURE);
            return got == FileLock::TimedOut ? WAIT_TIMEOUT : WAIT_FAILED;
        }
        result = got == FileLock::Abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
    }
    BecomeOwner(self);
    return result;
}

bool MutexState::Release()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (owner_ != GetCurrentThreadId())
        return false;
    if (--count_ > 0)
        return true;
    if (lockFd_ >= 0) {
        // Emptied before it is unlocked: the next owner finds no mark.
        if (ftruncate(lockFd_, 0) != 0)
            std::fprintf(stderr, "win9x: cannot clear a mutex's lock file: %s\n", std::strerror(errno));
        flock(lockFd_, LOCK_UN);
    }
    owner_ = 0;
    changed_.notify_all();
    return true;
}

void MutexState::TakeInitialOwnership()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (lockFd_ >= 0) {
        flock(lockFd_, LOCK_EX);  // free: no other process has the name
        MarkLockFile(lockFd_);
    }
    BecomeOwner(GetCurrentThreadId());
}

void MutexState::Abandon(DWORD thread)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (owner_ == 0 || (thread != 0 && owner_ != thread))
        return;
    // The lock file keeps the owner's mark, which tells the next owner.
    if (lockFd_ >= 0)
        flock(lockFd_, LOCK_UN);
    else
        abandoned_ = true;
    owner_ = 0;
    count_ = 0;
    changed_.notify_all();
}

bool MutexState::OwnedBy(DWORD thread)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return owner_ == thread;
}

// ---- Names -------------------------------------------------------------------

// A name this process has open: its state, its handles and the presence
// lock that tells other processes that the name exists.
struct NamedEntry {
    std::shared_ptr<MutexState> state;
    unsigned handles = 0;
    int presenceFd = -1;
};

// The names this process has open, keyed by machine directory and name.
struct NameTable {
    std::mutex mutex;
    std::map<std::string, NamedEntry> entries;
};

// Never destroyed: handles still open at exit go with the handle table,
// whose destructor may run after this file's statics are gone.
NameTable &Names()
{
    static NameTable *table = new NameTable;
    return *table;
}

// A handle of CreateMutexA. Closing the process's last handle to a mutex
// that a thread of it owns abandons the mutex.
class MutexHandle : public WaitableObject {
public:
    MutexHandle(std::shared_ptr<MutexState> state, std::string key) : state_(std::move(state)), key_(std::move(key)) {}
    ~MutexHandle() override;
    DWORD WaitFor(DWORD timeoutMs) override
    {
        DWORD result = state_->Wait(timeoutMs);
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
            RememberOwned(state_);
        return result;
    }
    MutexHandle(const MutexHandle &) = delete;
    MutexHandle &operator=(const MutexHandle &) = delete;
    MutexState &state() { return *state_; }

private:
    std::shared_ptr<MutexState> state_;
    std::string key_;  // empty for an unnamed mutex
};

MutexHandle::~MutexHandle()
{
    if (key_.empty()) {
        state_->Abandon(0);
        return;
    }
    NameTable &names = Names();
    std::lock_guard<std::mutex> guard(names.mutex);
    auto found = names.entries.find(key_);
    if (found == names.entries.end() || --found->second.handles > 0)
        return;
    // Unlocked before the name goes, so that no process finds the name new
    // while the lock is still held.
    state_->Abandon(0);
    close(found->second.presenceFd);
    names.entries.erase(found);
}

// A file name for a mutex name: letters, digits, '-' and '.' as they are,
// every other byte as %XX; a very long one cut and told apart by a hash.
std::string FileNameFor(std::string_view name)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : name) {
        if (std::isalnum(c) || c == '-' || c == '.') {
            encoded.push_back(static_cast<char>(c));
        } else {
            encoded.push_back('%');
            encoded.push_back(kHex[c >> 4]);
            encoded.push_back(kHex[c & 15]);
        }
    }
    if (encoded.size() <= 180)
        return "mutex-" + encoded;
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : name)
        hash = (hash ^ c) * 1099511628211ull;
    char tail[24];
    std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
    return "mutex-" + encoded.substr(0, 160) + tail;
}

// Opens the files of a name this process does not have open yet and
// registers it; *existed tells whether another process has it. Runs under
// the name table's mutex and the machine's names lock. ERROR_SUCCESS or the error.
DWORD OpenNewName(const Machine &m, const std::string &name, const std::string &key, bool initialOwner, bool *existed)
{
    std::string base = LockFolder(m) + "/" + FileNameFor(name);
    int presence = beneath::Open(m.dir, base + ".names", O_RDWR | O_CREAT);
    int lockFd = presence >= 0 ? beneath::Open(m.dir, base + ".lock", O_RDWR | O_CREAT) : -1;
    int waitFd = lockFd >= 0 ? beneath::Open(m.dir, base + ".waiting", O_RDWR | O_CREAT) : -1;
    if (waitFd < 0) {
        DWORD error = ErrorFromErrno(errno, nullptr);
        for (int fd : {presence, lockFd}) {
            if (fd >= 0)
                close(fd);
        }
        return error;
    }
    *existed = flock(presence, LOCK_EX | LOCK_NB) != 0;
    // A new mutex has no earlier owner, whatever a dead one left behind.
    if (!*existed && ftruncate(lockFd, 0) != 0)
        std::fprintf(stderr, "win9x: cannot reset a mutex's lock file: %s\n", std::strerror(errno));
    flock(presence, LOCK_SH);  // the names lock keeps the exchange safe
    auto state = std::make_shared<MutexState>(lockFd, waitFd);
    if (!*existed && initialOwner) {
        state->TakeInitialOwnership();
        RememberOwned(state);
    }
    Names().entries[key] = NamedEntry{state, 1, presence};
    return ERROR_SUCCESS;
}

// The handle of a named mutex, opening the name or one more handle to it.
HANDLE CreateNamedMutex(const std::string &name, bool initialOwner, bool *existed, DWORD *error)
{
    auto m = CurrentMachine();
    if (!m) {
        *error = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    std::string key = m->dir + '\0' + name;
    NameTable &names = Names();
    std::lock_guard<std::mutex> guard(names.mutex);
    auto found = names.entries.find(key);
    if (found != names.entries.end()) {
        // Open in this process already; the initial owner is then ignored.
        *existed = true;
        ++found->second.handles;
        return InsertHandle(std::make_shared<MutexHandle>(found->second.state, key));
    }
    MachineLock namesLock(*m, "mutex-names.lock");
    if (!namesLock.held()) {
        *error = ERROR_GEN_FAILURE;
        return nullptr;
    }
    if ((*error = OpenNewName(*m, name, key, initialOwner, existed)))
        return nullptr;
    return InsertHandle(std::make_shared<MutexHandle>(names.entries[key].state, key));
}

}  // namespace

}  // namespace win9x::layer

namespace win9x::machine {

bool NamedMutexHasWaiter(const std::string &name)
{
    auto m = layer::CurrentMachine();
    if (!m)
        return false;
    std::string path = layer::LockFolder(*m) + "/" + layer::FileNameFor(name) + ".waiting";
    int fd = layer::beneath::Open(m->dir, path, O_RDWR | O_CREAT);
    if (fd < 0)
        return false;
    bool waiter = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);  // also drops the lock when there was no waiter
    return waiter;
}

}  // namespace win9x::machine

using namespace win9x::layer;

extern "C" {

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName)
{
    (void)lpMutexAttributes;
    if (DWORD injected = InjectedFailure("CreateMutexA"))
        return Fail(injected, HANDLE(nullptr));
    if (!lpName || !*lpName) {
        auto state = std::make_shared<MutexState>(-1);
        if (bInitialOwner) {
            state->TakeInitialOwnership();
            RememberOwned(state);
        }
        HANDLE handle = InsertHandle(std::make_shared<MutexHandle>(state, std::string()));
        SetLastError(ERROR_SUCCESS);
        return handle;
    }
    if (std::strlen(lpName) >= MAX_PATH)
        return Fail(ERROR_FILENAME_EXCED_RANGE, HANDLE(nullptr));
    bool existed = false;
    DWORD error = ERROR_SUCCESS;
    HANDLE handle = CreateNamedMutex(lpName, bInitialOwner != FALSE, &existed, &error);
    if (!handle)
        return Fail(error, HANDLE(nullptr));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex)
{
    if (DWORD injected = InjectedFailure("ReleaseMutex"))
        return Fail(injected, FALSE);
    auto object = LookupHandleAs<MutexHandle>(hMutex);
    if (!object)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!object->state().Release())
        return Fail(ERROR_NOT_OWNER, FALSE);
    if (!object->state().OwnedBy(GetCurrentThreadId()))
        ForgetOwned(&object->state());
    return TRUE;
}

}  // extern "C"
