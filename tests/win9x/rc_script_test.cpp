// The resource-script reader's arithmetic: numbers are 32 bits wide as the
// resource compiler takes them, and negation wraps around in 32 bits, the
// most negative number included (no signed overflow).
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

}  // namespace
