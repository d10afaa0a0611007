// A plain Win32 program that times the registry: value reads on an open key,
// writes whose data changes every time, and open+close of a key path. It is
// built twice, with MinGW for Wine and against the layer, so that the same
// loop measures both (scripts/bench-wine.sh).
//
//   win32_registry_loop reads|writes|opens [seconds]
//
// runs the figure's calls in rounds of 100 for about that long (default 0.5)
// and prints "<figure> <calls per second>" on standard output.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kKeyPath[] = "Software\\Orvane\\RegistryLoop\\Ports\\USB001";
const char kText[] = "USB/Sorrelink 640/X123456789";

double Seconds(const LARGE_INTEGER &from, const LARGE_INTEGER &to, const LARGE_INTEGER &frequency)
{
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool Prepare(HKEY *key)
{
    return RegCreateKeyA(HKEY_CURRENT_USER, kKeyPath, key) == ERROR_SUCCESS &&
           RegSetValueExA(*key, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE *>(kText), sizeof kText) ==
               ERROR_SUCCESS;
}

const long kRound = 100;

bool Reads(HKEY key, long)
{
    char buffer[64];
    for (long i = 0; i < kRound; ++i) {
        DWORD size = sizeof buffer;
        if (RegQueryValueExA(key, "PortName", NULL, NULL, reinterpret_cast<BYTE *>(buffer), &size) != ERROR_SUCCESS)
            return false;
    }
    return true;
}

// The data differs from the last write's every time: a store that skips
// writing unchanged bytes gains nothing here.
bool Writes(HKEY key, long done)
{
    for (long i = 0; i < kRound; ++i) {
        DWORD data = static_cast<DWORD>(done + i);
        if (RegSetValueExA(key, "Counter", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&data), sizeof data) !=
            ERROR_SUCCESS)
            return false;
    }
    return true;
}

bool Opens(HKEY, long)
{
    for (long i = 0; i < kRound; ++i) {
        HKEY key = NULL;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: win32_registry_loop reads|writes|opens [calls]\n");
        return 2;
    }
    const char *figure = argv[1];
    bool (*round)(HKEY, long) = NULL;
    if (strcmp(figure, "reads") == 0)
        round = Reads;
    else if (strcmp(figure, "writes") == 0)
        round = Writes;
    else if (strcmp(figure, "opens") == 0)
        round = Opens;
    double seconds = argc == 3 ? atof(argv[2]) : 0.5;
    if (!round || !(seconds > 0)) {
        fprintf(stderr, "win32_registry_loop: unknown figure or time\n");
        return 2;
    }
    HKEY key = NULL;
    if (!Prepare(&key)) {
        fprintf(stderr, "win32_registry_loop: cannot prepare the key\n");
        return 1;
    }
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    long calls = 0;
    bool ok = true;
    do {
        ok = round(key, calls);
        calls += kRound;
        QueryPerformanceCounter(&now);
    } while (ok && Seconds(start, now, frequency) < seconds);
    RegCloseKey(key);
    if (!ok) {
        fprintf(stderr, "win32_registry_loop: a registry call failed\n");
        return 1;
    }
    printf("%s %.0f\n", figure, static_cast<double>(calls) / Seconds(start, now, frequency));
    return 0;
}
