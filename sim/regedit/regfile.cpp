// Reading and writing REGEDIT4 text. Strings escape the backslash and the
// double quote, as the registry editor does, and line breaks in value names
// as \n and \r; string data a string line cannot carry (no terminator, line
// breaks) and other types are written as hex(n).
#include "regedit/regfile.h"

#include <windows.h>

#include <cctype>
#include <cstdio>

namespace ovlsim::regfile {

namespace {

constexpr size_t kWrapColumn = 76;

std::string Escape(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            if (c == '\\' || c == '"')
                out += '\\';
            out += c;
        }
    }
    return out;
}

// A REG_SZ whose bytes a quoted string line can hold exactly.
bool IsPlainString(uint32_t type, const std::vector<uint8_t> &data)
{
    if (type != REG_SZ || data.empty() || data.back() != 0)
        return false;
    for (size_t i = 0; i + 1 < data.size(); ++i) {
        if (data[i] == 0 || data[i] == '\r' || data[i] == '\n')
            return false;
    }
    return true;
}

std::string HexValue(const std::string &prefix, uint32_t type, const std::vector<uint8_t> &data)
{
    std::string line = prefix;
    if (type == REG_BINARY) {
        line += "hex:";
    } else {
        char tag[16];
        std::snprintf(tag, sizeof tag, "hex(%x):", type);
        line += tag;
    }
    std::string out;
    for (size_t i = 0; i < data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        line += byte;
        if (i + 1 < data.size()) {
            line += ',';
            if (line.size() >= kWrapColumn) {
                out += line + "\\\n";
                line = "  ";
            }
        }
    }
    return out + line + "\n";
}

// A cursor over one logical line of the file.
struct Cursor {
    std::string_view text;
    size_t pos = 0;
    bool AtEnd() const { return pos >= text.size(); }
    char Peek() const { return AtEnd() ? '\0' : text[pos]; }
    bool Take(char c)
    {
        if (Peek() != c)
            return false;
        ++pos;
        return true;
    }
    void SkipBlanks()
    {
        while (Peek() == ' ' || Peek() == '\t')
            ++pos;
    }
};

bool ParseQuoted(Cursor &cursor, std::string *out, std::string *why)
{
    if (!cursor.Take('"')) {
        *why = "a quoted text was expected";
        return false;
    }
    while (!cursor.AtEnd()) {
        char c = cursor.text[cursor.pos++];
        if (c == '"')
            return true;
        if (c == '\\') {
            if (cursor.AtEnd())
                break;
            char next = cursor.Peek();
            if (next != '\\' && next != '"' && next != 'n' && next != 'r') {
                *why = "unknown escape \\" + ShownName(std::string_view(&next, 1));
                return false;
            }
            ++cursor.pos;
            c = next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        }
        *out += c;
    }
    *why = "the quoted text is not closed";
    return false;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

bool ParseHexBytes(std::string_view text, std::vector<uint8_t> *out, std::string *why)
{
    Cursor cursor{text};
    cursor.SkipBlanks();
    if (cursor.AtEnd())
        return true;
    for (;;) {
        cursor.SkipBlanks();
        if (cursor.pos + 2 > text.size() || HexDigit(text[cursor.pos]) < 0 || HexDigit(text[cursor.pos + 1]) < 0) {
            *why = "a byte of two hex digits was expected";
            return false;
        }
        out->push_back(static_cast<uint8_t>(HexDigit(text[cursor.pos]) * 16 + HexDigit(text[cursor.pos + 1])));
        cursor.pos += 2;
        cursor.SkipBlanks();
        if (cursor.AtEnd())
            return true;
        if (!cursor.Take(',')) {
            *why = "a comma between bytes was expected";
            return false;
        }
    }
}

bool ParseData(std::string_view text, ValueEntry *value, std::string *why)
{
    Cursor cursor{text};
    if (text == "-") {
        value->remove = true;
        return true;
    }
    if (cursor.Peek() == '"') {
        std::string s;
        if (!ParseQuoted(cursor, &s, why))
            return false;
        cursor.SkipBlanks();
        if (!cursor.AtEnd()) {
            *why = "text after the closing quote";
            return false;
        }
        value->type = REG_SZ;
        value->data.assign(s.begin(), s.end());
        value->data.push_back(0);
        return true;
    }
    if (text.rfind("dword:", 0) == 0) {
        std::string_view digits = text.substr(6);
        if (digits.empty() || digits.size() > 8) {
            *why = "dword: needs 1 to 8 hex digits";
            return false;
        }
        uint32_t number = 0;
        for (char c : digits) {
            if (HexDigit(c) < 0) {
                *why = "dword: needs 1 to 8 hex digits";
                return false;
            }
            number = number * 16 + static_cast<uint32_t>(HexDigit(c));
        }
        value->type = REG_DWORD;
        for (int i = 0; i < 4; ++i)
            value->data.push_back(static_cast<uint8_t>(number >> (8 * i)));
        return true;
    }
    if (text.rfind("hex:", 0) == 0) {
        value->type = REG_BINARY;
        return ParseHexBytes(text.substr(4), &value->data, why);
    }
    if (text.rfind("hex(", 0) == 0) {
        size_t close = text.find("):");
        std::string_view tag = text.substr(4, close == std::string_view::npos ? 0 : close - 4);
        if (close == std::string_view::npos || tag.empty() || tag.size() > 8) {
            *why = "hex(n): needs a hex type number";
            return false;
        }
        uint32_t type = 0;
        for (char c : tag) {
            if (HexDigit(c) < 0) {
                *why = "hex(n): needs a hex type number";
                return false;
            }
            type = type * 16 + static_cast<uint32_t>(HexDigit(c));
        }
        value->type = type;
        return ParseHexBytes(text.substr(close + 2), &value->data, why);
    }
    *why = "unknown value data (expected \"text\", dword:, hex: or hex(n):)";
    return false;
}

bool ParseValueLine(std::string_view line, ValueEntry *value, std::string *why)
{
    Cursor cursor{line};
    if (cursor.Take('@')) {
        value->name.clear();
    } else if (!ParseQuoted(cursor, &value->name, why)) {
        return false;
    }
    if (value->name.find('\0') != std::string::npos) {
        *why = "a value name cannot hold a NUL character";
        return false;
    }
    cursor.SkipBlanks();
    if (!cursor.Take('=')) {
        *why = "'=' was expected after the value name";
        return false;
    }
    cursor.SkipBlanks();
    std::string_view data = line.substr(cursor.pos);
    while (!data.empty() && (data.back() == ' ' || data.back() == '\t'))
        data.remove_suffix(1);
    return ParseData(data, value, why);
}

std::string_view TrimLineEnd(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    return line;
}

}  // namespace

std::string FormatKeyHeader(const std::string &path)
{
    return "[" + path + "]\n";
}

bool IsWritableKeyPath(std::string_view path)
{
    return path.find_first_of("\r\n") == std::string_view::npos;
}

std::string ShownName(std::string_view name)
{
    constexpr size_t kShown = 60;
    std::string shown;
    for (char c : name.substr(0, kShown))
        shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    if (name.size() > kShown)
        shown += "...";
    return shown;
}

std::string FormatValue(const std::string &name, uint32_t type, const std::vector<uint8_t> &data)
{
    // Built by appending: GCC 12 at -O3 takes "\"" + std::string for
    // overlapping copies (-Wrestrict).
    std::string prefix = "@=";
    if (!name.empty())
        prefix.assign(1, '"').append(Escape(name)).append("\"=");
    if (IsPlainString(type, data))
        return prefix + "\"" + Escape(std::string(data.begin(), data.end() - 1)) + "\"\n";
    if (type == REG_DWORD && data.size() == 4) {
        uint32_t number = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
        char text[32];
        std::snprintf(text, sizeof text, "dword:%08x", number);
        return prefix + text + "\n";
    }
    return HexValue(prefix, type, data);
}

std::optional<File> Parse(std::string_view text, std::string *error)
{
    File file;
    bool signature = false;
    int lineNumber = 0;
    size_t pos = 0;
    auto fail = [&](int line, const std::string &why) {
        *error = std::to_string(line) + ": " + why;
        return std::nullopt;
    };
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string_view raw = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        int startLine = ++lineNumber;
        std::string logical(TrimLineEnd(raw));
        // A line ending in a backslash continues on the next (wrapped hex).
        while (!logical.empty() && logical.back() == '\\' && logical.find('=') != std::string::npos &&
               logical.find("hex") != std::string::npos && pos < text.size()) {
            logical.pop_back();
            end = text.find('\n', pos);
            std::string_view next = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
            pos = end == std::string_view::npos ? text.size() : end + 1;
            ++lineNumber;
            next = TrimLineEnd(next);
            while (!next.empty() && (next.front() == ' ' || next.front() == '\t'))
                next.remove_prefix(1);
            logical += next;
        }
        std::string_view line(logical);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty() || line.front() == ';')
            continue;
        if (!signature) {
            if (line != kSignature)
                return fail(startLine, std::string("the file does not begin with ") + kSignature);
            signature = true;
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3)
                return fail(startLine, "a key header must be [path]");
            KeyEntry key;
            std::string_view path = line.substr(1, line.size() - 2);
            if (!path.empty() && path.front() == '-') {
                key.remove = true;
                path.remove_prefix(1);
            }
            if (path.empty())
                return fail(startLine, "empty key path");
            // The registry takes names as C strings: a NUL would cut the
            // path there and the entry would land on another key.
            if (path.find('\0') != std::string_view::npos)
                return fail(startLine, "a key name cannot hold a NUL character");
            key.line = startLine;
            key.path = std::string(path);
            file.keys.push_back(std::move(key));
            continue;
        }
        if (file.keys.empty())
            return fail(startLine, "a value line comes before any [key] header");
        if (file.keys.back().remove)
            return fail(startLine, "values cannot follow a [-key] deletion");
        ValueEntry value;
        value.line = startLine;
        std::string why;
        if (!ParseValueLine(line, &value, &why))
            return fail(startLine, why);
        file.keys.back().values.push_back(std::move(value));
    }
    if (!signature)
        return fail(lineNumber == 0 ? 1 : lineNumber, std::string("the file does not begin with ") + kSignature);
    return file;
}

}  // namespace ovlsim::regfile
