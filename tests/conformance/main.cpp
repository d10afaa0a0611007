// The conformance suite's runner: every part in turn, then one line with
// the counts ("conformance: N passed, N failed") and the Wine marks met.
// Started with "child ..." it plays the child a process check asked for.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "check.h"

namespace conformance {

namespace {
int g_passed = 0;
int g_failed = 0;
int g_marks = 0;
}  // namespace

void Check(bool condition, const char *file, int line, const char *format, ...)
{
    if (condition) {
        ++g_passed;
        return;
    }
    ++g_failed;
    const char *base = strrchr(file, '/');
    printf("%s:%d: check failed: ", base ? base + 1 : file, line);
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    printf("\n");
    fflush(stdout);
}

bool OnWine()
{
#ifdef _WIN32
    static int onWine = -1;
    if (onWine < 0) {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        onWine = ntdll && GetProcAddress(ntdll, "wine_get_version") ? 1 : 0;
    }
    return onWine == 1;
#else
    return false;
#endif
}

bool WineDiffers(const char *file, int line, const char *what)
{
    if (!OnWine())
        return false;
    ++g_marks;
    const char *base = strrchr(file, '/');
    printf("%s:%d: Wine differs from Windows 98: %s\n", base ? base + 1 : file, line, what);
    return true;
}

}  // namespace conformance

int main(int argc, char **argv)
{
    using namespace conformance;
    // The arguments as one text: WinExec on the stand-in hands them over
    // as one argument, Windows' start-up code splits them at blanks.
    char arguments[512] = "";
    for (int i = 1; i < argc; ++i) {
        if (strlen(arguments) + strlen(argv[i]) + 2 > sizeof arguments)
            return 2;
        if (i > 1)
            strcat(arguments, " ");
        strcat(arguments, argv[i]);
    }
    if (strncmp(arguments, "child ", 6) == 0)
        return RunChild(arguments + 6);
    setvbuf(stdout, nullptr, _IONBF, 0);
    const struct {
        const char *name;
        void (*run)();
    } parts[] = {
        {"registry", RegistryChecks}, {"profiles", ProfileChecks},     {"files", FileChecks},
        {"processes", ProcessChecks}, {"text order", TextOrderChecks}, {"windows", WindowChecks},
        {"dialogs", DialogChecks},    {"system", SystemChecks},
    };
    for (const auto &part : parts) {
        printf("conformance: %s\n", part.name);
        part.run();
    }
    printf("conformance: %d Wine marks\n", g_marks);
    printf("conformance: %d passed, %d failed\n", g_passed, g_failed);
    return g_failed ? 1 : 0;
}
