// REGEDIT4 text: parsing, formatting, and the round trip through a machine.
#include "regedit/regfile.h"
#include "regedit/registry_io.h"
#include "support/machine_fixture.h"

namespace {

using ovlsim::regfile::Parse;

std::vector<uint8_t> Bytes(std::string_view text, bool terminator)
{
    std::vector<uint8_t> bytes(text.begin(), text.end());
    if (terminator)
        bytes.push_back(0);
    return bytes;
}

TEST(RegFileParse, ReadsEveryKindOfValueAndDeletion)
{
    std::string error;
    auto file = Parse("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\A]\r\n"
                      "@=\"default\"\r\n\"Quote\"=\"say \\\"hi\\\" \\\\ there\"\r\n"
                      "\"Number\"=dword:0000002a\r\n\"Blob\"=hex:01,02,\\\r\n  ff\r\n"
                      "\"Expand\"=hex(2):41,00\r\n\"Gone\"=-\r\n; a comment\r\n[-HKEY_CURRENT_USER\\Old]\r\n",
                      &error);
    ASSERT_TRUE(file) << error;
    ASSERT_EQ(2u, file->keys.size());
    const auto &values = file->keys[0].values;
    ASSERT_EQ(6u, values.size());
    EXPECT_EQ("", values[0].name);
    EXPECT_EQ(Bytes("default", true), values[0].data);
    EXPECT_EQ(Bytes("say \"hi\" \\ there", true), values[1].data);
    EXPECT_EQ(REG_DWORD, values[2].type);
    EXPECT_EQ((std::vector<uint8_t>{42, 0, 0, 0}), values[2].data);
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 0xff}), values[3].data);
    EXPECT_EQ(REG_EXPAND_SZ, values[4].type);
    EXPECT_TRUE(values[5].remove);
    EXPECT_TRUE(file->keys[1].remove);
    EXPECT_EQ("HKEY_CURRENT_USER\\Old", file->keys[1].path);
}

TEST(RegFileParse, RefusesMalformedTextWithItsLineNumber)
{
    struct Case {
        const char *text;
        const char *lineAndReason;
    } cases[] = {
        {"[HKEY_LOCAL_MACHINE\\A]\n", "1: the file does not begin with REGEDIT4"},
        {"", "1: the file does not begin with REGEDIT4"},
        {"REGEDIT4\n\"a\"=\"b\"\n", "2: a value line comes before any [key] header"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=dword:123456789\n", "3: dword: needs 1 to 8 hex digits"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex:1,02\n", "3: a byte of two hex digits was expected"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"open\n", "3: the quoted text is not closed"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"x\\q\"\n", "3: unknown escape \\q"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"x\\\x01\"\n", "3: unknown escape \\?"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\\", "3: the quoted text is not closed"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n", "2: a key header must be [path]"},
        {"REGEDIT4\n[-HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"b\"\n", "3: values cannot follow a [-key] deletion"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\" \"b\"\n", "3: '=' was expected after the value name"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"b\" trailing\n", "3: text after the closing quote"},
    };
    for (const auto &c : cases) {
        std::string error;
        EXPECT_FALSE(Parse(c.text, &error)) << c.text;
        EXPECT_EQ(c.lineAndReason, error) << c.text;
    }
}

// The registry takes names as C strings: a NUL would cut a name short and
// the entry would land on another key or value.
TEST(RegFileParse, RefusesANulInAKeyOrValueNameAtItsLine)
{
    using namespace std::string_literals;
    const std::pair<std::string, const char *> cases[] = {
        {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\A\0B]\n\"a\"=\"b\"\n"s,
         "3: a key name cannot hold a NUL character"},
        {"REGEDIT4\n[-HKEY_LOCAL_MACHINE\\Software\\A\0B]\n"s, "2: a key name cannot hold a NUL character"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"ok\"=\"1\"\n\"n\0m\"=\"b\"\n"s,
         "4: a value name cannot hold a NUL character"},
    };
    for (const auto &[text, lineAndReason] : cases) {
        std::string error;
        EXPECT_FALSE(Parse(text, &error)) << lineAndReason;
        EXPECT_EQ(lineAndReason, error);
    }
    // A NUL in string data is kept whole: it is data, not a name.
    std::string error;
    auto file = Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"s\"=\"x\0y\"\n"s, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(Bytes("x\0y"s, true), file->keys[0].values[0].data);
}

TEST(RegFileFormat, WritesStringsDwordsAndHexAsTheEditorDoes)
{
    using ovlsim::regfile::FormatValue;
    EXPECT_EQ("\"Path\"=\"C:\\\\WINDOWS \\\"x\\\"\"\n", FormatValue("Path", REG_SZ, Bytes("C:\\WINDOWS \"x\"", true)));
    EXPECT_EQ("@=\"\"\n", FormatValue("", REG_SZ, Bytes("", true)));
    EXPECT_EQ("\"N\"=dword:0000002a\n", FormatValue("N", REG_DWORD, {42, 0, 0, 0}));
    // Data a string line cannot carry goes out as hex of its type.
    EXPECT_EQ("\"Raw\"=hex(1):61,62\n", FormatValue("Raw", REG_SZ, Bytes("ab", false)));
    EXPECT_EQ("\"Lines\"=hex(1):61,0a,62,00\n", FormatValue("Lines", REG_SZ, Bytes("a\nb", true)));
    EXPECT_EQ("\"Short\"=hex(4):01,02\n", FormatValue("Short", REG_DWORD, {1, 2}));
    EXPECT_EQ("\"Empty\"=hex:\n", FormatValue("Empty", REG_BINARY, {}));
    // Long hex data wraps with a backslash, and parses back whole.
    std::vector<uint8_t> big(100, 0xab);
    std::string line = FormatValue("Big", REG_BINARY, big);
    EXPECT_NE(std::string::npos, line.find("\\\n  "));
    std::string error;
    auto file = Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n" + line, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(big, file->keys[0].values[0].data);
}

class RegFileMachine : public ovltest::MachineTest {};

TEST_F(RegFileMachine, ExportThenImportOnAnotherMachineGivesTheSameRegistry)
{
    std::string error;
    auto file = Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Demo\\Inner]\n\"Text\"=\"a\\\\b\"\n"
                      "\"Raw\"=hex(1):61\n\"N\"=dword:00000007\n\"Bin\"=hex:00,ff\n@=\"d\"\n"
                      "\"Two\\nlines\\r\"=\"x\"\n",
                      &error);
    ASSERT_TRUE(file) << error;
    ASSERT_TRUE(ovlsim::ImportFile(*file, &error)) << error;
    std::string first;
    ASSERT_TRUE(ovlsim::ExportKey("HKLM\\software\\demo", &first, &error)) << error;
    EXPECT_EQ(0u, first.find("[HKEY_LOCAL_MACHINE\\Software\\Demo]\n"));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Demo\\Inner", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Two\nlines\r", nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(key);

    Recreate(win9x::machine::WindowsVersion::Win98);
    auto again = Parse("REGEDIT4\n" + first, &error);
    ASSERT_TRUE(again) << error;
    ASSERT_TRUE(ovlsim::ImportFile(*again, &error)) << error;
    std::string second;
    ASSERT_TRUE(ovlsim::ExportKey("HKEY_LOCAL_MACHINE\\Software\\Demo", &second, &error));
    EXPECT_EQ(first, second);
}

// A read that fails anywhere fails the export with its reason: nothing is
// left out silently, and nothing is appended.
TEST_F(RegFileMachine, AnExportThatCannotReadEverythingFails)
{
    std::string error;
    auto file = Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\R]\n\"a\"=\"1\"\n\"m\"=\"2\"\n\"z\"=\"3\"\n"
                      "[HKEY_LOCAL_MACHINE\\Software\\R\\Sub]\n",
                      &error);
    ASSERT_TRUE(file && ovlsim::ImportFile(*file, &error)) << error;
    std::string whole;
    ASSERT_TRUE(ovlsim::ExportKey("HKLM\\Software\\R", &whole, &error)) << error;
    EXPECT_EQ("[HKEY_LOCAL_MACHINE\\Software\\R]\n\"a\"=\"1\"\n\"m\"=\"2\"\n\"z\"=\"3\"\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\R\\Sub]\n\n",
              whole);
    // Each read of the export fails in turn, until the export gets past the
    // last one: every failure is reported, and the output is all or nothing.
    for (const char *api : {"RegQueryInfoKeyA", "RegEnumValueA", "RegEnumKeyExA", "RegOpenKeyExA"}) {
        unsigned n = 1;
        for (;; ++n) {
            win9x::machine::FailNthCall(api, n, ERROR_REGISTRY_IO_FAILED);
            std::string text = "kept";
            error.clear();
            bool done = ovlsim::ExportKey("HKLM\\Software\\R", &text, &error);
            win9x::machine::ClearFaults();
            if (done) {
                EXPECT_EQ("kept" + whole, text) << api << " " << n;
                break;
            }
            EXPECT_NE(std::string::npos, error.find("(error 1016)")) << api << " " << n << ": " << error;
            EXPECT_EQ("kept", text) << api << " " << n;
        }
        EXPECT_GT(n, 1u) << api;
    }
}

// What the registry refuses (a name over 255 characters, data over 16,300
// bytes, a key name with a control character) fails the import with the
// line of the entry and the registry's error; nothing is applied.
TEST_F(RegFileMachine, EntriesTheRegistryRefusesFailTheImportAtTheirLine)
{
    const std::string head = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Fine]\n\"a\"=\"1\"\n";
    const std::string longName(20000, 'n');
    std::string big = "hex:00";
    for (int i = 0; i < 16300; ++i)
        big += ",00";
    struct Case {
        std::string tail;
        const char *lineAndReason;
    } cases[] = {
        {"\"" + longName + "\"=\"x\"\n\"z\"=\"2\"\n", "4: cannot write value \"nnnn"},
        {"\"big\"=" + big + "\n", "4: cannot write value \"big\" (error 87)"},
        {"[HKEY_LOCAL_MACHINE\\Software\\" + std::string(256, 'k') + "]\n", "4: cannot create [HKEY_LOCAL"},
        {"[HKEY_LOCAL_MACHINE\\Software\\Tab\there]\n", "4: cannot create [HKEY_LOCAL_MACHINE\\Software\\Tab?here] (error 87)"},
    };
    for (const auto &c : cases) {
        std::string error;
        auto file = Parse(head + c.tail, &error);
        ASSERT_TRUE(file) << error;
        EXPECT_FALSE(ovlsim::ImportFile(*file, &error));
        EXPECT_EQ(0u, error.find(c.lineAndReason)) << error.substr(0, 100);
        EXPECT_NE(std::string::npos, error.find("(error 87)")) << error.substr(0, 100);
        EXPECT_LT(error.size(), 200u);
        std::string text;
        EXPECT_FALSE(ovlsim::ExportKey("HKLM\\Software\\Fine", &text, &error));
    }
}

TEST_F(RegFileMachine, AFileThatFailsHalfWayAppliesNothing)
{
    std::string error;
    // The second key cannot be created: its root is unknown.
    auto file = Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\First]\n\"a\"=\"b\"\n[HKEY_NOWHERE\\X]\n", &error);
    ASSERT_TRUE(file) << error;
    EXPECT_FALSE(ovlsim::ImportFile(*file, &error));
    EXPECT_NE(std::string::npos, error.find("HKEY_NOWHERE"));
    HKEY key = reinterpret_cast<HKEY>(0xdeadbeef);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\First", 0, KEY_READ, &key));
    EXPECT_EQ(nullptr, key);
}

TEST_F(RegFileMachine, DeletionLinesRemoveKeysAndValues)
{
    std::string error;
    auto setup = Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\T\\Sub]\n\"keep\"=\"1\"\n\"drop\"=\"2\"\n", &error);
    ASSERT_TRUE(setup && ovlsim::ImportFile(*setup, &error)) << error;
    auto removal = Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\T\\Sub]\n\"drop\"=-\n\"never\"=-\n"
                         "[-HKEY_LOCAL_MACHINE\\Software\\Missing]\n",
                         &error);
    ASSERT_TRUE(removal && ovlsim::ImportFile(*removal, &error)) << error;
    std::string text;
    ASSERT_TRUE(ovlsim::ExportKey("HKLM\\Software\\T\\Sub", &text, &error));
    EXPECT_NE(std::string::npos, text.find("\"keep\""));
    EXPECT_EQ(std::string::npos, text.find("\"drop\""));
    auto whole = Parse("REGEDIT4\n[-HKEY_LOCAL_MACHINE\\Software\\T]\n", &error);
    ASSERT_TRUE(whole && ovlsim::ImportFile(*whole, &error)) << error;
    EXPECT_FALSE(ovlsim::ExportKey("HKLM\\Software\\T", &text, &error));
}

}  // namespace
