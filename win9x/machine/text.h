// Text tools the whole layer uses: ASCII case folding and bounded copies.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace win9x::layer {

bool EqualsIgnoreCase(std::string_view a, std::string_view b);
std::string ToLower(std::string_view text);
std::string ToUpper(std::string_view text);

// Copies `text` and its terminator into a caller's buffer of `capacity`
// bytes when it fits; returns false (nothing written) when it does not.
bool CopyText(std::string_view text, char *buffer, size_t capacity);

}  // namespace win9x::layer
