// Calls through the port monitor's function table. On 32-bit Windows each
// call also checks the calling convention: every entry is stdcall, so the
// function itself removes its arguments from the stack. A function of
// another convention behind a cast leaves them there; its caller here,
// which restores its stack from its frame pointer, would not notice, but
// the spooler would. The call is made from assembly that counts the bytes
// left, and a "stack:" line names the entry, so the answers differ from
// the stand-in's.
#ifndef OVL_TESTS_WINE_TABLE_CALL_H
#define OVL_TESTS_WINE_TABLE_CALL_H

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <type_traits>

#if defined(_WIN32) && !defined(_WIN64)
// Pushes count arguments (the last first), calls function, stores what it
// returned in *result and returns the bytes of arguments it left on the
// stack (the stack is restored either way). esi, which both conventions
// preserve, holds the stack pointer from before the pushes.
extern "C" DWORD __cdecl CallMeasuringStack(const void *function, const DWORD *arguments, DWORD count,
                                            DWORD *result);
asm(R"(
    .text
    .globl _CallMeasuringStack
_CallMeasuringStack:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    movl 16(%ebp), %ecx
    movl 12(%ebp), %edx
    movl %esp, %esi
1:  testl %ecx, %ecx
    jz 2f
    pushl -4(%edx,%ecx,4)
    decl %ecx
    jmp 1b
2:  call *8(%ebp)
    movl 20(%ebp), %ecx
    movl %eax, (%ecx)
    movl %esi, %eax
    subl %esp, %eax
    movl %esi, %esp
    popl %esi
    popl %ebp
    ret
)");
#endif

// function(args...), the entry's name given for the report.
template <typename... Args>
BOOL TableCall(const char *name, BOOL(WINAPI *function)(Args...), std::type_identity_t<Args>... args)
{
#if defined(_WIN32) && !defined(_WIN64)
    static_assert(((sizeof(Args) == sizeof(DWORD)) && ...), "every argument of the table is one DWORD");
    DWORD values[sizeof...(Args) + 1] = {};
    DWORD index = 0;
    ((memcpy(&values[index++], &args, sizeof(DWORD))), ...);
    const void *address;
    memcpy(&address, &function, sizeof address);
    DWORD result = 0;
    DWORD left = CallMeasuringStack(address, values, sizeof...(Args), &result);
    if (left != 0)
        printf("stack: %s left %lu bytes of arguments on the stack\n", name, (unsigned long)left);
    return (BOOL)result;
#else
    (void)name;
    return function(args...);
#endif
}

#endif
