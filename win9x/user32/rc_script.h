// Resource scripts as a program's .rc file writes them (the subset the
// deliverables use: DIALOG/DIALOGEX with generic CONTROL lines, STRINGTABLE,
// BITMAP), parsed at run time so that the host build and the Windows build
// share one source of truth.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "win9x/resources.h"

namespace win9x::resources {

struct RcControl {
    std::string text;
    int textId = 0;  // a numeric text (a bitmap's number for SS_BITMAP)
    int id = 0;
    std::string className;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect{};  // x, y, x + w, y + h in dialog units
};

struct RcDialog {
    int id = 0;
    RECT rect{};
    DWORD style = 0;
    DWORD exStyle = 0;
    std::string caption;
    int fontSize = 0;
    std::string fontFace;
    std::vector<RcControl> controls;
};

struct RcScript {
    std::map<int, RcDialog> dialogs;
    std::map<int, std::string> strings;
    std::map<int, std::string> bitmaps;  // resource number -> file name
};

// Parses the script; files named by #include "..." and BITMAP come from
// `files`. On malformed input returns nullopt and "<line>: <reason>".
std::optional<RcScript> ParseRcScript(const std::string &text, const EmbeddedFile *files, std::string *error);

// The program's embedded script, parsed once; null when it has none or it
// does not parse (the reason goes to standard error once).
const RcScript *ProgramResources();

// The bytes of a file embedded with the program's script, or null.
const EmbeddedFile *FindEmbeddedFile(const std::string &name);

}  // namespace win9x::resources
