// Called through the table slot of a function that a class declares but
// does not define: a program fault. The process ends with the exit code
// abort() would give.
#include <windows.h>

extern "C" void __cxa_pure_virtual(void)
{
    ExitProcess(3);
}
