// new and delete over the process heap. The deliverables are built without
// exceptions and with -fcheck-new: a failed allocation gives NULL, and the
// new-expression then constructs nothing and gives NULL too.
#include <windows.h>

void *operator new(size_t size)
{
    return HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1);
}

void *operator new[](size_t size)
{
    return operator new(size);
}

void operator delete(void *block) noexcept
{
    if (block != NULL)
        HeapFree(GetProcessHeap(), 0, block);
}

void operator delete[](void *block) noexcept
{
    operator delete(block);
}

void operator delete(void *block, size_t) noexcept
{
    operator delete(block);
}

void operator delete[](void *block, size_t) noexcept
{
    operator delete(block);
}
