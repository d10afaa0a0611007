// The REGEDIT4 reader on any text: it never fails other than with "LINE:
// reason" on one line, and whatever it reads, the writer writes back as text
// that reads back to the very same keys and values.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "regedit/regfile.h"

namespace {

using ovlsim::regfile::File;

void Check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_regedit_read: %s\n", what);
        std::abort();
    }
}

// A refusal is "N: reason" on one line, N a line of the text.
void CheckRefusal(std::string_view text, const std::string &error)
{
    size_t digits = 0;
    while (digits < error.size() && error[digits] >= '0' && error[digits] <= '9')
        ++digits;
    Check(digits > 0 && error.compare(digits, 2, ": ") == 0, "a refusal begins with its line number");
    Check(error.find_first_of("\r\n") == std::string::npos, "a refusal is one line");
    size_t lines = 1;
    for (char c : text)
        lines += c == '\n';
    Check(std::stoul(error.substr(0, digits)) <= lines, "the line number lies in the text");
}

// The keys and values that can be written back (deletions of values are
// not: the writer writes what a registry holds).
std::string WriteBack(const File &file)
{
    std::string text = std::string(ovlsim::regfile::kSignature) + "\n";
    for (const auto &key : file.keys) {
        if (!ovlsim::regfile::IsWritableKeyPath(key.path))
            continue;
        text += key.remove ? "[-" + key.path + "]\n" : ovlsim::regfile::FormatKeyHeader(key.path);
        for (const auto &value : key.values) {
            if (!value.remove)
                text += ovlsim::regfile::FormatValue(value.name, value.type, value.data);
        }
    }
    return text;
}

void CheckSameEntries(const File &read, const File &again)
{
    size_t k = 0;
    for (const auto &key : read.keys) {
        if (!ovlsim::regfile::IsWritableKeyPath(key.path))
            continue;
        Check(k < again.keys.size(), "every key reads back");
        const auto &back = again.keys[k++];
        Check(back.path == key.path && back.remove == key.remove, "a key reads back as written");
        size_t v = 0;
        for (const auto &value : key.values) {
            if (value.remove)
                continue;
            Check(v < back.values.size(), "every value reads back");
            const auto &other = back.values[v++];
            Check(other.name == value.name && other.type == value.type && other.data == value.data && !other.remove,
                  "a value reads back as written");
        }
        Check(v == back.values.size(), "no value is added");
    }
    Check(k == again.keys.size(), "no key is added");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string_view text(reinterpret_cast<const char *>(data), size);
    std::string error;
    auto file = ovlsim::regfile::Parse(text, &error);
    if (!file) {
        CheckRefusal(text, error);
        return 0;
    }
    std::string written = WriteBack(*file);
    auto again = ovlsim::regfile::Parse(written, &error);
    Check(again.has_value(), "what the writer writes reads back");
    CheckSameEntries(*file, *again);
    return 0;
}
