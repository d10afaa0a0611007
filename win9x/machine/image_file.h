// Whether a host library or program on drive C: is whole: a file cut short
// (a copy that stopped, a damaged disk) still has headers that describe more
// than it holds, and mapping what is not there kills the process that loads
// it. Such a file is found before it is loaded.
#pragma once

#include <string>

namespace win9x::layer {

// Empty when the file holds everything its image headers describe (or is no
// image of this host at all, which the loader refuses by itself); else why
// not: "holds 1000 bytes, its headers describe 68136".
std::string ImageShortfall(const std::string &hostPath);

}  // namespace win9x::layer
