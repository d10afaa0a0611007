// The profile (INI) reader on any file: the profile functions read it into
// buffers of every size without writing a byte past them, cut lists and
// values as Windows does, and a write of one key changes that key's line
// (or adds it) and no other line of the file.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_machine.h"
#include "kernel32/ini_file.h"

namespace {

using win9x::layer::IniFile;

constexpr const char *kFile = "C:\\WINDOWS\\FUZZ.INI";

void Check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_profile: %s\n", what);
        std::abort();
    }
}

std::string HostFile()
{
    static std::string host;
    if (host.empty()) {
        fuzzing::OpenFreshMachine();
        Check(WritePrivateProfileStringA("s", "k", "v", kFile), "the file is made");
        host = win9x::machine::HostPath(kFile);
    }
    return host;
}

std::string ReadHost(const std::string &host)
{
    std::ifstream in(host, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The lines of a file as the profile functions see them.
std::vector<std::string> Lines(const std::string &text)
{
    std::string serialized = IniFile::Parse(text).Serialize();
    std::vector<std::string> lines;
    for (size_t start = 0; start < serialized.size();) {
        size_t end = serialized.find("\r\n", start);
        lines.push_back(serialized.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The list a buffer of `size` bytes receives, as Windows fills it: the texts
// each ended by a zero byte, then one more; cut to size - 2 bytes and two
// zero bytes when it does not fit.
void CheckList(const std::vector<std::string> &items, const char *buffer, DWORD size, DWORD count)
{
    std::string flat;
    for (const auto &item : items) {
        if (!item.empty())
            flat.append(item).push_back('\0');
    }
    if (size < 2) {
        Check(count == 0 && (size == 0 || buffer[0] == '\0'), "a list in a buffer under 2 bytes");
        return;
    }
    if (flat.size() + 1 <= size) {
        Check(count == flat.size() && std::memcmp(buffer, flat.data(), flat.size()) == 0 &&
                  buffer[flat.size()] == '\0',
              "a list that fits comes whole");
        return;
    }
    Check(count == size - 2 && std::memcmp(buffer, flat.data(), size - 2) == 0 && buffer[size - 2] == '\0' &&
              buffer[size - 1] == '\0',
          "a list that does not fit is cut and ends in two zero bytes");
}

void CheckReads(const std::string &text, const std::string &section, const std::string &key, DWORD size)
{
    IniFile ini = IniFile::Parse(text);
    // Exactly `size` bytes, so that a byte written past them shows.
    char *buffer = static_cast<char *>(std::malloc(size));
    auto entries = ini.SectionEntries(section);
    DWORD count = GetPrivateProfileSectionA(section.c_str(), buffer, size, kFile);
    CheckList(entries ? *entries : std::vector<std::string>(), buffer, size, count);
    count = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, size, kFile);
    CheckList(ini.SectionNames(), buffer, size, count);
    count = GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer, size, kFile);
    CheckList(ini.KeyNames(section), buffer, size, count);
    if (size > 0) {
        std::string value = ini.Value(section, key).value_or("none");
        count = GetPrivateProfileStringA(section.c_str(), key.c_str(), "none", buffer, size, kFile);
        size_t cut = std::min<size_t>(value.size(), size - 1);
        Check(count == cut && value.compare(0, cut, buffer, cut) == 0 && buffer[cut] == '\0',
              "a value comes whole or cut at size - 1");
    }
    std::free(buffer);
}

// A write changes the key's line, adds one to its section, or adds the
// section with it at the end: every other line stays.
void CheckWrite(const std::string &text, const std::string &section, const std::string &key,
                const std::string &value)
{
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), kFile))
        return;
    std::string after = ReadHost(HostFile());
    std::vector<std::string> old = Lines(text);
    std::vector<std::string> now = Lines(after);
    size_t same = 0;
    while (same < old.size() && same < now.size() && old[same] == now[same])
        ++same;
    size_t tail = 0;
    while (tail < old.size() - same && tail < now.size() - same &&
           old[old.size() - 1 - tail] == now[now.size() - 1 - tail])
        ++tail;
    size_t changedOld = old.size() - same - tail;
    size_t changedNew = now.size() - same - tail;
    Check(changedOld <= 1 && changedNew <= 2 && changedNew >= changedOld, "a write touches one key's lines only");

    std::string expected(value);
    size_t first = expected.find_first_not_of(" \t");
    expected = first == std::string::npos ? "" : expected.substr(first, expected.find_last_not_of(" \t") - first + 1);
    Check(IniFile::Parse(after).Value(section, key) == expected, "a written value reads back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string host = HostFile();
    FuzzedDataProvider input(data, size);
    std::string section = input.ConsumeRandomLengthString(40);
    std::string key = input.ConsumeRandomLengthString(40);
    std::string value = input.ConsumeRandomLengthString(60);
    DWORD bufferSize = input.ConsumeIntegralInRange<DWORD>(0, 700);
    std::string text = input.ConsumeRemainingBytesAsString();
    section = section.c_str();
    key = key.c_str();
    value = value.c_str();
    {
        std::ofstream out(host, std::ios::binary | std::ios::trunc);
        out << text;
    }
    CheckReads(text, section, key, bufferSize);
    CheckWrite(text, section, key, value);
    return 0;
}
