// The signal a started program gives its starter when it first waits for
// input, which Windows' WinExec and WaitForInputIdle wait for. The starter
// makes a pipe and the child inherits its write end, named by
// OVLSIM_INPUT_IDLE_FD. The child writes one byte when it first finds no
// message waiting and closes its end; a child that ends closes it too. The
// starter sees either as its read end turning readable, so a child that
// never waits for input releases it at its end.
#pragma once

#include <cstdint>
#include <optional>

namespace win9x::layer {

inline constexpr const char *kInputIdleVariable = "OVLSIM_INPUT_IDLE_FD";

// The starter's side of one child's signal.
class InputIdleChannel {
public:
    // A new pipe (both ends close on exec); nullopt when none can be made.
    static std::optional<InputIdleChannel> Create();
    InputIdleChannel(InputIdleChannel &&other) noexcept;
    InputIdleChannel &operator=(InputIdleChannel &&other) noexcept;
    InputIdleChannel(const InputIdleChannel &) = delete;
    InputIdleChannel &operator=(const InputIdleChannel &) = delete;
    ~InputIdleChannel();

    // The end the child inherits (under the same number); closed here once
    // the child has started, so that the child's end is the only one.
    int ChildEnd() const { return childEnd_; }
    void CloseChildEnd();

    enum class State { Idle, Closed, Waiting };
    // Waits until the child has waited for input (Idle) or closed its end,
    // as it does when it ends (Closed), at most `timeoutMs` milliseconds
    // (UINT32_MAX: no limit); Waiting when the time ran out.
    State Wait(uint32_t timeoutMs) const;

private:
    InputIdleChannel(int readEnd, int childEnd) : readEnd_(readEnd), childEnd_(childEnd) {}
    int readEnd_ = -1;
    int childEnd_ = -1;
};

// Tells this process's starter that the program now waits for input; only
// the first call does anything. A program started without a channel has
// nobody to tell.
void SignalInputIdle();

}  // namespace win9x::layer
