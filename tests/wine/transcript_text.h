// How the Wine drivers write a text on one line: line breaks and other
// control characters as \n, \r, \t or \xNN, a backslash as \\ (the form
// `ovlsim usbcheck --transcript` writes too).
#ifndef TESTS_WINE_TRANSCRIPT_TEXT_H
#define TESTS_WINE_TRANSCRIPT_TEXT_H

#include <stdio.h>

#include <string>

inline std::string Escaped(const std::string &text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

#endif
