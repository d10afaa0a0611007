// The linker gathers the constructor list of a module between a leading -1
// and a closing 0; the start-up code calls the entries last to first, the
// order in which GCC expects them to run.
#include "constructors.h"

#include <stddef.h>

typedef void (*Constructor)(void);

extern "C" Constructor __CTOR_LIST__[];

void wincrt::RunConstructors(void)
{
    size_t count = 0;
    while (__CTOR_LIST__[count + 1] != NULL)
        count++;
    for (size_t i = count; i > 0; i--)
        __CTOR_LIST__[i]();
}
