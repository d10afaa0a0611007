// A program's argument text: the command line without the program name,
// quoted or not, and without the blanks that follow it.
#include <gtest/gtest.h>

#include <string>

#include "wincrt.h"

namespace {

std::string Arguments(const char *commandLine)
{
    std::string line = commandLine;
    return wincrt::ArgumentText(line.data());
}

TEST(WincrtCommandLine, TheProgramNameAndTheBlanksAfterItAreSkipped)
{
    EXPECT_EQ("-action=2 -model=Sorrelink 640",
              Arguments("C:\\WINDOWS\\SYSTEM\\OVLCIN00.EXE -action=2 -model=Sorrelink 640"));
    EXPECT_EQ("-action=64", Arguments("\"C:\\Program Files\\ovlcin00.exe\" \t -action=64"));
    EXPECT_EQ("a  b ", Arguments("ovlcin00.exe\ta  b "));
    EXPECT_EQ("b c", Arguments("\"a\"b c"));
    EXPECT_EQ("", Arguments("usbcheck98.exe"));
    EXPECT_EQ("", Arguments("\"C:\\no closing quote -action=2"));
    EXPECT_EQ("", Arguments(""));
    EXPECT_EQ("", std::string(wincrt::ArgumentText(nullptr)));
}

TEST(WincrtCommandLine, BytesFromX80UpBelongToTheProgramName)
{
    EXPECT_EQ("-action=2", Arguments("C:\\PROGRA~1\\\xc4NDERN\x81\\OVLCIN00.EXE -action=2"));
}

} // namespace
