// The REGEDIT4 writer as a round trip: a registry subtree built from the
// input through the registry functions (whatever names, types and data
// they accept) is exported; the export must read back, and importing it
// into the emptied registry must give the very registry it came from, as
// the registry functions read it, and the same export again.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_machine.h"
#include "regedit/regfile.h"
#include "regedit/registry_io.h"

namespace {

constexpr const char *kRoot = "Software\\Fuzz";
constexpr const char *kRootPath = "HKEY_CURRENT_USER\\Software\\Fuzz";

void Check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_regedit_roundtrip: %s\n", what);
        std::abort();
    }
}

// One key as the registry functions read it: its values in order, then its
// subkeys in order.
struct Value {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
    bool operator==(const Value &) const = default;
};
struct Key {
    std::string name;
    std::vector<Value> values;
    std::vector<Key> subkeys;
    bool operator==(const Key &) const = default;
};

Key Read(HKEY key, const std::string &name)
{
    Key read{name, {}, {}};
    for (DWORD i = 0;; ++i) {
        char valueName[1024];
        DWORD nameSize = sizeof valueName;
        std::vector<BYTE> data(20000);
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LONG r = RegEnumValueA(key, i, valueName, &nameSize, nullptr, &type, data.data(), &dataSize);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        Check(r == ERROR_SUCCESS, "every value can be read");
        data.resize(dataSize);
        read.values.push_back({std::string(valueName, nameSize), type, data});
    }
    for (DWORD i = 0;; ++i) {
        char subkey[1024];
        DWORD size = sizeof subkey;
        LONG r = RegEnumKeyExA(key, i, subkey, &size, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        Check(r == ERROR_SUCCESS, "every subkey can be read");
        HKEY child = nullptr;
        Check(RegOpenKeyExA(key, subkey, 0, KEY_READ, &child) == ERROR_SUCCESS, "every subkey opens");
        read.subkeys.push_back(Read(child, std::string(subkey, size)));
        RegCloseKey(child);
    }
    return read;
}

Key ReadRoot()
{
    HKEY key = nullptr;
    Check(RegOpenKeyExA(HKEY_CURRENT_USER, kRoot, 0, KEY_READ, &key) == ERROR_SUCCESS, "the root opens");
    Key read = Read(key, kRoot);
    RegCloseKey(key);
    return read;
}

// Builds a subtree from the input: keys below keys made before, values with
// any name, type and data; the registry refuses what it refuses.
void Build(FuzzedDataProvider &input)
{
    std::vector<std::string> keys{kRoot};
    while (input.remaining_bytes() > 0 && keys.size() < 24) {
        const std::string &parent = keys[input.ConsumeIntegralInRange<size_t>(0, keys.size() - 1)];
        std::string name = input.ConsumeRandomLengthString(300);
        HKEY key = nullptr;
        switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0:
            if (RegCreateKeyA(HKEY_CURRENT_USER, (parent + "\\" + name).c_str(), &key) == ERROR_SUCCESS) {
                RegCloseKey(key);
                keys.push_back(parent + "\\" + name);
            }
            break;
        case 1:
            RegDeleteKeyA(HKEY_CURRENT_USER, (parent + "\\" + name).c_str());
            break;
        default: {
            DWORD type = input.ConsumeBool() ? input.ConsumeIntegralInRange<DWORD>(0, 11) : input.ConsumeIntegral<DWORD>();
            std::vector<BYTE> data = input.ConsumeBytes<BYTE>(input.ConsumeIntegralInRange<size_t>(0, 17000));
            if (RegOpenKeyExA(HKEY_CURRENT_USER, parent.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
                RegSetValueExA(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
                RegCloseKey(key);
            }
            break;
        }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzing::OpenFreshMachine();
    RegDeleteKeyA(HKEY_CURRENT_USER, kRoot);
    HKEY root = nullptr;
    Check(RegCreateKeyA(HKEY_CURRENT_USER, kRoot, &root) == ERROR_SUCCESS, "the root is made");
    RegCloseKey(root);
    FuzzedDataProvider input(data, size);
    Build(input);
    // A deletion with an empty name deletes its parent, the root included.
    Check(RegCreateKeyA(HKEY_CURRENT_USER, kRoot, &root) == ERROR_SUCCESS, "the root is there");
    RegCloseKey(root);

    // Whatever the registry holds there, it is exported whole.
    Key before = ReadRoot();
    std::string exported, error;
    Check(ovlsim::ExportKey(kRootPath, &exported, &error), "the subtree exports");
    auto file = ovlsim::regfile::Parse(std::string(ovlsim::regfile::kSignature) + "\n" + exported, &error);
    Check(file.has_value(), "the export reads back");

    Check(RegDeleteKeyA(HKEY_CURRENT_USER, kRoot) == ERROR_SUCCESS, "the subtree is deleted");
    Check(ovlsim::ImportFile(*file, &error), "the export imports");
    Check(ReadRoot() == before, "the import gives the registry the export came from");
    std::string again;
    Check(ovlsim::ExportKey(kRootPath, &again, &error) && again == exported, "the export is the same again");
    return 0;
}
