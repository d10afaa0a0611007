// Loading modules from drive C:: a library cut short is refused as a bad
// image, never mapped beyond its end.
#include <filesystem>

#include "support/machine_fixture.h"

namespace {

class Modules : public ovltest::MachineTest {
protected:
    // Places the first `bytes` of a host library on drive C: (all of it for 0).
    void PlaceLibrary(const char *windowsPath, size_t bytes)
    {
        std::string content = ovltest::ReadHostFile(ovltest::TestProgram("ovlpom00.dll"));
        ASSERT_GT(content.size(), 1000u);
        if (bytes)
            content.resize(bytes);
        ovltest::WriteHostFile(MachineDir() + "/drive_c/Windows/System/" + windowsPath, content);
    }
};

TEST_F(Modules, ALibraryCutShortIsABadImage)
{
    const std::string whole = ovltest::ReadHostFile(ovltest::TestProgram("ovlpom00.dll"));
    for (size_t bytes : {size_t{1000}, whole.size() / 2, whole.size() - 1}) {
        SCOPED_TRACE(bytes);
        PlaceLibrary("cut.dll", bytes);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, LoadLibraryA("cut.dll"));
        EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), GetLastError());
        EXPECT_NE("", win9x::machine::ImageShortfall(HostPath("C:\\WINDOWS\\SYSTEM\\cut.dll")));
    }
    // Not a library at all: refused by the loader, as before.
    ovltest::WriteHostFile(MachineDir() + "/drive_c/Windows/System/text.dll", "not a library\n");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, LoadLibraryA("text.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), GetLastError());

    PlaceLibrary("whole.dll", 0);
    EXPECT_EQ("", win9x::machine::ImageShortfall(HostPath("C:\\WINDOWS\\SYSTEM\\whole.dll")));
    HMODULE module = LoadLibraryA("whole.dll");
    ASSERT_NE(nullptr, module);
    EXPECT_TRUE(FreeLibrary(module));
}

}  // namespace
