#include "world/shown_text.h"

#include <cstdio>

namespace ovlsim {

namespace {

bool IsControl(unsigned char c)
{
    return c < 0x20 || c == 0x7f;
}

}  // namespace

std::string EscapeControls(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size());
    for (unsigned char c : text) {
        if (IsControl(c)) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

std::string Shown(std::string_view text)
{
    // Appended rather than "'" + text: GCC 12 at -O3 warns falsely of an
    // overlapping copy in operator+ of a literal and a string.
    std::string shown(1, '\'');
    shown += EscapeControls(text);
    shown += '\'';
    return shown;
}

bool HasControlCharacter(std::string_view text)
{
    for (unsigned char c : text) {
        if (IsControl(c))
            return true;
    }
    return false;
}

}  // namespace ovlsim
