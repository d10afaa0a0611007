// The spooler's queue of jobs for one port, shared by every ovlsim process
// of the machine: jobs take their turns on a port in the order they came,
// a job waits while others are ahead of it, and a job whose process dies
// (killed while waiting or printing) gives its place up at once.
//
// Each job holds a numbered ticket, a file in the port's folder under the
// machine's spool/ folder, locked with flock for as long as the job lives;
// numbers are handed out under the folder's lock, so they follow the order
// of arrival. A job waits for the ticket just before its own: the system
// drops that lock when its job ends or its process dies, and inotify wakes
// the waiter when that file is closed. A ticket found unlocked is one whose
// job ended (its file unlinked) or died (its file left); the waiter waits
// for the dead job's process to have ended (it records its id and start
// time), removes its ticket and waits for the ticket before it, if any.
#pragma once

#include <functional>
#include <string>

namespace ovlsim {

class PortTurn {
public:
    PortTurn() = default;
    ~PortTurn();  // gives the place up
    PortTurn(const PortTurn &) = delete;
    PortTurn &operator=(const PortTurn &) = delete;

    enum class Outcome { Ready, TimedOut, Failed };

    // Queues a job for `port` (names compared without regard to case) on the
    // open machine and waits for its turn: until every job queued before it
    // has ended or `timeoutSeconds` pass (0: no bound). `waiting` is called
    // once, with the number of jobs ahead, when the job has to wait.
    // Failed, with the reason in `error`, when the queue cannot be used.
    Outcome Wait(const std::string &port, double timeoutSeconds, const std::function<void(size_t ahead)> &waiting,
                 std::string *error);

private:
    std::string folder_;
    std::string ticket_;  // the path of this job's ticket
    unsigned long long number_ = 0;
    int fd_ = -1;  // the ticket, locked while the job lives
};

}  // namespace ovlsim
