// A user's text as ovlsim's messages echo it: every control character
// (line breaks, tabs, ESC and the rest below 0x20, and DEL) written as \xNN,
// so that a message stays on its one line and no value can move the cursor,
// clear the screen or recolour the terminal it is printed on.
#pragma once

#include <string>
#include <string_view>

namespace ovlsim {

// The text with its control characters as \xNN.
std::string EscapeControls(std::string_view text);

// The text quoted, its control characters as \xNN: 'X\x0a2'.
std::string Shown(std::string_view text);

bool HasControlCharacter(std::string_view text);

}  // namespace ovlsim
