// Programs and what they share: WinExec returning when the program first
// waits for input (or ends), WaitForInputIdle, a child's exit code, files a
// running child holds (its own program file included), and a named mutex
// abandoned by a child that ended owning it.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "check.h"

namespace conformance {

namespace {

// C:\WINDOWS\TEMP\<name><suffix>
void ScratchPath(char *out, const char *name, const char *suffix)
{
    sprintf(out, "%s\\%s%s", kScratch, name, suffix);
}

bool Exists(const char *name, const char *suffix)
{
    char path[MAX_PATH];
    ScratchPath(path, name, suffix);
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

void Touch(const char *name, const char *suffix)
{
    char path[MAX_PATH];
    ScratchPath(path, name, suffix);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

void Remove(const char *name, const char *suffix)
{
    char path[MAX_PATH];
    ScratchPath(path, name, suffix);
    DeleteFileA(path);
}

// The gate a child waits at: a named mutex this process owns until it
// opens it.
HANDLE CloseGate(const char *name)
{
    HANDLE gate = CreateMutexA(nullptr, TRUE, name);
    ok(gate != nullptr, "gate %s", name);
    return gate;
}

void OpenGate(HANDLE gate)
{
    ok(ReleaseMutex(gate), "open the gate");
    CloseHandle(gate);
}

// Waits at the gate (at most 20 s) without looking at messages.
bool PassGate(const char *name)
{
    HANDLE gate = CreateMutexA(nullptr, FALSE, name);
    if (!gate)
        return false;
    DWORD waited = WaitForSingleObject(gate, 20000);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
        ReleaseMutex(gate);
    CloseHandle(gate);
    return waited != WAIT_TIMEOUT;
}

HANDLE Start(const char *program, const char *what, const char *name)
{
    char line[MAX_PATH * 2];
    sprintf(line, "%s child %s %s", program, what, name);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    memset(&info, 0xbe, sizeof info);
    SetLastError(kSeed);
    BOOL started = CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    ok(started, "CreateProcessA(%s): %lu", line, (unsigned long)GetLastError());
    if (!started)
        return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}

void EndsWith(HANDLE process, DWORD code)
{
    ok(WaitForSingleObject(process, 20000) == WAIT_OBJECT_0, "the child ends");
    DWORD exitCode = kSeed;
    ok(GetExitCodeProcess(process, &exitCode) && exitCode == code, "exit code %lu, not %lu",
       (unsigned long)exitCode, (unsigned long)code);
    CloseHandle(process);
}

// WinExec: back once the program waits for input, while it still runs; a
// program that never waits for input holds it until it ends.
void WinExecWaits()
{
    char line[MAX_PATH];
    HANDLE gate = CloseGate("cf-winexec");
    Remove("cf-winexec", ".1");
    Remove("cf-winexec", ".2");
    sprintf(line, "%s child idle cf-winexec", kProgram);
    DWORD start = GetTickCount();
    UINT r = WinExec(line, SW_HIDE);
    ok(r > 31, "WinExec started it: %u", r);
    ok(GetTickCount() - start < 8000, "back before the time-out: %lu ms", (unsigned long)(GetTickCount() - start));
    ok(Exists("cf-winexec", ".1"), "it ran up to its first wait for input");
    ok(!Exists("cf-winexec", ".2"), "and runs on past WinExec");
    OpenGate(gate);
    for (int i = 0; i < 500 && !Exists("cf-winexec", ".2"); ++i)
        Sleep(20);
    ok(Exists("cf-winexec", ".2"), "it went on once the gate opened");

    Remove("cf-quick", ".1");
    sprintf(line, "%s child quick cf-quick", kProgram);
    r = WinExec(line, SW_HIDE);
    ok(r > 31, "WinExec started the quick one: %u", r);
    ok(Exists("cf-quick", ".1"), "a program that never waits for input has ended when WinExec returns");

    r = WinExec("C:\\WINDOWS\\NOPROG.EXE", SW_HIDE);
    ok(r == ERROR_FILE_NOT_FOUND, "a missing program: %u", r);
    Remove("cf-winexec", ".1");
    Remove("cf-winexec", ".2");
    Remove("cf-quick", ".1");
}

void WaitForInputIdleChecks()
{
    HANDLE gate = CloseGate("cf-busy");
    HANDLE busy = Start(kProgram, "busy", "cf-busy");
    DWORD r = WaitForInputIdle(busy, 300);
    ok(r == WAIT_TIMEOUT, "a child that never waits for input: %lu", (unsigned long)r);
    DWORD code = kSeed;
    ok(GetExitCodeProcess(busy, &code) && code == STILL_ACTIVE, "it still runs: %lu", (unsigned long)code);
    OpenGate(gate);
    EndsWith(busy, 8);

    // A first PeekMessageA that finds nothing is a wait for input too.
    gate = CloseGate("cf-peek");
    HANDLE peek = Start(kProgram, "peek", "cf-peek");
    r = WaitForInputIdle(peek, wine_differs("Wine counts only GetMessageA as a wait for input") ? 300 : 20000);
    ok(r == (OnWine() ? WAIT_TIMEOUT : 0), "a child that peeked: %lu", (unsigned long)r);
    OpenGate(gate);
    EndsWith(peek, 6);

    gate = CloseGate("cf-idle");
    HANDLE idle = Start(kProgram, "idle", "cf-idle");
    r = WaitForInputIdle(idle, 20000);
    ok(r == 0, "a child that waits for input: %lu", (unsigned long)r);
    ok(GetExitCodeProcess(idle, &code) && code == STILL_ACTIVE, "and runs on: %lu", (unsigned long)code);
    ok(WaitForInputIdle(idle, 0) == 0, "once idle, always");
    OpenGate(gate);
    EndsWith(idle, 7);
    Remove("cf-busy", ".1");
    Remove("cf-idle", ".1");
    Remove("cf-idle", ".2");
}

// A file another process holds open, and a running program's own file,
// cannot be deleted until it lets go.
void FilesInUse()
{
    char held[MAX_PATH];
    ScratchPath(held, "cf-hold", ".dat");
    Touch("cf-hold", ".dat");
    HANDLE gate = CloseGate("cf-hold");
    HANDLE holder = Start(kProgram, "hold", "cf-hold");
    ok(WaitForInputIdle(holder, 20000) == 0, "the holder opened the file");
    SetLastError(kSeed);
    ok(!DeleteFileA(held), "a file another process holds open is not deleted");
    if (wine_differs("NT refuses to delete a file held open with a sharing violation"))
        ok(GetLastError() == ERROR_SHARING_VIOLATION, "... %lu", (unsigned long)GetLastError());
    else
        ok(GetLastError() == ERROR_ACCESS_DENIED, "... ERROR_ACCESS_DENIED: %lu", (unsigned long)GetLastError());
    OpenGate(gate);
    EndsWith(holder, 0);
    ok(DeleteFileA(held), "deleted once the holder ended");

    char copy[MAX_PATH];
    ScratchPath(copy, "CFCHILD", ".EXE");
    SetFileAttributesA(copy, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(copy);
    ok(CopyFileA(kProgram, copy, FALSE), "copy the program");
    gate = CloseGate("cf-image");
    HANDLE running = Start(copy, "idle", "cf-image");
    ok(WaitForInputIdle(running, 20000) == 0, "the copy runs");
    SetLastError(kSeed);
    ok(!DeleteFileA(copy), "a running program's file is not deleted");
    ok(GetLastError() == ERROR_ACCESS_DENIED, "... ERROR_ACCESS_DENIED: %lu", (unsigned long)GetLastError());
    OpenGate(gate);
    EndsWith(running, 7);
    ok(DeleteFileA(copy), "deleted once it ended");
    Remove("cf-image", ".1");
    Remove("cf-image", ".2");
}

// The next owner after a child that ended owning the mutex is told so.
void AbandonedMutex()
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "cf-abandon");
    ok(mutex != nullptr && GetLastError() == ERROR_SUCCESS, "a new mutex: %lu", (unsigned long)GetLastError());
    EndsWith(Start(kProgram, "abandon", "cf-abandon"), 0);
    DWORD r = WaitForSingleObject(mutex, 5000);
    ok(r == WAIT_ABANDONED, "abandoned by the child: %lx", (unsigned long)r);
    ok(ReleaseMutex(mutex), "released");
    r = WaitForSingleObject(mutex, 0);
    ok(r == WAIT_OBJECT_0, "then plainly taken: %lx", (unsigned long)r);
    ok(ReleaseMutex(mutex), "released again");
    SetLastError(kSeed);
    ok(!ReleaseMutex(mutex), "not owned any more");
    ok(GetLastError() == ERROR_NOT_OWNER, "... ERROR_NOT_OWNER: %lu", (unsigned long)GetLastError());
    CloseHandle(mutex);
}

}  // namespace

void ProcessChecks()
{
    WinExecWaits();
    WaitForInputIdleChecks();
    FilesInUse();
    AbandonedMutex();
}

// Waits for input once: GetMessageA until a short timer's message comes.
void WaitForInputOnce()
{
    UINT_PTR timer = SetTimer(nullptr, 0, 50, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0 && message.message != WM_TIMER) {
    }
    KillTimer(nullptr, timer);
}

// The children: "idle" marks .1, waits for input, passes the gate, marks
// .2; "busy" the same without waiting for input; "peek" looks for a message
// (finding none) and passes the gate; "quick" marks .1 after a moment and
// ends; "hold" holds <name>.dat open until the gate opens; "abandon" takes
// the mutex and ends owning it.
int RunChild(const char *arguments)
{
    char what[32] = "";
    char name[64] = "";
    if (sscanf(arguments, "%31s %63s", what, name) != 2)
        return 99;
    MSG message;
    if (strcmp(what, "peek") == 0) {
        PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);
        return PassGate(name) ? 6 : 98;
    }
    if (strcmp(what, "idle") == 0) {
        Touch(name, ".1");
        WaitForInputOnce();
        if (!PassGate(name))
            return 98;
        Touch(name, ".2");
        return 7;
    }
    if (strcmp(what, "busy") == 0) {
        Touch(name, ".1");
        return PassGate(name) ? 8 : 98;
    }
    if (strcmp(what, "quick") == 0) {
        Sleep(300);
        Touch(name, ".1");
        return 9;
    }
    if (strcmp(what, "hold") == 0) {
        char path[MAX_PATH];
        ScratchPath(path, name, ".dat");
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 97;
        WaitForInputOnce();
        bool passed = PassGate(name);
        CloseHandle(file);
        return passed ? 0 : 98;
    }
    if (strcmp(what, "abandon") == 0) {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
        return mutex && WaitForSingleObject(mutex, 5000) == WAIT_OBJECT_0 ? 0 : 96;
    }
    return 99;
}

}  // namespace conformance
