// The registry family against Windows 9x behaviour: outputs are seeded with
// 0xdeadbeef (or 'x' fill) so that what a call writes, and what it leaves
// alone, both show.
#include <dlfcn.h>
#include <sqlite3.h>

#include <cstring>
#include <string>
#include <vector>

#include "machine/registry_view.h"
#include "support/machine_fixture.h"

namespace {

constexpr DWORD kSeed = 0xdeadbeef;
const HKEY kSeedKey = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0xdeadbeef));

LONG SetText(HKEY key, const char *name, const char *text)
{
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                          static_cast<DWORD>(std::strlen(text) + 1));
}

// The text of a value, or "<error N>".
std::string ReadText(HKEY key, const char *name)
{
    char buffer[256];
    DWORD size = sizeof buffer;
    LONG r = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &size);
    if (r != ERROR_SUCCESS)
        return "<error " + std::to_string(r) + ">";
    return std::string(buffer, size ? size - 1 : 0);
}

bool KeyExists(HKEY parent, const char *path)
{
    HKEY key = nullptr;
    LONG r = RegOpenKeyExA(parent, path, 0, KEY_READ, &key);
    if (r == ERROR_SUCCESS)
        RegCloseKey(key);
    return r == ERROR_SUCCESS;
}

std::vector<std::string> SubkeyNames(HKEY key)
{
    std::vector<std::string> names;
    char name[256];
    DWORD size = sizeof name;
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++i) {
        names.emplace_back(name, size);
        size = sizeof name;
    }
    return names;
}

std::vector<std::string> ValueNames(HKEY key)
{
    std::vector<std::string> names;
    char name[256];
    DWORD size = sizeof name;
    for (DWORD i = 0; RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++i) {
        names.emplace_back(name, size);
        size = sizeof name;
    }
    return names;
}

using Names = std::vector<std::string>;

// Runs SQL on a database behind the layer's back, through a connection of
// its own on the SQLite the layer loaded; false when it could not.
bool ExecBehindTheLayer(const std::string &path, const char *sql)
{
    void *lib = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_NOLOAD);
    if (!lib)
        return false;
    auto open = reinterpret_cast<decltype(&sqlite3_open_v2)>(dlsym(lib, "sqlite3_open_v2"));
    auto exec = reinterpret_cast<decltype(&sqlite3_exec)>(dlsym(lib, "sqlite3_exec"));
    auto close = reinterpret_cast<decltype(&sqlite3_close)>(dlsym(lib, "sqlite3_close"));
    sqlite3 *db = nullptr;
    bool done = open && exec && close && open(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
                exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    if (close)
        close(db);
    dlclose(lib);
    return done;
}

// Every test works below HKLM\Software\Conformance of a fresh machine.
class Registry : public ovltest::MachineTest {
protected:
    void SetUp() override
    {
        MachineTest::SetUp();
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Conformance", &root_));
    }
    void TearDown() override
    {
        RegCloseKey(root_);
        MachineTest::TearDown();
    }
    HKEY Create(const char *path)
    {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyA(root_, path, &key)) << path;
        return key;
    }

    HKEY root_ = nullptr;
};

TEST_F(Registry, NewMachineHasVersionValues)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\microsoft\\windows\\currentversion", 0,
                                           KEY_ALL_ACCESS, &key));
    char text[64];
    DWORD size = sizeof text;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Version", nullptr, nullptr, (BYTE *)text, &size));
    EXPECT_STREQ("Windows 98", text);
    EXPECT_EQ(11u, size);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    for (const char *path : {"System\\CurrentControlSet\\Control\\Print\\Monitors",
                             "System\\CurrentControlSet\\Control\\Print\\Printers",
                             "System\\CurrentControlSet\\Control\\Print\\Ports"})
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, path)) << path;
}

TEST_F(Registry, MissingKeysAndValuesAreNotFound)
{
    SetLastError(kSeed);
    HKEY key = kSeedKey;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(root_, "Missing", 0, KEY_ALL_ACCESS, &key));
    EXPECT_EQ(nullptr, key);
    key = kSeedKey;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Missing\\Conformance", 0, KEY_ALL_ACCESS, &key));
    EXPECT_EQ(nullptr, key);
    key = kSeedKey;
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExA(kSeedKey, "Missing", 0, KEY_ALL_ACCESS, &key));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyExA(root_, "", 0, KEY_ALL_ACCESS, nullptr));

    // A missing value leaves every output as it was; so does a key without
    // a default value.
    DWORD type = kSeed, size = kSeed;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(root_, "Missing", nullptr, &type, nullptr, &size));
    EXPECT_EQ(kSeed, type);
    EXPECT_EQ(kSeed, size);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(root_, nullptr, nullptr, &type, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(root_, "Missing"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(root_, "Missing"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(root_, "Missing\\Deeper"));

    // The registry answers through its results alone.
    EXPECT_EQ(kSeed, GetLastError());
}

TEST_F(Registry, NullOrEmptySubkeyOpensTheKeyAgain)
{
    HKEY key = Create("Same");
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, "Name", "value"));
    HKEY again = kSeedKey, empty = kSeedKey;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key, nullptr, 0, KEY_READ, &again));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key, "", 0, KEY_READ, &empty));
    EXPECT_NE(key, again);
    EXPECT_NE(again, empty);
    // New handles: each outlives the one it was opened from.
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ("value", ReadText(again, "Name"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(again));
    EXPECT_EQ("value", ReadText(empty, "Name"));

    DWORD disposition = kSeed;
    HKEY created = kSeedKey;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(empty, "", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &created,
                              &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    EXPECT_NE(empty, created);
    EXPECT_EQ("value", ReadText(created, "Name"));
    RegCloseKey(created);
    RegCloseKey(empty);

    // A root opened without a subkey gives a handle of its own onto it.
    HKEY machine = kSeedKey;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &machine));
    EXPECT_NE(HKEY_LOCAL_MACHINE, machine);
    EXPECT_TRUE(KeyExists(machine, "Software\\Conformance\\Same"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(machine));
}

TEST_F(Registry, NamesIgnoreCaseAndKeepTheirFirstSpelling)
{
    HKEY key = Create("MixedCase\\SubKey");
    HKEY upper = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\CONFORMANCE\\mixedcase\\SUBKEY", 0,
                                           KEY_ALL_ACCESS, &upper));
    DWORD disposition = kSeed;
    HKEY created = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root_, "MIXEDCASE\\subkey", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &created, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    RegCloseKey(created);
    EXPECT_EQ(Names{"MixedCase"}, SubkeyNames(root_));

    ASSERT_EQ(ERROR_SUCCESS, SetText(key, "ValueName", "first"));
    EXPECT_EQ("first", ReadText(upper, "VALUENAME"));
    // Writing under another spelling replaces the value, which keeps its name.
    ASSERT_EQ(ERROR_SUCCESS, SetText(upper, "valuename", "second"));
    EXPECT_EQ(Names{"ValueName"}, ValueNames(key));
    EXPECT_EQ("second", ReadText(key, "ValueName"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "VALUENAME"));
    EXPECT_EQ(Names{}, ValueNames(key));

    RegCloseKey(key);
    RegCloseKey(upper);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(root_, "mixedCASE"));
    EXPECT_EQ(Names{}, SubkeyNames(root_));
}

TEST_F(Registry, CreateKeyReportsItsDisposition)
{
    auto create = [&](HKEY parent, const char *path, DWORD *disposition) {
        HKEY key = kSeedKey;
        LONG r = RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                 disposition);
        if (r == ERROR_SUCCESS)
            RegCloseKey(key);
        else
            EXPECT_EQ(nullptr, key);
        return r;
    };
    DWORD disposition = kSeed;
    EXPECT_EQ(ERROR_SUCCESS, create(root_, "One\\Two\\Three", &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    disposition = kSeed;
    EXPECT_EQ(ERROR_SUCCESS, create(root_, "One\\Two\\Three", &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    disposition = kSeed;
    EXPECT_EQ(ERROR_SUCCESS, create(root_, "One\\Two\\Four", &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    EXPECT_EQ(ERROR_SUCCESS, create(root_, "Five", nullptr));
    EXPECT_EQ((Names{"One", "Five"}), SubkeyNames(root_));

    // Failures create nothing and leave the disposition alone.
    disposition = kSeed;
    EXPECT_EQ(ERROR_INVALID_HANDLE, create(kSeedKey, "Six", &disposition));
    EXPECT_EQ(kSeed, disposition);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExA(root_, "Seven", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                       KEY_ALL_ACCESS, nullptr, nullptr, &disposition));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyA(root_, "Seven", nullptr));
    EXPECT_FALSE(KeyExists(root_, "Seven"));

    // HKEY_CLASSES_ROOT is HKLM\Software\Classes on Windows 9x.
    HKEY cls = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT, ".ovl", &cls));
    RegCloseKey(cls);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\.OVL"));
}

// What the Windows 9x registry cannot hold is refused whole: a key name
// over 255 characters or with a control character (anywhere in the path,
// nothing of the path is made), a value name over 255 characters, more
// than 16,300 bytes of data.
TEST_F(Registry, NamesAndDataBeyondTheLimitsAreRefused)
{
    const std::string longest(255, 'k');
    const std::string tooLong(256, 'k');
    HKEY key = kSeedKey;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyA(root_, ("New\\" + tooLong).c_str(), &key));
    EXPECT_EQ(nullptr, key);
    for (const char *bad : {"New\\X\nY", "New\\X\rY", "New\\Tab\t", "New\\Del\x7f"})
        EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyA(root_, bad, &key)) << bad;
    EXPECT_EQ(Names{}, SubkeyNames(root_));
    key = Create(longest.c_str());
    RegCloseKey(key);
    key = Create("High\xe9 \"[]\"");
    RegCloseKey(key);
    EXPECT_EQ((Names{longest, "High\xe9 \"[]\""}), SubkeyNames(root_));

    std::vector<BYTE> data(16300, 'd');
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, longest.c_str(), 0, REG_BINARY, data.data(), 16300));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueExA(root_, tooLong.c_str(), 0, REG_BINARY, data.data(), 1));
    data.push_back('d');
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueExA(root_, "big", 0, REG_BINARY, data.data(), 16301));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "line\nbreak", 0, REG_BINARY, data.data(), 1));
    EXPECT_EQ((Names{longest, "line\nbreak"}), ValueNames(root_));
}

TEST_F(Registry, QueryValueAtNeededSizeAndAround)
{
    const char text[] = "abcdef";  // 7 bytes with its terminator
    ASSERT_EQ(ERROR_SUCCESS, SetText(root_, "Text", text));
    DWORD type = kSeed, size = kSeed;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(root_, "Text", nullptr, &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(7u, size);

    for (DWORD capacity : {6u, 7u, 8u}) {
        SCOPED_TRACE(capacity);
        char buffer[16];
        std::memset(buffer, 'x', sizeof buffer);
        type = kSeed;
        size = capacity;
        LONG r = RegQueryValueExA(root_, "Text", nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size);
        EXPECT_EQ(7u, size);
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
        if (capacity < 7) {
            EXPECT_EQ(ERROR_MORE_DATA, r);
            EXPECT_EQ(std::string(16, 'x'), std::string(buffer, 16));
        } else {
            EXPECT_EQ(ERROR_SUCCESS, r);
            EXPECT_EQ(0, std::memcmp(buffer, text, 7));
            EXPECT_EQ('x', buffer[7]);
        }
    }
    char buffer[16];
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegQueryValueExA(root_, "Text", nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), nullptr));
    type = kSeed;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(root_, "Text", nullptr, &type, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);

    // An empty value, the default value (NULL and "" alike) and a DWORD.
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "Empty", 0, REG_BINARY, nullptr, 0));
    size = kSeed;
    type = kSeed;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(root_, "Empty", nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueExA(root_, "NoData", 0, REG_BINARY, nullptr, 4));
    EXPECT_EQ(ERROR_SUCCESS, SetText(root_, nullptr, "default"));
    EXPECT_EQ("default", ReadText(root_, ""));
    const DWORD number = 0x12345678;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number),
                                            sizeof number));
    DWORD read = kSeed;
    size = sizeof read;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(root_, "Number", nullptr, &type, reinterpret_cast<BYTE *>(&read), &size));
    EXPECT_EQ(number, read);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ((Names{"Text", "Empty", "", "Number"}), ValueNames(root_));
}

TEST_F(Registry, EnumKeysInCreationOrderWithCutNames)
{
    HKEY parent = Create("Enum");
    for (const char *name : {"Zeta", "alpha", "Mid"})
        RegCloseKey(Create((std::string("Enum\\") + name).c_str()));
    EXPECT_EQ((Names{"Zeta", "alpha", "Mid"}), SubkeyNames(parent));

    // "Zeta" needs 5 characters with its terminator.
    for (DWORD capacity : {4u, 5u, 6u}) {
        SCOPED_TRACE(capacity);
        char name[8];
        std::memset(name, 'x', sizeof name);
        DWORD count = capacity;
        LONG r = RegEnumKeyExA(parent, 0, name, &count, nullptr, nullptr, nullptr, nullptr);
        if (capacity < 5) {
            EXPECT_EQ(ERROR_MORE_DATA, r);
            EXPECT_STREQ("Zet", name);
            EXPECT_EQ(3u, count);
        } else {
            EXPECT_EQ(ERROR_SUCCESS, r);
            EXPECT_STREQ("Zeta", name);
            EXPECT_EQ(4u, count);
        }
        EXPECT_EQ('x', name[capacity < 5 ? 4 : 5]);
    }
    char name[8] = "xxxxxxx";
    DWORD count = 0;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExA(parent, 0, name, &count, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ('x', name[0]);
    EXPECT_EQ(0u, count);

    // The class and time are reported empty.
    char cls[8];
    std::memset(cls, 'x', sizeof cls);
    DWORD clsCount = sizeof cls;
    FILETIME written{kSeed, kSeed};
    count = sizeof name;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExA(parent, 2, name, &count, nullptr, cls, &clsCount, &written));
    EXPECT_STREQ("Mid", name);
    EXPECT_EQ('\0', cls[0]);
    EXPECT_EQ(0u, clsCount);

    // The end, and no name buffer.
    std::memset(name, 'x', sizeof name);
    count = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExA(parent, 3, name, &count, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ('x', name[0]);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegEnumKeyExA(parent, 0, nullptr, &count, nullptr, nullptr, nullptr, nullptr));

    // A key made again goes to the end.
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(parent, "ALPHA"));
    RegCloseKey(Create("Enum\\Alpha"));
    EXPECT_EQ((Names{"Zeta", "Mid", "Alpha"}), SubkeyNames(parent));
    RegCloseKey(parent);
}

TEST_F(Registry, EnumValuesWithShortNameAndDataBuffers)
{
    HKEY key = Create("Values");
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, "First", "data1"));  // name needs 6, data 6
    const DWORD seven = 7;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Second", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&seven), 4));

    struct Result {
        LONG r;
        std::string name;
        DWORD nameCount, type, dataCount;
        std::string data;
    };
    auto enumerate = [&](DWORD index, DWORD nameCapacity, DWORD dataCapacity) {
        char name[16], data[16];
        std::memset(name, 'x', sizeof name);
        std::memset(data, 'x', sizeof data);
        Result out{0, "", nameCapacity, kSeed, dataCapacity, ""};
        out.r = RegEnumValueA(key, index, name, &out.nameCount, nullptr, &out.type, reinterpret_cast<BYTE *>(data),
                              &out.dataCount);
        out.name.assign(name, sizeof name);
        out.data.assign(data, sizeof data);
        return out;
    };
    // Name one short: cut and terminated, the data delivered all the same (Windows 9x).
    Result cut = enumerate(0, 5, 16);
    EXPECT_EQ(ERROR_MORE_DATA, cut.r);
    EXPECT_STREQ("Firs", cut.name.c_str());
    EXPECT_EQ(4u, cut.nameCount);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), cut.type);
    EXPECT_STREQ("data1", cut.data.c_str());
    EXPECT_EQ(6u, cut.dataCount);
    for (DWORD capacity : {6u, 7u}) {
        Result fits = enumerate(0, capacity, 16);
        EXPECT_EQ(ERROR_SUCCESS, fits.r) << capacity;
        EXPECT_STREQ("First", fits.name.c_str());
        EXPECT_EQ('x', fits.name[6]);
        EXPECT_EQ(5u, fits.nameCount);
    }
    // Data one short: not copied, its size reported; the name is whole.
    Result shortData = enumerate(0, 16, 5);
    EXPECT_EQ(ERROR_MORE_DATA, shortData.r);
    EXPECT_STREQ("First", shortData.name.c_str());
    EXPECT_EQ(5u, shortData.nameCount);
    EXPECT_EQ(6u, shortData.dataCount);
    EXPECT_EQ(std::string(16, 'x'), shortData.data);
    for (DWORD capacity : {6u, 7u}) {
        Result fits = enumerate(0, 16, capacity);
        EXPECT_EQ(ERROR_SUCCESS, fits.r) << capacity;
        EXPECT_STREQ("data1", fits.data.c_str());
        EXPECT_EQ('x', fits.data[6]);
        EXPECT_EQ(6u, fits.dataCount);
    }
    Result second = enumerate(1, 16, 16);
    EXPECT_EQ(ERROR_SUCCESS, second.r);
    EXPECT_EQ("Second", std::string(second.name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), second.type);
    EXPECT_EQ(4u, second.dataCount);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, enumerate(2, 16, 16).r);

    // Size alone, and the parameters that must be there.
    char name[16];
    DWORD nameCount = sizeof name, dataCount = kSeed;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumValueA(key, 0, name, &nameCount, nullptr, nullptr, nullptr, &dataCount));
    EXPECT_EQ(6u, dataCount);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegEnumValueA(key, 0, nullptr, &nameCount, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegEnumValueA(key, 0, name, &nameCount, nullptr, nullptr, reinterpret_cast<BYTE *>(name), nullptr));

    // A rewritten value keeps its place; one written anew goes to the end.
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, "First", "changed"));
    EXPECT_EQ((Names{"First", "Second"}), ValueNames(key));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "First"));
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, "First", "again"));
    EXPECT_EQ((Names{"Second", "First"}), ValueNames(key));
    RegCloseKey(key);
}

TEST_F(Registry, QueryInfoKeyCountsAndSizes)
{
    HKEY key = Create("Info");
    DWORD subkeys = kSeed, maxSubkey = kSeed, maxClass = kSeed, values = kSeed, maxName = kSeed, maxData = kSeed,
          security = kSeed;
    char cls[8];
    std::memset(cls, 'x', sizeof cls);
    DWORD clsCount = sizeof cls;
    FILETIME written{kSeed, kSeed};
    auto query = [&] {
        return RegQueryInfoKeyA(key, cls, &clsCount, nullptr, &subkeys, &maxSubkey, &maxClass, &values, &maxName,
                                &maxData, &security, &written);
    };
    ASSERT_EQ(ERROR_SUCCESS, query());
    EXPECT_EQ('\0', cls[0]);
    EXPECT_EQ(0u, clsCount);
    EXPECT_EQ(0u, subkeys);
    EXPECT_EQ(0u, maxSubkey);
    EXPECT_EQ(0u, maxClass);
    EXPECT_EQ(0u, values);
    EXPECT_EQ(0u, maxName);
    EXPECT_EQ(0u, maxData);

    RegCloseKey(Create("Info\\a"));
    RegCloseKey(Create("Info\\LongerName\\AnEvenLongerGrandchild"));  // not a subkey of Info
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, "", "ab"));
    const BYTE blob[20] = {};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "ValueName11", 0, REG_BINARY, blob, sizeof blob));
    ASSERT_EQ(ERROR_SUCCESS, query());
    EXPECT_EQ(2u, subkeys);
    EXPECT_EQ(10u, maxSubkey);
    EXPECT_EQ(2u, values);
    EXPECT_EQ(11u, maxName);
    EXPECT_EQ(20u, maxData);
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryInfoKeyA(kSeedKey, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                                     nullptr, nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(key);
}

TEST_F(Registry, DeleteKeyTakesItsWholeSubtree)
{
    HKEY deep = Create("A\\B\\C");
    ASSERT_EQ(ERROR_SUCCESS, SetText(deep, "Deep", "value"));
    RegCloseKey(deep);
    RegCloseKey(Create("A\\D"));
    RegCloseKey(Create("E"));

    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyA(root_, nullptr));
    EXPECT_TRUE(KeyExists(root_, "A\\B\\C"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(root_, "A"));
    EXPECT_FALSE(KeyExists(root_, "A"));
    EXPECT_FALSE(KeyExists(root_, "A\\B\\C"));
    EXPECT_TRUE(KeyExists(root_, "E"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(root_, "A"));

    // Made again, the path is empty: nothing of the old subtree remains.
    deep = Create("A\\B\\C");
    DWORD subkeys = kSeed, values = kSeed;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(deep, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                              nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0u, subkeys);
    EXPECT_EQ(0u, values);
    RegCloseKey(deep);

    // A path deletes its last key; an empty subkey deletes the key itself.
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(root_, "A\\B"));
    EXPECT_TRUE(KeyExists(root_, "A"));
    EXPECT_FALSE(KeyExists(root_, "A\\B"));
    HKEY e = Create("E");
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(e, ""));
    EXPECT_FALSE(KeyExists(root_, "E"));
    RegCloseKey(e);

    // Roots stay.
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CLASSES_ROOT, ""));
    HKEY machine = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_ALL_ACCESS, &machine));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(machine, ""));
    RegCloseKey(machine);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Classes"));
}

TEST_F(Registry, HandlesOfDeletedKeysFailCleanly)
{
    HKEY inner = Create("Doomed\\Inner");
    ASSERT_EQ(ERROR_SUCCESS, SetText(inner, "Name", "value"));
    HKEY outer = Create("Doomed");
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(root_, "Doomed"));

    auto expectDeleted = [&](HKEY key) {
        char buffer[16];
        DWORD size = sizeof buffer, type = kSeed;
        EXPECT_EQ(ERROR_KEY_DELETED,
                  RegQueryValueExA(key, "Name", nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size));
        EXPECT_EQ(kSeed, type);
        EXPECT_EQ(ERROR_KEY_DELETED, SetText(key, "Name", "other"));
        EXPECT_EQ(ERROR_KEY_DELETED, RegDeleteValueA(key, "Name"));
        size = sizeof buffer;
        EXPECT_EQ(ERROR_KEY_DELETED, RegEnumKeyExA(key, 0, buffer, &size, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_KEY_DELETED, RegEnumValueA(key, 0, buffer, &size, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_KEY_DELETED, RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                      nullptr, nullptr, nullptr, nullptr, nullptr));
        HKEY child = kSeedKey;
        DWORD disposition = kSeed;
        EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyExA(key, "Child", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                     KEY_ALL_ACCESS, nullptr, &child, &disposition));
        EXPECT_EQ(nullptr, child);
        EXPECT_EQ(kSeed, disposition);
        child = kSeedKey;
        EXPECT_EQ(ERROR_KEY_DELETED, RegOpenKeyExA(key, nullptr, 0, KEY_READ, &child));
        EXPECT_EQ(nullptr, child);
        EXPECT_EQ(ERROR_KEY_DELETED, RegDeleteKeyA(key, ""));
    };
    expectDeleted(inner);
    expectDeleted(outer);

    // The same path made again is another key: the old handles stay dead.
    HKEY fresh = Create("Doomed\\Inner");
    expectDeleted(inner);
    EXPECT_EQ(Names{}, ValueNames(fresh));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(inner));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(outer));
    RegCloseKey(fresh);
}

TEST_F(Registry, ClosingKeys)
{
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(kSeedKey));
    HKEY key = Create("Close");
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, SetText(key, "Name", "value"));
    HKEY again = kSeedKey;
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExA(key, nullptr, 0, KEY_READ, &again));
    EXPECT_EQ(nullptr, again);
    // A new handle is never the value of a closed one.
    HKEY next = Create("Close");
    EXPECT_NE(key, next);
    RegCloseKey(next);

    for (HKEY predefined : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS, HKEY_CLASSES_ROOT})
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(predefined));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Conformance\\Close"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software"));
}

TEST_F(Registry, HandleOfAReplacedMachineIsRefused)
{
    HKEY old = Create("Old\\Key");
    Recreate(win9x::machine::WindowsVersion::Win98);
    // Fill the new machine's rows where the old handle's key was.
    HKEY replacement = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\New\\Key\\Deeper", &replacement));
    EXPECT_EQ(ERROR_INVALID_HANDLE, SetText(old, "Name", "value"));
    EXPECT_EQ(Names{}, ValueNames(replacement));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(old));
    RegCloseKey(replacement);
}

TEST_F(Registry, BatchIsAllOrNothing)
{
    // A batch that gives up keeps nothing; its calls saw their own work.
    HKEY made = nullptr;
    EXPECT_FALSE(win9x::machine::RegistryTransaction([&] {
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyA(root_, "Batch\\Inner", &made));
        EXPECT_EQ(ERROR_SUCCESS, SetText(made, "One", "1"));
        EXPECT_EQ(ERROR_SUCCESS, SetText(root_, "Top", "t"));
        EXPECT_EQ("1", ReadText(made, "One"));
        return false;
    }));
    EXPECT_FALSE(KeyExists(root_, "Batch"));
    EXPECT_EQ("<error 2>", ReadText(root_, "Top"));
    // Its handles see a deleted key, also once the key rows are used again.
    HKEY later = Create("Later\\Sub");
    EXPECT_EQ(ERROR_KEY_DELETED, SetText(made, "One", "1"));
    EXPECT_EQ(Names{}, ValueNames(later));
    RegCloseKey(later);
    RegCloseKey(made);

    EXPECT_TRUE(win9x::machine::RegistryTransaction([&] {
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyA(root_, "Batch\\Inner", &made));
        EXPECT_EQ(ERROR_SUCCESS, SetText(made, "One", "1"));
        EXPECT_EQ(ERROR_SUCCESS, SetText(root_, "Top", "t"));
        return true;
    }));
    EXPECT_EQ("1", ReadText(made, "One"));
    EXPECT_EQ("t", ReadText(root_, "Top"));
    RegCloseKey(made);

    // A call failing inside a batch fails the batch: neither write is kept.
    win9x::machine::FailNthCall("RegSetValueExA", 2, ERROR_REGISTRY_IO_FAILED);
    EXPECT_FALSE(win9x::machine::RegistryTransaction([&] {
        return SetText(root_, "First", "1") == ERROR_SUCCESS && SetText(root_, "Second", "2") == ERROR_SUCCESS;
    }));
    EXPECT_EQ((Names{"Top"}), ValueNames(root_));
}

TEST_F(Registry, InjectedFaultHitsExactlyTheArmedCall)
{
    win9x::machine::FailNthCall("RegSetValueExA", 2, ERROR_DISK_FULL);
    EXPECT_EQ(ERROR_SUCCESS, SetText(root_, "First", "1"));
    EXPECT_EQ(ERROR_DISK_FULL, SetText(root_, "Second", "2"));
    EXPECT_EQ(ERROR_SUCCESS, SetText(root_, "Third", "3"));
    EXPECT_EQ((Names{"First", "Third"}), ValueNames(root_));

    // The armed call fails whatever its arguments.
    win9x::machine::FailNthCall("RegQueryValueExA", 1, ERROR_ACCESS_DENIED);
    BYTE buffer[4];
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExA(root_, "First", nullptr, nullptr, buffer, nullptr));
    EXPECT_EQ("1", ReadText(root_, "First"));

    // RegCreateKeyA is a call of its own, not one of RegCreateKeyExA.
    win9x::machine::FailNthCall("RegCreateKeyExA", 1, ERROR_ACCESS_DENIED);
    HKEY key = kSeedKey;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyA(root_, "Short", &key));
    RegCloseKey(key);
    key = kSeedKey;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExA(root_, "Long", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                                   nullptr, &key, nullptr));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ((Names{"Short"}), SubkeyNames(root_));
}

TEST_F(Registry, UnreadableStoreIsAnErrorNotAMissingName)
{
    HKEY key = Create("Kept");
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, "Name", "value"));
    ASSERT_TRUE(ExecBehindTheLayer(MachineDir() + "/registry.db", "DROP TABLE reg_values"));
    DWORD size = kSeed;
    EXPECT_EQ(ERROR_REGISTRY_IO_FAILED, RegQueryValueExA(key, "Name", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(kSeed, size);
    char name[16];
    size = sizeof name;
    EXPECT_EQ(ERROR_REGISTRY_IO_FAILED, RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr));

    ASSERT_TRUE(ExecBehindTheLayer(MachineDir() + "/registry.db", "ALTER TABLE reg_keys RENAME TO gone"));
    HKEY opened = kSeedKey;
    EXPECT_EQ(ERROR_REGISTRY_IO_FAILED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &opened));
    EXPECT_EQ(nullptr, opened);
    size = sizeof name;
    EXPECT_EQ(ERROR_REGISTRY_IO_FAILED, RegEnumKeyExA(HKEY_LOCAL_MACHINE, 0, name, &size, nullptr, nullptr, nullptr,
                                                      nullptr));
    EXPECT_EQ(ERROR_REGISTRY_IO_FAILED, SetText(key, "Name", "other"));
    RegCloseKey(key);
}

}  // namespace

namespace {

// The machine the snapshot seam's writer works on; set by the test.
std::string g_seamMachine;
int g_seamWrites = 0;

// Runs once: another process deletes Software\Inv\A and makes A\B again in
// one batch, right where a read call has begun its transaction.
void CommitFromAnotherProcess()
{
    if (g_seamWrites++ > 0)
        return;
    win9x::registry::SetSnapshotSeam(nullptr);
    EXPECT_EQ(0, ovltest::RunProgram(g_seamMachine, {ovltest::TestProgram("registry_worker"), "recreate",
                                                     "Software\\Inv\\A", "B"}));
}

// A read call whose first steps the cache answers and whose rest the store
// answers sees one committed state, even when another process commits
// between the start of its read transaction and its first read. Inv\A\B
// exists in every committed state, so opening it never fails.
TEST_F(Registry, ACallReadsOneCommittedStateWhenAnotherProcessCommitsMidway)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Inv\\A\\B", &key));
    RegCloseKey(key);
    // The cache learns Software, Inv and A, but not B.
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Inv\\A", 0, KEY_READ, &key));
    RegCloseKey(key);
    g_seamMachine = MachineDir();
    g_seamWrites = 0;
    win9x::registry::SetSnapshotSeam(CommitFromAnotherProcess);
    key = kSeedKey;
    LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Inv\\A\\B", 0, KEY_READ, &key);
    win9x::registry::SetSnapshotSeam(nullptr);
    EXPECT_EQ(1, g_seamWrites) << "the read call never went to the store";
    EXPECT_EQ(ERROR_SUCCESS, r);
    if (r == ERROR_SUCCESS)
        RegCloseKey(key);
    // The next call sees the new state.
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Inv\\A\\B", 0, KEY_READ, &key));
    DWORD name = kSeed, size = sizeof name;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Name", nullptr, nullptr, reinterpret_cast<BYTE *>(&name), &size));
    EXPECT_EQ(2u, name);
    RegCloseKey(key);
}

}  // namespace
