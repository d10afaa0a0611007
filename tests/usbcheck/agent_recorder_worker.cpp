// A stand-in for the device installation agent: installed on a machine as
// C:\WINDOWS\SYSTEM\ovlcin00.exe, it appends the argument text it was
// started with, as one line, to agent-runs.txt in the machine's directory,
// so that the wizard's tests can read the exact command lines it starts.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

int main(int argc, char **argv)
{
    const char *machine = std::getenv("OVLSIM_MACHINE");
    if (!machine)
        return 1;
    std::string line = (argc > 1 ? std::string(argv[1]) : std::string()) + "\n";
    std::string path = std::string(machine) + "/agent-runs.txt";
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0)
        return 1;
    // One write with O_APPEND: lines of agents running at once stay whole.
    bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    close(fd);
    return ok ? 0 : 1;
}
