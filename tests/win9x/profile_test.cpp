// The profile (INI) functions on real files of the machine's drive C:.
#include <cstring>
#include <string>

#include "support/machine_fixture.h"

using ovltest::ReadHostFile;
using ovltest::WriteHostFile;

namespace {

class Profile : public ovltest::MachineTest {
protected:
    std::string WindowsFile(const char *name) const { return MachineDir() + "/drive_c/Windows/" + name; }

    // The section through a buffer of `size` bytes seeded with 'x': the
    // count returned and the bytes up to the seed that was not touched.
    std::string Section(const char *section, DWORD size, DWORD *count, const char *file = "wininit.ini")
    {
        std::string buffer(size + 8, 'x');
        SetLastError(0xdeadbeef);
        *count = GetPrivateProfileSectionA(section, buffer.data(), size, file);
        EXPECT_EQ('x', buffer[size]) << "written past the buffer";
        return buffer.substr(0, size);
    }

    std::string String(const char *section, const char *key, const char *def, DWORD size, DWORD *count,
                       const char *file = "test.ini")
    {
        std::string buffer(size + 8, 'x');
        *count = GetPrivateProfileStringA(section, key, def, buffer.data(), size, file);
        EXPECT_EQ('x', buffer[size]) << "written past the buffer";
        return buffer.substr(0, size);
    }
};

// A double-zero-terminated list as a std::string, both zeros included.
std::string List(std::initializer_list<const char *> items)
{
    std::string list;
    for (const char *item : items)
        list.append(item).push_back('\0');
    list.push_back('\0');
    return list;
}

TEST_F(Profile, NewFileInTheWindowsDirectoryWithCrLf)
{
    EXPECT_TRUE(WritePrivateProfileStringA("RENAME", "NUL", "C:\\WINDOWS\\SYSTEM\\ovlcin00.exe", "wininit.ini"));
    EXPECT_EQ("[RENAME]\r\nNUL=C:\\WINDOWS\\SYSTEM\\ovlcin00.exe\r\n", ReadHostFile(WindowsFile("wininit.ini")));
    // The same file by its full path, in another case.
    EXPECT_TRUE(WritePrivateProfileStringA("rename", "nul", "C:\\x", "c:\\windows\\WININIT.INI"));
    EXPECT_EQ("[RENAME]\r\nNUL=C:\\x\r\n", ReadHostFile(WindowsFile("wininit.ini")));
    // Deleting from a file that does not exist creates nothing.
    EXPECT_TRUE(WritePrivateProfileStringA("a", "b", nullptr, "none.ini"));
    EXPECT_TRUE(WritePrivateProfileStringA("a", nullptr, nullptr, "none.ini"));
    EXPECT_EQ("", ReadHostFile(WindowsFile("none.ini")));
    // A folder that does not exist.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WritePrivateProfileStringA("a", "b", "c", "C:\\NONE\\x.ini"));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    // Other folders than the Windows directory.
    EXPECT_TRUE(WritePrivateProfileStringA("a", "b", "c", "C:\\WINDOWS\\SYSTEM\\sys.ini"));
    EXPECT_EQ("[a]\r\nb=c\r\n", ReadHostFile(MachineDir() + "/drive_c/Windows/System/sys.ini"));
}

TEST_F(Profile, SectionWrittenWholeKeepsDuplicatesInOrder)
{
    WriteHostFile(WindowsFile("wininit.ini"), "[Other]\r\nkey=1\r\n\r\n[rename]\r\nNUL=C:\\a\r\n\r\n[Last]\r\nz=9\r\n");
    std::string image = List({"NUL=C:\\a", "NUL=C:\\a", "C:\\t.exe=C:\\00001234.ex_", "NUL=C:\\b"});
    EXPECT_TRUE(WritePrivateProfileSectionA("RENAME", image.c_str(), "wininit.ini"));
    EXPECT_EQ(
        "[Other]\r\nkey=1\r\n\r\n[rename]\r\nNUL=C:\\a\r\nNUL=C:\\a\r\nC:\\t.exe=C:\\00001234.ex_\r\nNUL=C:\\b\r\n"
        "\r\n[Last]\r\nz=9\r\n",
        ReadHostFile(WindowsFile("wininit.ini")));
    DWORD count = 0;
    EXPECT_EQ(image, Section("Rename", 100, &count).substr(0, image.size()));
    EXPECT_EQ(image.size() - 1, count);
    // The first of equal keys is the one read.
    char value[32];
    EXPECT_EQ(4u, GetPrivateProfileStringA("RENAME", "nul", "", value, sizeof value, "wininit.ini"));
    EXPECT_STREQ("C:\\a", value);

    // An empty image empties the section and keeps its header; a new
    // section goes at the end; a null image deletes the section.
    EXPECT_TRUE(WritePrivateProfileSectionA("Other", "\0", "wininit.ini"));
    EXPECT_EQ(0u, GetPrivateProfileSectionA("Other", value, sizeof value, "wininit.ini"));
    EXPECT_EQ(std::string(2, '\0'), std::string(value, 2));
    EXPECT_TRUE(WritePrivateProfileSectionA("New", List({"a=1"}).c_str(), "wininit.ini"));
    EXPECT_TRUE(WritePrivateProfileSectionA("Last", nullptr, "wininit.ini"));
    EXPECT_EQ("[Other]\r\n\r\n[rename]\r\nNUL=C:\\a\r\nNUL=C:\\a\r\nC:\\t.exe=C:\\00001234.ex_\r\nNUL=C:\\b\r\n"
              "\r\n[New]\r\na=1\r\n",
              ReadHostFile(WindowsFile("wininit.ini")));
    // A missing section, and a missing file, read as nothing.
    EXPECT_EQ(0u, GetPrivateProfileSectionA("none", value, sizeof value, "wininit.ini"));
    EXPECT_EQ(0u, GetPrivateProfileSectionA("RENAME", value, sizeof value, "none.ini"));
    EXPECT_EQ(std::string(2, '\0'), std::string(value, 2));
}

TEST_F(Profile, SectionCutAtTheBufferSize)
{
    WriteHostFile(WindowsFile("wininit.ini"), "[RENAME]\r\nNUL=C:\\one\r\nNUL=C:\\two\r\n");
    std::string whole = List({"NUL=C:\\one", "NUL=C:\\two"});
    DWORD needed = static_cast<DWORD>(whole.size());  // 23 with the closing zero
    DWORD count = 0;
    EXPECT_EQ(whole, Section("RENAME", needed + 1, &count).substr(0, needed));
    EXPECT_EQ(needed - 1, count);
    EXPECT_EQ(whole, Section("RENAME", needed, &count));
    EXPECT_EQ(needed - 1, count);
    // One short: the last entry loses a character and two zeros end it.
    EXPECT_EQ(std::string("NUL=C:\\one\0NUL=C:\\tw\0\0", 22), Section("RENAME", needed - 1, &count));
    EXPECT_EQ(needed - 3, count);
    EXPECT_EQ(std::string("NUL=C\0\0", 7), Section("RENAME", 7, &count));
    EXPECT_EQ(5u, count);
    EXPECT_EQ(std::string("\0", 1), Section("RENAME", 1, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ("", Section("RENAME", 0, &count));
    EXPECT_EQ(0u, count);
}

TEST_F(Profile, StringsAndNameLists)
{
    WriteHostFile(WindowsFile("test.ini"),
                  "; leading comment\n[Ports]\nLPT1:=\n  Com1: = 9600,n,8,1  \n; comment=ignored\n\n"
                  "bare\n[Devices]\nPrinter=winspool,LPT1:\n[ports]\nlater=ignored\n");
    DWORD count = 0;
    // Values: found without regard to case, blanks trimmed.
    EXPECT_EQ(std::string("9600,n,8,1\0", 11), String("PORTS", "com1:", "def", 11, &count));
    EXPECT_EQ(10u, count);
    // Cut at size-1, size-1 returned.
    EXPECT_EQ(std::string("9600,n,8,\0", 10), String("PORTS", "com1:", "def", 10, &count));
    EXPECT_EQ(9u, count);
    EXPECT_EQ(std::string("\0", 1), String("PORTS", "com1:", "def", 1, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(std::string("\0", 1), String("Ports", "LPT1:", "def", 8, &count).substr(0, 1));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(std::string("\0", 1), String("Ports", "bare", "def", 8, &count).substr(0, 1));
    // Missing keys, comments and sections give the default, without its
    // trailing blanks; a null default is empty.
    EXPECT_EQ(std::string("def\0", 4), String("Ports", "later", "def  ", 8, &count).substr(0, 4));
    EXPECT_EQ(3u, count);
    EXPECT_EQ(std::string("def\0", 4), String("Ports", "; comment", "def", 8, &count).substr(0, 4));
    EXPECT_EQ(std::string("\0", 1), String("None", "x", nullptr, 8, &count).substr(0, 1));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(std::string("de\0", 3), String("None", "x", "default", 3, &count));
    EXPECT_EQ(2u, count);
    EXPECT_EQ(std::string("def\0", 4), String("Ports", "Com1:", "def", 8, &count, "none.ini").substr(0, 4));

    // Key names, then section names: lists with the section rules.
    std::string keys = List({"LPT1:", "Com1:", "bare"});
    EXPECT_EQ(keys, String("ports", nullptr, "def", 40, &count).substr(0, keys.size()));
    EXPECT_EQ(keys.size() - 1, count);
    EXPECT_EQ(std::string("LPT1:\0Com1:\0ba\0\0", 16), String("ports", nullptr, "def", 16, &count));
    EXPECT_EQ(14u, count);
    std::string sections = List({"Ports", "Devices"});
    EXPECT_EQ(sections, String(nullptr, nullptr, "def", static_cast<DWORD>(sections.size()), &count));
    EXPECT_EQ(sections.size() - 1, count);
    EXPECT_EQ(std::string("Ports\0Devic\0\0", 13), String(nullptr, "key", "def", 13, &count));
    EXPECT_EQ(11u, count);
    EXPECT_EQ(std::string(2, '\0'), String("None", nullptr, "def", 8, &count).substr(0, 2));
    EXPECT_EQ(0u, count);

    // The section read leaves out comments and blank lines.
    std::string entries = List({"LPT1:=", "Com1:=9600,n,8,1", "bare"});
    char buffer[64];
    EXPECT_EQ(entries.size() - 1, GetPrivateProfileSectionA("ports", buffer, sizeof buffer, "test.ini"));
    EXPECT_EQ(entries, std::string(buffer, entries.size()));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, GetPrivateProfileStringA("Ports", "Com1:", "def", nullptr, 8, "test.ini"));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

TEST_F(Profile, ChangesKeepTheRestOfTheFile)
{
    WriteHostFile(WindowsFile("test.ini"), "top=1\n[A]\n; about a\nx=1\nX=2\n\n[B]\ny=1\n");
    // A key changes in place and keeps its spelling; a new key goes to the
    // end of its section, in front of the blank line; a new section at the end.
    EXPECT_TRUE(WritePrivateProfileStringA("a", "X", "one", "test.ini"));
    EXPECT_TRUE(WritePrivateProfileStringA("a", "z", "3", "test.ini"));
    EXPECT_TRUE(WritePrivateProfileStringA("C", "w", "", "test.ini"));
    EXPECT_EQ("top=1\r\n[A]\r\n; about a\r\nx=one\r\nX=2\r\nz=3\r\n\r\n[B]\r\ny=1\r\n[C]\r\nw=\r\n",
              ReadHostFile(WindowsFile("test.ini")));
    // A null value deletes the first such key, a null key the section.
    EXPECT_TRUE(WritePrivateProfileStringA("A", "x", nullptr, "test.ini"));
    EXPECT_TRUE(WritePrivateProfileStringA("b", nullptr, nullptr, "test.ini"));
    EXPECT_TRUE(WritePrivateProfileStringA("b", nullptr, nullptr, "test.ini"));
    EXPECT_EQ("top=1\r\n[A]\r\n; about a\r\nX=2\r\nz=3\r\n\r\n[C]\r\nw=\r\n", ReadHostFile(WindowsFile("test.ini")));
    char value[8];
    EXPECT_EQ(1u, GetPrivateProfileStringA("A", "x", "", value, sizeof value, "test.ini"));
    EXPECT_STREQ("2", value);
    // Nothing to flush: all null succeeds; a key without a section does not.
    EXPECT_TRUE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, "test.ini"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "x", "1", "test.ini"));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

TEST_F(Profile, TextsThatWouldBreakTheFileAreRefused)
{
    const std::string before = "[A]\r\nx=1\r\n";
    WriteHostFile(WindowsFile("test.ini"), before);
    struct {
        const char *section, *key, *value;
    } refused[] = {{"A", "x", "1\r\n[B]"}, {"A", "k=v", "1"}, {"A", "[B]", "1"}, {"A", ";c", "1"},
                   {"A]", "x", "1"},       {"A\n", "x", "1"}, {"A", "x\n", "1"}};
    for (const auto &r : refused) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(WritePrivateProfileStringA(r.section, r.key, r.value, "test.ini")) << r.key;
        EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError()) << r.key;
    }
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WritePrivateProfileSectionA("A", List({"y=1", "[B]"}).c_str(), "test.ini"));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_FALSE(WritePrivateProfileSectionA("A", List({"y=1\r\nz=2"}).c_str(), "test.ini"));
    EXPECT_EQ(before, ReadHostFile(WindowsFile("test.ini")));
}

TEST_F(Profile, ReadOnlyFileIsNotChanged)
{
    WriteHostFile(WindowsFile("test.ini"), "[A]\r\nx=1\r\n");
    ASSERT_TRUE(SetFileAttributesA("C:\\WINDOWS\\TEST.INI", FILE_ATTRIBUTE_READONLY));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WritePrivateProfileStringA("A", "x", "2", "test.ini"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WritePrivateProfileSectionA("A", List({"x=2"}).c_str(), "test.ini"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ("[A]\r\nx=1\r\n", ReadHostFile(WindowsFile("test.ini")));
    // The attributes stay with the file across a rewrite.
    ASSERT_TRUE(SetFileAttributesA("C:\\WINDOWS\\TEST.INI", FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(WritePrivateProfileStringA("A", "x", "2", "test.ini"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_HIDDEN), GetFileAttributesA("C:\\WINDOWS\\TEST.INI"));
}

TEST_F(Profile, AppendingToTheRenameSection)
{
    // The way entries are added behind the existing ones: read the image,
    // put the entry over the closing zero, write the image back.
    WriteHostFile(WindowsFile("wininit.ini"), "[RENAME]\nNUL=C:\\WINDOWS\\SYSTEM\\ovlcin00.exe\n");
    char buffer[0x7FFF + 300];
    DWORD count = GetPrivateProfileSectionA("RENAME", buffer, 0x7FFF, "wininit.ini");
    ASSERT_EQ(std::strlen("NUL=C:\\WINDOWS\\SYSTEM\\ovlcin00.exe") + 1, count);
    const char entry[] = "NUL=C:\\WINDOWS\\SYSTEM\\ovlcin00.exe";
    std::memcpy(buffer + count, entry, sizeof entry);
    buffer[count + sizeof entry] = '\0';
    EXPECT_TRUE(WritePrivateProfileSectionA("RENAME", buffer, "wininit.ini"));
    EXPECT_EQ("[RENAME]\r\nNUL=C:\\WINDOWS\\SYSTEM\\ovlcin00.exe\r\nNUL=C:\\WINDOWS\\SYSTEM\\ovlcin00.exe\r\n",
              ReadHostFile(WindowsFile("wininit.ini")));
}

}  // namespace
