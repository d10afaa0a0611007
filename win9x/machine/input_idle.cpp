#include "machine/input_idle.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <utility>

namespace win9x::layer {

namespace {

// This process's end of its starter's channel, or -1.
std::atomic<int> g_idleEnd{-1};

// Takes the inherited end at load, before the program can start children
// of its own: it closes on exec from now on and the variable goes, so that
// no grandchild signals in this process's name.
__attribute__((constructor)) void TakeInheritedEnd()
{
    const char *text = std::getenv(kInputIdleVariable);
    if (!text)
        return;
    char *end = nullptr;
    long fd = std::strtol(text, &end, 10);
    unsetenv(kInputIdleVariable);
    if (end == text || *end || fd < 0 || fd > 65535 || fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC) != 0)
        return;
    g_idleEnd.store(static_cast<int>(fd));
}

void CloseQuietly(int fd)
{
    if (fd >= 0)
        close(fd);
}

}  // namespace

std::optional<InputIdleChannel> InputIdleChannel::Create()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return std::nullopt;
    return InputIdleChannel(ends[0], ends[1]);
}

InputIdleChannel::InputIdleChannel(InputIdleChannel &&other) noexcept
    : readEnd_(std::exchange(other.readEnd_, -1)), childEnd_(std::exchange(other.childEnd_, -1))
{
}

InputIdleChannel &InputIdleChannel::operator=(InputIdleChannel &&other) noexcept
{
    if (this != &other) {
        CloseQuietly(readEnd_);
        CloseQuietly(childEnd_);
        readEnd_ = std::exchange(other.readEnd_, -1);
        childEnd_ = std::exchange(other.childEnd_, -1);
    }
    return *this;
}

InputIdleChannel::~InputIdleChannel()
{
    CloseQuietly(readEnd_);
    CloseQuietly(childEnd_);
}

void InputIdleChannel::CloseChildEnd()
{
    CloseQuietly(std::exchange(childEnd_, -1));
}

InputIdleChannel::State InputIdleChannel::Wait(uint32_t timeoutMs) const
{
    // The byte is never read and the end of the file stays: once released,
    // every later wait returns at once.
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int wait = -1;
        if (timeoutMs != UINT32_MAX) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = static_cast<int>(std::max<long long>(0, std::min<long long>(left, 1 << 30)));
        }
        pollfd entry{readEnd_, POLLIN, 0};
        int ready = poll(&entry, 1, wait);
        if (ready > 0) {
            int waiting = 0;
            return ioctl(readEnd_, FIONREAD, &waiting) == 0 && waiting > 0 ? State::Idle : State::Closed;
        }
        if (ready == 0)
            return State::Waiting;
        if (errno != EINTR)
            return State::Closed;  // nothing to wait on: do not hold the caller
    }
}

void SignalInputIdle()
{
    int fd = g_idleEnd.exchange(-1);
    if (fd < 0)
        return;
    char byte = 1;
    while (write(fd, &byte, 1) < 0 && errno == EINTR) {
    }
    close(fd);
}

}  // namespace win9x::layer
