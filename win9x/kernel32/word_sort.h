// The order in which Windows compares ANSI texts (lstrcmpA, lstrcmpiA and so
// the sorted lists): CompareStringA's word sort for the ANSI code page.
#pragma once

namespace win9x::layer {

// Compares two zero-terminated ANSI texts: less than, equal to or greater
// than 0. Letters first by their letter, then by accent, then (unless
// `ignoreCase`) lower case before upper case; hyphen and apostrophe count
// only when everything else is equal; punctuation sorts before digits and
// digits before letters.
int CompareWordSort(const char *a, const char *b, bool ignoreCase);

}  // namespace win9x::layer
