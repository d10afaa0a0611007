// The Windows runtime's memory and string functions answer as the C
// library's do, including bytes from 0x80 up and overlapping moves.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "wincrt.h"

namespace {

const char *const kTexts[] = {"", "a", "aab", "aaab", "USB/Sorrelink 640/X1", "\xe4\xf6\xfc", "abc\xe4"};

// The offset a search answered, or -1 for NULL, so that results from two
// implementations compare.
long Offset(const char *base, const char *found)
{
    return found != nullptr ? found - base : -1;
}

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

TEST(WincrtString, SearchesAndComparisonsMatchTheCLibrary)
{
    for (const char *text : kTexts) {
        EXPECT_EQ(std::strlen(text), wincrt_test_strlen(text));
        for (int c : {0, int('a'), int('b'), int('/'), 0xe4, -28}) {
            EXPECT_EQ(Offset(text, std::strchr(text, c)), Offset(text, wincrt_test_strchr(text, c))) << text << c;
            EXPECT_EQ(Offset(text, (const char *)std::memchr(text, c, std::strlen(text) + 1)),
                      Offset(text, (const char *)wincrt_test_memchr(text, c, std::strlen(text) + 1)));
        }
        for (const char *other : kTexts) {
            EXPECT_EQ(Sign(std::strcmp(text, other)), Sign(wincrt_test_strcmp(text, other))) << text << other;
            for (size_t n : {0, 1, 3, 100})
                EXPECT_EQ(Sign(std::strncmp(text, other, n)), Sign(wincrt_test_strncmp(text, other, n)));
            EXPECT_EQ(Offset(text, std::strstr(text, other)), Offset(text, wincrt_test_strstr(text, other)))
                << text << " / " << other;
            EXPECT_EQ(Offset(text, std::strpbrk(text, other)), Offset(text, wincrt_test_strpbrk(text, other)));
            EXPECT_EQ(std::strspn(text, other), wincrt_test_strspn(text, other));
        }
    }
}

TEST(WincrtMemory, CopiesFillsAndMovesOverlappingRanges)
{
    char buffer[16] = "0123456789";
    EXPECT_EQ((void *)(buffer + 2), wincrt_test_memmove(buffer + 2, buffer, 5));
    EXPECT_STREQ("0101234789", buffer);
    wincrt_test_memmove(buffer, buffer + 3, 6);
    EXPECT_STREQ("1234784789", buffer);
    wincrt_test_memcpy(buffer + 1, "xy", 2);
    EXPECT_STREQ("1xy4784789", buffer);
    wincrt_test_memset(buffer + 8, 0xe4, 2);
    EXPECT_EQ(std::string("1xy47847\xe4\xe4"), buffer);
}

} // namespace
