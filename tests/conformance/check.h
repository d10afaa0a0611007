// The conformance suite's checks, in the manner of Wine's ok() tests: one
// source built against the stand-in and with MinGW, run on the stand-in and
// under Wine. Outputs and the last error are seeded with kSeed before a
// call, so that a value the call did not write shows as such.
//
// Where Wine (an NT-flavoured Win32) is known to answer otherwise than
// Windows 98, the check asks WineDiffers() with the reason, in that one
// place, and checks Wine's answer in its branch. Every such question asked
// under Wine counts as a mark, and the run ends by telling how many it met.
#pragma once

#include <windows.h>

namespace conformance {

inline constexpr DWORD kSeed = 0xdeadbeef;

void Check(bool condition, const char *file, int line, const char *format, ...)
    __attribute__((format(printf, 4, 5)));

// True (and one more mark) when running under Wine: the caller then checks
// what Wine does instead of what Windows 98 does.
bool WineDiffers(const char *file, int line, const char *what);

bool OnWine();

// This program as the machine knows it: C:\WINDOWS\CONFORM.EXE.
inline constexpr const char *kProgram = "C:\\WINDOWS\\CONFORM.EXE";

// A scratch folder on drive C: that every run starts empty of its files.
inline constexpr const char *kScratch = "C:\\WINDOWS\\TEMP";

// The parts of the suite.
void RegistryChecks();
void ProfileChecks();
void FileChecks();
void ProcessChecks();
void TextOrderChecks();
void WindowChecks();
void DialogChecks();
void SystemChecks();

// What the program does when it is started as a child of the process
// checks ("child <what> <name>"); its exit code.
int RunChild(const char *arguments);

}  // namespace conformance

#define ok(condition, ...) conformance::Check((condition), __FILE__, __LINE__, __VA_ARGS__)
#define wine_differs(what) conformance::WineDiffers(__FILE__, __LINE__, what)
