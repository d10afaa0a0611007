// The resource-script reader on any text, with an included file that the
// input also supplies: it reads or refuses with "LINE: reason", and never
// crashes, overflows or recurses without end.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "user32/rc_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The text up to the first zero byte is the script; the rest is the file
    // "inc.h" that it may include.
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t cut = input.find('\0');
    std::string script = input.substr(0, cut);
    std::string included = cut == std::string::npos ? "" : input.substr(cut + 1);
    const win9x::resources::EmbeddedFile files[] = {
        {"inc.h", reinterpret_cast<const unsigned char *>(included.data()), included.size()},
        {nullptr, nullptr, 0},
    };
    std::string error;
    auto parsed = win9x::resources::ParseRcScript(script, files, &error);
    if (!parsed) {
        size_t digits = error.find_first_not_of("0123456789");
        if (digits == 0 || digits == std::string::npos || error.compare(digits, 2, ": ") != 0) {
            std::fprintf(stderr, "fuzz_rc_script: a refusal without its line number: %s\n", error.c_str());
            std::abort();
        }
    }
    return 0;
}
