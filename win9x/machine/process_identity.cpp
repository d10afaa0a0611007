#include "machine/process_identity.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

namespace win9x::layer {

namespace {

// Field 22 of /proc/<pid>/stat; the command name before it may hold blanks,
// so counting starts after its closing parenthesis.
int64_t StartTime(int64_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return -1;
    size_t close = line.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i == 22)
            return std::stoll(field);
    }
    return -1;
}

}  // namespace

ProcessIdentity CurrentProcess()
{
    static const ProcessIdentity self{getpid(), StartTime(getpid())};
    return self;
}

ProcessIdentity IdentityOf(int64_t pid)
{
    return ProcessIdentity{pid, StartTime(pid)};
}

bool IsAlive(const ProcessIdentity &process)
{
    if (process.pid <= 0)
        return false;
    if (kill(static_cast<pid_t>(process.pid), 0) != 0 && errno != EPERM)
        return false;
    // A zombie is gone for our purposes; so is a newer process with its id.
    std::ifstream in("/proc/" + std::to_string(process.pid) + "/stat");
    std::string line;
    if (std::getline(in, line)) {
        size_t close = line.rfind(')');
        if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z')
            return false;
    }
    return StartTime(process.pid) == process.start;
}

}  // namespace win9x::layer
