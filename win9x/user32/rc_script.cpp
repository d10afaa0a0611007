#include "user32/rc_script.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "machine/api.h"
#include "machine/text.h"
#include "user32/resources_internal.h"

namespace win9x::resources {

namespace {

// Style and ID names a script may use, with their Win32 values.
const std::map<std::string, long> &KnownNames()
{
    static const std::map<std::string, long> names = {
        {"WS_OVERLAPPED", WS_OVERLAPPED}, {"WS_POPUP", (long)WS_POPUP}, {"WS_CHILD", WS_CHILD},
        {"WS_VISIBLE", WS_VISIBLE},       {"WS_DISABLED", WS_DISABLED}, {"WS_CAPTION", WS_CAPTION},
        {"WS_BORDER", WS_BORDER},         {"WS_VSCROLL", WS_VSCROLL},   {"WS_SYSMENU", WS_SYSMENU},
        {"WS_GROUP", WS_GROUP},           {"WS_MINIMIZEBOX", WS_MINIMIZEBOX}, {"WS_TABSTOP", WS_TABSTOP},
        {"DS_3DLOOK", DS_3DLOOK},         {"DS_SETFONT", DS_SETFONT},   {"DS_MODALFRAME", DS_MODALFRAME},
        {"DS_CENTER", DS_CENTER},         {"BS_PUSHBUTTON", BS_PUSHBUTTON}, {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
        {"BS_GROUPBOX", BS_GROUPBOX},     {"BS_AUTORADIOBUTTON", BS_AUTORADIOBUTTON},
        {"BS_MULTILINE", BS_MULTILINE},   {"SS_LEFT", SS_LEFT},         {"SS_BITMAP", SS_BITMAP},
        {"CBS_DROPDOWNLIST", CBS_DROPDOWNLIST}, {"CBS_SORT", CBS_SORT}, {"IDOK", IDOK},
        {"IDCANCEL", IDCANCEL},           {"IDC_STATIC", -1},
    };
    return names;
}

struct Token {
    enum Kind { End, Word, Number, Text, Punct } kind = End;
    std::string text;
    long number = 0;
    int line = 0;
};

class Lexer {
public:
    Lexer(const std::string &text, int line) : text_(text), line_(line) {}

    Token Next()
    {
        if (hasPending_) {
            hasPending_ = false;
            return pending_;
        }
        SkipSpaceAndComments();
        Token t;
        t.line = line_;
        if (pos_ >= text_.size())
            return t;
        char c = text_[pos_];
        if (c == '"')
            return ReadText(t);
        if (std::isdigit(static_cast<unsigned char>(c)))
            return ReadNumber(t);
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t start = pos_;
            while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
                ++pos_;
            t.kind = Token::Word;
            t.text = text_.substr(start, pos_ - start);
            return t;
        }
        t.kind = Token::Punct;
        t.text = std::string(1, c);
        ++pos_;
        return t;
    }

    // The rest of the current line (for preprocessor lines).
    std::string RestOfLine()
    {
        size_t end = text_.find('\n', pos_);
        std::string rest = text_.substr(pos_, end == std::string::npos ? std::string::npos : end - pos_);
        pos_ = end == std::string::npos ? text_.size() : end;
        return rest;
    }

    bool AtLineStartHash()
    {
        SkipSpaceAndComments();
        return pos_ < text_.size() && text_[pos_] == '#';
    }

    int line() const { return line_; }

    // Hands a token read one too far back to the next Next().
    void Unget(const Token &t)
    {
        pending_ = t;
        hasPending_ = true;
    }

private:
    void SkipSpaceAndComments()
    {
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                ++pos_;
            } else if (text_.compare(pos_, 2, "//") == 0) {
                while (pos_ < text_.size() && text_[pos_] != '\n')
                    ++pos_;
            } else if (text_.compare(pos_, 2, "/*") == 0) {
                size_t end = text_.find("*/", pos_ + 2);
                for (size_t i = pos_; i < (end == std::string::npos ? text_.size() : end); ++i)
                    line_ += text_[i] == '\n';
                pos_ = end == std::string::npos ? text_.size() : end + 2;
            } else {
                break;
            }
        }
    }

    Token ReadText(Token &t)
    {
        ++pos_;
        t.kind = Token::Text;
        while (pos_ < text_.size()) {
            char c = text_[pos_++];
            if (c == '"') {
                if (pos_ < text_.size() && text_[pos_] == '"') {  // "" is one quote
                    t.text += '"';
                    ++pos_;
                    continue;
                }
                return t;
            }
            if (c == '\\' && pos_ < text_.size()) {
                char e = text_[pos_++];
                t.text += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
                continue;
            }
            if (c == '\n')
                ++line_;
            t.text += c;
        }
        t.kind = Token::End;  // unterminated
        return t;
    }

    Token ReadNumber(Token &t)
    {
        char *end = nullptr;
        t.number = std::strtol(text_.c_str() + pos_, &end, 0);
        pos_ = static_cast<size_t>(end - text_.c_str());
        while (pos_ < text_.size() && (text_[pos_] == 'L' || text_[pos_] == 'l' || text_[pos_] == 'U'))
            ++pos_;
        t.kind = Token::Number;
        return t;
    }

    const std::string &text_;
    size_t pos_ = 0;
    int line_;
    Token pending_;
    bool hasPending_ = false;
};

class Parser {
public:
    Parser(const EmbeddedFile *files, std::string *error) : files_(files), error_(error) {}

    bool ParseFile(const std::string &text)
    {
        Lexer lexer(text, 1);
        lexer_ = &lexer;
        for (;;) {
            if (lexer.AtLineStartHash()) {
                if (!Preprocessor(lexer.RestOfLine()))
                    return false;
                continue;
            }
            Token t = lexer.Next();
            if (t.kind == Token::End)
                return true;
            if (!Statement(t))
                return false;
        }
    }

    RcScript script;

private:
    bool Fail(int line, const std::string &why)
    {
        *error_ = std::to_string(line) + ": " + why;
        return false;
    }

    bool Preprocessor(const std::string &line)
    {
        std::string rest = line.substr(1);
        size_t start = rest.find_first_not_of(" \t");
        rest = start == std::string::npos ? "" : rest.substr(start);
        if (rest.rfind("include", 0) == 0) {
            size_t open = rest.find('"');
            if (open == std::string::npos)
                return true;  // <system> headers: their names are known already
            size_t close = rest.find('"', open + 1);
            std::string name = rest.substr(open + 1, close - open - 1);
            const EmbeddedFile *file = Find(name);
            if (!file)
                return Fail(lexer_->line(), "included file " + name + " is not embedded");
            // A file that includes itself, directly or not, would never end.
            if (depth_ >= kMaxIncludeDepth)
                return Fail(lexer_->line(), "#include nested more than " + std::to_string(kMaxIncludeDepth) +
                                                " deep");
            Parser inner(files_, error_);
            inner.depth_ = depth_ + 1;
            inner.defines_ = defines_;
            inner.script = script;
            if (!inner.ParseFile(std::string(reinterpret_cast<const char *>(file->data), file->size)))
                return false;
            defines_ = inner.defines_;
            return true;
        }
        if (rest.rfind("define", 0) == 0) {
            char name[128] = {};
            long value = 0;
            if (std::sscanf(rest.c_str(), "define %127s %li", name, &value) == 2)
                defines_[name] = value;
            return true;
        }
        return true;  // #ifndef, #endif, #pragma: nothing to do here
    }

    const EmbeddedFile *Find(const std::string &name)
    {
        for (const EmbeddedFile *f = files_; f && f->name; ++f) {
            if (layer::EqualsIgnoreCase(f->name, name))
                return f;
        }
        return nullptr;
    }

    bool Value(const Token &t, long *out)
    {
        if (t.kind == Token::Number) {
            *out = t.number;
            return true;
        }
        if (t.kind == Token::Word) {
            auto d = defines_.find(t.text);
            if (d != defines_.end()) {
                *out = d->second;
                return true;
            }
            auto k = KnownNames().find(t.text);
            if (k != KnownNames().end()) {
                *out = k->second;
                return true;
            }
            return Fail(t.line, "unknown name " + t.text);
        }
        return Fail(t.line, "a number or a name was expected");
    }

    // term { '|' term }, where a term is [NOT] value or -number; NOT clears.
    bool Expression(DWORD start, DWORD *out, Token *next)
    {
        DWORD value = start;
        for (;;) {
            Token t = lexer_->Next();
            bool clear = false;
            bool negative = false;
            if (t.kind == Token::Word && t.text == "NOT") {
                clear = true;
                t = lexer_->Next();
            }
            if (t.kind == Token::Punct && t.text == "-") {
                negative = true;
                t = lexer_->Next();
            }
            long v = 0;
            if (!Value(t, &v))
                return false;
            // Negated as the resource compiler does, in 32 bits with
            // wrap-around (a signed -v would overflow for the most
            // negative number).
            if (negative)
                v = static_cast<long>(0UL - static_cast<unsigned long>(v));
            value = clear ? (value & ~static_cast<DWORD>(v)) : (value | static_cast<DWORD>(v));
            *next = lexer_->Next();
            if (!(next->kind == Token::Punct && next->text == "|"))
                break;
        }
        *out = value;
        return true;
    }

    bool Number(long *out, Token *next)
    {
        DWORD value = 0;
        if (!Expression(0, &value, next))
            return false;
        *out = static_cast<LONG>(value);
        return true;
    }

    bool Expect(const Token &t, const char *punct)
    {
        if (t.kind == Token::Punct && t.text == punct)
            return true;
        return Fail(t.line, std::string("'") + punct + "' was expected");
    }

    bool IsBegin(const Token &t) { return (t.kind == Token::Word && t.text == "BEGIN") || (t.kind == Token::Punct && t.text == "{"); }
    bool IsEnd(const Token &t) { return (t.kind == Token::Word && t.text == "END") || (t.kind == Token::Punct && t.text == "}"); }

    // Four comma-separated numbers: x, y, w, h.
    bool Rect(RECT *rect, Token *next)
    {
        long v[4];
        for (int i = 0; i < 4; ++i) {
            if (!Number(&v[i], next))
                return false;
            if (i < 3 && !Expect(*next, ","))
                return false;
        }
        *rect = RECT{static_cast<LONG>(v[0]), static_cast<LONG>(v[1]), static_cast<LONG>(v[0] + v[2]),
                     static_cast<LONG>(v[1] + v[3])};
        return true;
    }

    bool Statement(const Token &first)
    {
        if (first.kind == Token::Word && first.text == "STRINGTABLE")
            return StringTable();
        long id = 0;
        if (!Value(first, &id))
            return false;
        Token kind = lexer_->Next();
        if (kind.kind == Token::Word && (kind.text == "DIALOGEX" || kind.text == "DIALOG"))
            return Dialog(static_cast<int>(id));
        if (kind.kind == Token::Word && kind.text == "BITMAP") {
            Token file = lexer_->Next();
            if (file.kind != Token::Text)
                return Fail(file.line, "BITMAP needs a file name");
            script.bitmaps[static_cast<int>(id)] = file.text;
            return true;
        }
        return Fail(kind.line, "unknown resource type " + kind.text);
    }

    bool StringTable()
    {
        Token t = lexer_->Next();
        while (!IsBegin(t)) {
            if (t.kind == Token::End)
                return Fail(t.line, "STRINGTABLE without BEGIN");
            t = lexer_->Next();
        }
        for (;;) {
            t = lexer_->Next();
            if (IsEnd(t))
                return true;
            long id = 0;
            if (!Value(t, &id))
                return false;
            Token text = lexer_->Next();
            if (text.kind == Token::Punct && text.text == ",")
                text = lexer_->Next();
            if (text.kind != Token::Text)
                return Fail(text.line, "a string was expected");
            script.strings[static_cast<int>(id)] = text.text;
        }
    }

    bool Dialog(int id)
    {
        RcDialog dialog;
        dialog.id = id;
        Token next;
        if (!Rect(&dialog.rect, &next))
            return false;
        if (next.kind == Token::Punct && next.text == ",") {  // help ID
            long help = 0;
            if (!Number(&help, &next))
                return false;
        }
        dialog.style = WS_POPUP | WS_BORDER | WS_SYSMENU;
        for (;;) {
            if (IsBegin(next))
                break;
            if (next.kind != Token::Word)
                return Fail(next.line, "a dialog statement or BEGIN was expected");
            if (next.text == "STYLE") {
                if (!Expression(0, &dialog.style, &next))
                    return false;
            } else if (next.text == "EXSTYLE") {
                if (!Expression(0, &dialog.exStyle, &next))
                    return false;
            } else if (next.text == "CAPTION") {
                Token text = lexer_->Next();
                if (text.kind != Token::Text)
                    return Fail(text.line, "CAPTION needs a string");
                dialog.caption = text.text;
                next = lexer_->Next();
            } else if (next.text == "FONT") {
                long size = 0;
                if (!Number(&size, &next) || !Expect(next, ","))
                    return false;
                Token face = lexer_->Next();
                if (face.kind != Token::Text)
                    return Fail(face.line, "FONT needs a face name");
                dialog.fontSize = static_cast<int>(size);
                dialog.fontFace = face.text;
                next = lexer_->Next();
                while (next.kind == Token::Punct && next.text == ",") {  // weight, italic, charset
                    long ignored = 0;
                    if (!Number(&ignored, &next))
                        return false;
                }
            } else {
                return Fail(next.line, "unknown dialog statement " + next.text);
            }
        }
        for (;;) {
            Token t = lexer_->Next();
            if (IsEnd(t))
                break;
            if (!(t.kind == Token::Word && t.text == "CONTROL"))
                return Fail(t.line, "only CONTROL lines are understood in a dialog");
            RcControl control;
            if (!Control(&control))
                return false;
            dialog.controls.push_back(control);
        }
        script.dialogs[id] = dialog;
        return true;
    }

    // CONTROL text, id, class, style, x, y, w, h [, exstyle]
    bool Control(RcControl *control)
    {
        Token text = lexer_->Next();
        if (text.kind == Token::Text) {
            control->text = text.text;
        } else {
            long number = 0;
            if (!Value(text, &number))
                return false;
            control->textId = static_cast<int>(number);
        }
        Token next = lexer_->Next();
        long id = 0;
        if (!Expect(next, ",") || !Number(&id, &next) || !Expect(next, ","))
            return false;
        control->id = static_cast<int>(id);
        Token className = lexer_->Next();
        if (className.kind != Token::Text && className.kind != Token::Word)
            return Fail(className.line, "a control class was expected");
        control->className = className.text;
        next = lexer_->Next();
        // A CONTROL line's style starts as WS_CHILD | WS_VISIBLE.
        if (!Expect(next, ",") || !Expression(WS_CHILD | WS_VISIBLE, &control->style, &next) || !Expect(next, ","))
            return false;
        if (!Rect(&control->rect, &next))
            return false;
        if (next.kind == Token::Punct && next.text == ",") {
            if (!Expression(0, &control->exStyle, &next))
                return false;
        }
        lexer_->Unget(next);
        return true;
    }

    static constexpr int kMaxIncludeDepth = 32;

    const EmbeddedFile *files_;
    std::string *error_;
    Lexer *lexer_ = nullptr;
    int depth_ = 0;  // files included around this one
    std::map<std::string, long> defines_;
};

}  // namespace

std::optional<RcScript> ParseRcScript(const std::string &text, const EmbeddedFile *files, std::string *error)
{
    Parser parser(files, error);
    if (!parser.ParseFile(text))
        return std::nullopt;
    return parser.script;
}

const RcScript *ProgramResources()
{
    static std::once_flag once;
    static std::optional<RcScript> parsed;
    std::call_once(once, [] {
        EmbeddedScript script = ProgramScript();
        if (!script.text)
            return;
        std::string error;
        parsed = ParseRcScript(script.text, script.files, &error);
        if (!parsed)
            std::fprintf(stderr, "win9x: %s:%s\n", script.name, error.c_str());
    });
    return parsed ? &*parsed : nullptr;
}

const EmbeddedFile *FindEmbeddedFile(const std::string &name)
{
    EmbeddedScript script = ProgramScript();
    for (const EmbeddedFile *f = script.files; f && f->name; ++f) {
        if (layer::EqualsIgnoreCase(f->name, name))
            return f;
    }
    return nullptr;
}

}  // namespace win9x::resources
