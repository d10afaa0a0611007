// The Windows runtime's bounded formatter gives what the C library's
// snprintf gives for the conversions it knows, at every buffer size, and
// refuses the rest with -1 and an empty text.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "wincrt.h"

namespace {

template <typename... Args> void ExpectAsTheCLibrary(const char *format, Args... args)
{
    int whole = std::snprintf(nullptr, 0, format, args...);
    ASSERT_GE(whole, 0);
    for (size_t size = 0; size <= (size_t)whole + 1; size++) {
        char expected[96];
        char actual[96];
        std::memset(expected, '#', sizeof expected);
        std::memset(actual, '#', sizeof actual);
        int expectedLength = std::snprintf(expected, size, format, args...);
        int actualLength = wincrt_test_snprintf(actual, size, format, args...);
        EXPECT_EQ(expectedLength, actualLength) << format << " in " << size << " bytes";
        EXPECT_EQ(0, std::memcmp(expected, actual, sizeof actual)) << format << " in " << size << " bytes";
    }
}

template <typename... Args> void ExpectRefused(const char *format, Args... args)
{
    char text[32] = "untouched";
    EXPECT_EQ(-1, wincrt_test_snprintf(text, sizeof text, format, args...)) << format;
    EXPECT_STREQ("", text) << format;
}

TEST(WincrtFormat, KnownConversionsMatchTheCLibraryAtEveryBufferSize)
{
    ExpectAsTheCLibrary("%s%u", "PortName", 12u);
    ExpectAsTheCLibrary("%s%.8d.ex_", "C:\\Windows\\System\\", 4711);
    ExpectAsTheCLibrary("%s -action=%d -model=%s -serial=%s", "ovlcin00.exe", 64, "Sorrelink 640", "X1");
    ExpectAsTheCLibrary("%d %d %d %.8d %.3d", 0, -1, INT_MIN, INT_MAX, -7);
    ExpectAsTheCLibrary("%u %.0u|%.0d|%.12u", UINT_MAX, 0u, 0, 5u);
    ExpectAsTheCLibrary("100%% of %.3s%s", "paper", "");
    ExpectAsTheCLibrary("no directives at all, \xe4\xf6 included");
}

TEST(WincrtFormat, UnknownDirectivesAreRefusedWithAnEmptyText)
{
    ExpectRefused("%x", 1);
    ExpectRefused("%5d", 1);
    ExpectRefused("%ld", 1L);
    ExpectRefused("%-s", "a");
    ExpectRefused("%.5%");
    ExpectRefused("ends in %");
    ExpectRefused("%.99999999999d", 1);
}

} // namespace
