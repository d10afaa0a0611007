// REGEDIT4 text, the format the Windows 9x registry editor writes and
// merges: key headers in brackets, then "name"=value lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovlsim::regfile {

struct ValueEntry {
    int line = 0;  // where the value begins in the file
    std::string name;  // empty for the default value (@)
    bool remove = false;  // "name"=-
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct KeyEntry {
    int line = 0;  // the line of the [path] header
    std::string path;  // with its root, e.g. HKEY_LOCAL_MACHINE\Software
    bool remove = false;  // [-path]
    std::vector<ValueEntry> values;
};

struct File {
    std::vector<KeyEntry> keys;
};

// Parses a whole file. On malformed input returns nullopt and a message
// that begins with the line number ("12: ...").
//
// Quoted texts escape the backslash and the double quote, and write a line
// feed as \n and a carriage return as \r, so that every value name fits on
// its line. Key names cannot hold line breaks (the registry refuses them),
// so key headers are written as they are.
std::optional<File> Parse(std::string_view text, std::string *error);

// The first line of every file.
inline constexpr const char *kSignature = "REGEDIT4";

std::string FormatKeyHeader(const std::string &path);
// Whether a key path can be written as a header line that reads back as
// the same path (a path with a line break cannot).
bool IsWritableKeyPath(std::string_view path);
// A name as an error message shows it: control characters as '?', cut
// after 60 characters.
std::string ShownName(std::string_view name);
// One value line (or several, hex data being wrapped), with its line end.
std::string FormatValue(const std::string &name, uint32_t type, const std::vector<uint8_t> &data);

}  // namespace ovlsim::regfile
