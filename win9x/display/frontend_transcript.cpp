// Writing the script front end's plain transcript (frontend_transcript.h).
#include "display/frontend_transcript.h"

#include <errno.h>

#include <cstdlib>
#include <cstring>

#include "display/frontend_render.h"
#include "machine/text.h"

namespace win9x::ui {

std::string TranscriptText(const std::string &text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

Transcript::Transcript(const std::string &path) : out_(path == "-" ? stdout : std::fopen(path.c_str(), "w"))
{
    if (!out_) {
        std::string reason = std::strerror(errno);
        std::fflush(stdout);
        std::fprintf(stderr, "%s: cannot write the transcript %s: %s\n", ProgramName().c_str(), path.c_str(),
                     reason.c_str());
        std::exit(2);
    }
}

Transcript::~Transcript()
{
    if (out_ != stdout)
        std::fclose(out_);
}

void Transcript::Write(const std::string &line)
{
    if (ended_)
        return;
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

void Transcript::Line(const char *kind, const std::string &text)
{
    Write(std::string(kind) + ": " + TranscriptText(text));
}

void Transcript::Shows(const machine::DialogView &dialog)
{
    Line("dialog", dialog.caption);
}

void Transcript::Waits(const machine::DialogView &dialog)
{
    for (const auto &control : dialog.controls) {
        if (!control.visible)
            continue;
        if (IsComboBox(control)) {
            for (const auto &entry : control.items)
                Line("list", entry);
            bool selected = control.selection >= 0 && control.selection < static_cast<int>(control.items.size());
            if (selected)
                Line("selected", control.items[control.selection]);
            else
                Write("selected: none");
        } else if (IsRadioButton(control)) {
            Line("option", control.text + (control.check == BST_CHECKED ? " checked" : " unchecked"));
        } else if (IsPushButton(control)) {
            Line("button", control.text + (control.enabled ? " enabled" : " disabled"));
        } else if (layer::EqualsIgnoreCase(control.className, "Static") && (control.style & 0x1F) != SS_BITMAP) {
            Line("page", control.text);
        }
    }
}

void Transcript::Box(const machine::MessageBoxView &box)
{
    Write("box: " + TranscriptText(box.caption) + ": " + TranscriptText(box.text));
}

void Transcript::Action(const std::string &words)
{
    Line("action", words);
}

void Transcript::Ends()
{
    Write("end");
    ended_ = true;
}

void Transcript::Closed()
{
    Write("closed");
}

}  // namespace win9x::ui
