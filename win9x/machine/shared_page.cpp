// The shared page behind a database: a file of one page, mapped shared by
// every process that opens the database. Waiting uses a futex on the mapped
// word, which the kernel matches across processes by file and offset.
#include "machine/shared_page.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <thread>

#include "machine/beneath.h"

namespace win9x::store {

namespace {

constexpr size_t kPageSize = SharedPage::kBytes;

template <class T>
std::atomic_ref<T> Shared(T &word)
{
    return std::atomic_ref<T>(word);
}

// The page's file lies right beside its database; a link there is refused,
// never followed.
int OpenPage(const std::string &path, int flags)
{
    size_t cut = path.rfind('/');
    if (cut == std::string::npos)
        return layer::beneath::Open(".", path, flags);
    return layer::beneath::Open(path.substr(0, cut), path.substr(cut + 1), flags);
}

}  // namespace

SharedPage::~SharedPage()
{
    if (page_)
        munmap(page_, kPageSize);
}

bool SharedPage::Map(const std::string &path, bool create)
{
    int fd = OpenPage(path, O_RDWR | (create ? O_CREAT : 0));
    if (fd < 0)
        return false;
    struct stat info {};
    // A new database's page is sized here; an existing one must be a whole
    // page already, since every process of the machine counts on it.
    bool sized = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                 (static_cast<size_t>(info.st_size) == kPageSize ||
                  (create && info.st_size == 0 && ftruncate(fd, kPageSize) == 0));
    void *mapped = sized ? mmap(nullptr, kPageSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
    close(fd);
    if (mapped == MAP_FAILED)
        return false;
    page_ = static_cast<Layout *>(mapped);
    return true;
}

uint64_t SharedPage::Generation() const
{
    return page_ ? Shared(page_->generation).load() : 1;
}

uint64_t SharedPage::BeginChange()
{
    if (!page_)
        return 0;
    auto generation = Shared(page_->generation);
    uint64_t seen = generation.load();
    uint64_t mark = 0;
    do {
        // The next odd value: a writer that died mid-way left an odd one.
        mark = seen % 2 == 0 ? seen + 1 : seen + 2;
    } while (!generation.compare_exchange_weak(seen, mark));
    return mark;
}

void SharedPage::EndChange(uint64_t mark)
{
    if (!page_ || mark == 0)
        return;
    // When the next writer marked its change meanwhile, the count is its.
    Shared(page_->generation).compare_exchange_strong(mark, mark + 1);
}

uint32_t SharedPage::Notices() const
{
    return page_ ? Shared(page_->notices).load() : 0;
}

void SharedPage::Notify()
{
    if (!page_)
        return;
    Shared(page_->notices).fetch_add(1);
    if (Shared(page_->waiters).load() > 0)
        syscall(SYS_futex, &page_->notices, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

bool SharedPage::WaitForNotice(uint32_t seen, unsigned timeoutMs) const
{
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!page_) {
        std::this_thread::sleep_until(deadline);
        return false;
    }
    auto notices = Shared(page_->notices);
    Shared(page_->waiters).fetch_add(1);
    for (auto now = Clock::now(); notices.load() == seen && now < deadline; now = Clock::now()) {
        auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now).count();
        struct timespec wait {
            static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)
        };
        // Sleeps only while the count still is `seen`; a wake, a signal or
        // the time-out ends it, and the loop looks again.
        syscall(SYS_futex, &page_->notices, FUTEX_WAIT, seen, &wait, nullptr, 0);
    }
    Shared(page_->waiters).fetch_sub(1);
    return notices.load() != seen;
}

}  // namespace win9x::store
