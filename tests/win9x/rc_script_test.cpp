// The resource-script reader: numbers are 32 bits wide as the resource
// compiler takes them, and negation wraps around in 32 bits, the most
// negative number included (no signed overflow); includes nest, but a file
// that includes itself is refused rather than followed without end.
#include <gtest/gtest.h>

#include "user32/rc_script.h"

namespace {

TEST(RcScript, NegationWrapsAroundInThirtyTwoBits)
{
    std::string error;
    auto script = win9x::resources::ParseRcScript("#define MOST -9223372036854775808\n"
                                                  "#define LOW32 -2147483648\n#define ONE 1\n"
                                                  "7 DIALOG 0, 0, -ONE, 10\nSTYLE -MOST | -LOW32\nBEGIN\n"
                                                  "CONTROL \"\", 1, \"Static\", NOT -ONE, 0, 0, 1, 1\nEND\n",
                                                  nullptr, &error);
    ASSERT_TRUE(script) << error;
    const auto &dialog = script->dialogs.at(7);
    EXPECT_EQ(-1, dialog.rect.right);
    EXPECT_EQ(0x80000000u, dialog.style);
    EXPECT_EQ(0u, dialog.controls.at(0).style);
}

TEST(RcScript, AFileThatIncludesItselfIsRefused)
{
    const char loop[] = "#define DEEP 1\n#include \"loop.h\"\n";
    const char leaf[] = "#define LEAF 5\n";
    const win9x::resources::EmbeddedFile files[] = {
        {"loop.h", reinterpret_cast<const unsigned char *>(loop), sizeof loop - 1},
        {"leaf.h", reinterpret_cast<const unsigned char *>(leaf), sizeof leaf - 1},
        {nullptr, nullptr, 0},
    };
    std::string error;
    EXPECT_FALSE(win9x::resources::ParseRcScript("#include \"loop.h\"\n", files, &error));
    EXPECT_EQ("2: #include nested more than 32 deep", error);
    auto script = win9x::resources::ParseRcScript("#include \"leaf.h\"\n1 BITMAP \"x.bmp\"\nLEAF BITMAP \"y.bmp\"\n",
                                                  files, &error);
    ASSERT_TRUE(script) << error;
    EXPECT_EQ("y.bmp", script->bitmaps.at(5));
}

}  // namespace
