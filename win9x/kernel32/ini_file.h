// The text of a profile (INI) file, line by line, as the profile functions
// read and change it. Lines that are not touched are written back as they
// were read.
//
// The reading of a line: a line whose first non-blank character is '[' is
// a section header (the name runs to the first ']'); one that starts with
// ';' is a comment; a blank line is a blank line; any other line is an
// entry, its key the text before the first '=' and its value the text
// after it, both without surrounding blanks (a line without '=' is a key
// with an empty value). Lines in front of the first header belong to no
// section. Section and key names match without regard to case; where a
// section or key appears twice, the first one counts.
//
// Comments and blank lines are never returned as entries or names. They
// stay where they are when a key is added, changed or deleted; writing a
// section whole replaces its comments with the new entries. Blank lines at
// the end of a section separate it from the next one and stay there.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace win9x::layer {

class IniFile {
public:
    // Splits text at CR LF, LF or a lone CR.
    static IniFile Parse(std::string_view text);
    // Every line followed by CR LF.
    std::string Serialize() const;

    // Names of the sections, in file order, each once.
    std::vector<std::string> SectionNames() const;
    // The section's entries as "key=value" (or the bare key), in file order,
    // duplicates included; nullopt for a missing section.
    std::optional<std::vector<std::string>> SectionEntries(std::string_view section) const;
    // The keys of the section in file order (empty for a missing section).
    std::vector<std::string> KeyNames(std::string_view section) const;
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

    // Each change returns true when the text changed.
    // Changes the first line of the key, or adds the key at the end of its
    // section, or adds the section at the end of the file.
    bool SetValue(std::string_view section, std::string_view key, std::string_view value);
    bool DeleteKey(std::string_view section, std::string_view key);
    bool DeleteSection(std::string_view section);
    // Replaces the section's lines with `lines` (new section at the end).
    bool ReplaceSection(std::string_view section, const std::vector<std::string> &lines);

private:
    struct Range {
        size_t header;      // the header line
        size_t contentEnd;  // behind the last non-blank line of the section
        size_t end;         // the next header, or the end of the file
    };
    std::optional<Range> FindSection(std::string_view section) const;
    // The line of the key's first entry in the section.
    std::optional<size_t> FindKey(const Range &range, std::string_view key) const;

    std::vector<std::string> lines_;
};

}  // namespace win9x::layer
