// Reading and changing the lines of a profile (INI) file.
#include "kernel32/ini_file.h"

#include "machine/text.h"

namespace win9x::layer {

namespace {

enum class LineKind { Blank, Comment, Header, Entry };

std::string_view Trim(std::string_view text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// "[section]". Built by appending: GCC 12 at -O3 takes "[" + std::string
// for overlapping copies (-Wrestrict).
std::string HeaderLine(std::string_view section)
{
    std::string line(1, '[');
    line.append(section);
    line += ']';
    return line;
}

LineKind KindOf(std::string_view line)
{
    std::string_view text = Trim(line);
    if (text.empty())
        return LineKind::Blank;
    if (text.front() == ';')
        return LineKind::Comment;
    if (text.front() == '[')
        return LineKind::Header;
    return LineKind::Entry;
}

// The name of a header line: up to the first ']', or the rest of the line.
std::string_view HeaderName(std::string_view line)
{
    std::string_view text = Trim(line);
    text.remove_prefix(1);
    return Trim(text.substr(0, text.find(']')));
}

std::string_view EntryKey(std::string_view line)
{
    return Trim(line.substr(0, line.find('=')));
}

std::string_view EntryValue(std::string_view line)
{
    size_t equals = line.find('=');
    return equals == std::string_view::npos ? std::string_view() : Trim(line.substr(equals + 1));
}

}  // namespace

IniFile IniFile::Parse(std::string_view text)
{
    IniFile file;
    size_t start = 0;
    while (start < text.size()) {
        size_t cut = text.find_first_of("\r\n", start);
        if (cut == std::string_view::npos) {
            file.lines_.emplace_back(text.substr(start));
            break;
        }
        file.lines_.emplace_back(text.substr(start, cut - start));
        start = cut + ((text[cut] == '\r' && cut + 1 < text.size() && text[cut + 1] == '\n') ? 2 : 1);
    }
    return file;
}

std::string IniFile::Serialize() const
{
    std::string text;
    for (const auto &line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::vector<std::string> IniFile::SectionNames() const
{
    std::vector<std::string> names;
    for (const auto &line : lines_) {
        if (KindOf(line) != LineKind::Header)
            continue;
        std::string_view name = HeaderName(line);
        bool seen = false;
        for (const auto &known : names)
            seen = seen || EqualsIgnoreCase(known, name);
        if (!seen)
            names.emplace_back(name);
    }
    return names;
}

std::optional<IniFile::Range> IniFile::FindSection(std::string_view section) const
{
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (KindOf(lines_[i]) != LineKind::Header || !EqualsIgnoreCase(HeaderName(lines_[i]), Trim(section)))
            continue;
        Range range{i, i + 1, lines_.size()};
        for (size_t j = i + 1; j < lines_.size(); ++j) {
            LineKind kind = KindOf(lines_[j]);
            if (kind == LineKind::Header) {
                range.end = j;
                break;
            }
            if (kind != LineKind::Blank)
                range.contentEnd = j + 1;
        }
        return range;
    }
    return std::nullopt;
}

std::optional<size_t> IniFile::FindKey(const Range &range, std::string_view key) const
{
    for (size_t i = range.header + 1; i < range.contentEnd; ++i) {
        if (KindOf(lines_[i]) == LineKind::Entry && EqualsIgnoreCase(EntryKey(lines_[i]), Trim(key)))
            return i;
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> IniFile::SectionEntries(std::string_view section) const
{
    auto range = FindSection(section);
    if (!range)
        return std::nullopt;
    std::vector<std::string> entries;
    for (size_t i = range->header + 1; i < range->contentEnd; ++i) {
        if (KindOf(lines_[i]) != LineKind::Entry)
            continue;
        std::string entry(EntryKey(lines_[i]));
        if (lines_[i].find('=') != std::string::npos)
            entry.append("=").append(EntryValue(lines_[i]));
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<std::string> IniFile::KeyNames(std::string_view section) const
{
    std::vector<std::string> keys;
    if (auto range = FindSection(section)) {
        for (size_t i = range->header + 1; i < range->contentEnd; ++i) {
            if (KindOf(lines_[i]) == LineKind::Entry)
                keys.emplace_back(EntryKey(lines_[i]));
        }
    }
    return keys;
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key) const
{
    auto range = FindSection(section);
    auto line = range ? FindKey(*range, key) : std::nullopt;
    if (!line)
        return std::nullopt;
    return std::string(EntryValue(lines_[*line]));
}

bool IniFile::SetValue(std::string_view section, std::string_view key, std::string_view value)
{
    auto range = FindSection(section);
    if (!range) {
        lines_.push_back(HeaderLine(section));
        lines_.push_back(std::string(key) + "=" + std::string(value));
        return true;
    }
    if (auto line = FindKey(*range, key)) {
        // The key keeps the spelling it has in the file.
        std::string text = std::string(EntryKey(lines_[*line])) + "=" + std::string(value);
        if (text == lines_[*line])
            return false;
        lines_[*line] = std::move(text);
        return true;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(range->contentEnd),
                  std::string(key) + "=" + std::string(value));
    return true;
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key)
{
    auto range = FindSection(section);
    auto line = range ? FindKey(*range, key) : std::nullopt;
    if (!line)
        return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*line));
    return true;
}

bool IniFile::DeleteSection(std::string_view section)
{
    auto range = FindSection(section);
    if (!range)
        return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(range->header),
                 lines_.begin() + static_cast<std::ptrdiff_t>(range->end));
    return true;
}

bool IniFile::ReplaceSection(std::string_view section, const std::vector<std::string> &lines)
{
    auto range = FindSection(section);
    if (!range) {
        lines_.push_back(HeaderLine(section));
        lines_.insert(lines_.end(), lines.begin(), lines.end());
        return true;
    }
    auto first = lines_.begin() + static_cast<std::ptrdiff_t>(range->header + 1);
    auto last = lines_.begin() + static_cast<std::ptrdiff_t>(range->contentEnd);
    if (std::vector<std::string>(first, last) == lines)
        return false;
    first = lines_.erase(first, last);
    lines_.insert(first, lines.begin(), lines.end());
    return true;
}

}  // namespace win9x::layer
