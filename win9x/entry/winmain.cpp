// main() of a Windows program built for the host: it finds the machine from
// OVLSIM_MACHINE and calls WinMain with the argument text. A starter that
// passes the whole argument text as one argument (WinExec does) has it
// delivered exactly; from a shell the arguments are joined by single blanks.
#include <windows.h>

#include <cstdio>
#include <string>

#include "win9x/machine.h"

int main(int argc, char **argv)
{
    std::string arguments;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            arguments += ' ';
        arguments += argv[i];
    }
    std::string error;
    if (!win9x::machine::OpenFromEnvironment(&error)) {
        std::fprintf(stderr, "%s: %s\n", argc > 0 ? argv[0] : "program", error.c_str());
        return 1;
    }
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));
    return WinMain(instance, nullptr, arguments.data(), SW_SHOWNORMAL);
}
