// The agent's argument text, as WinMain receives it from whoever starts the
// agent: taken whole or refused whole, and every option read into its
// buffer terminated and within bounds; the model key path built from the
// model fits its buffer or is left empty.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "agent.h"
#include "win9x/machine.h"

namespace {

void Check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_agent_cmdline: %s\n", what);
        std::abort();
    }
}

// The buffer holds a terminated text of at most size - 1 characters.
size_t TerminatedLength(const char *buffer, size_t size)
{
    const void *end = std::memchr(buffer, '\0', size);
    Check(end != nullptr, "a text buffer is terminated inside its bounds");
    return static_cast<const char *>(end) - buffer;
}

// An option's value, when there is one, is a piece of the argument text
// that holds no stop character.
void CheckOption(const std::string &text, const char *value, char stop)
{
    std::string read(value);
    Check(read.empty() || text.find(read) != std::string::npos, "an option's value comes from the text");
    Check(read.find(stop) == std::string::npos, "an option's value ends before its stop character");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The agent runs on a supported Windows; the run state is a new process's.
    win9x::machine::OverrideVersion(win9x::machine::WindowsVersion::Win98);
    ResetRunState();
    std::string text(reinterpret_cast<const char *>(data), size);
    text = text.c_str();  // WinMain receives a zero-terminated text
    BOOL taken = PrepareRun(text.c_str());

    Check(taken == (!text.empty() && text.size() < AGENT_TEXT_SIZE), "a text is taken exactly when it fits");
    Check(TerminatedLength(g_CmdLineText, sizeof g_CmdLineText) == (taken ? text.size() : 0),
          "the argument text is kept whole or not at all");
    TerminatedLength(g_Model, sizeof g_Model);
    TerminatedLength(g_Serial, sizeof g_Serial);
    CheckOption(text, g_Model, '-');
    CheckOption(text, g_Serial, ' ');
    Check(g_ErrorCode == 0 && g_AbortFlag == 0, "a supported platform raises no error");

    char path[AGENT_TEXT_SIZE];
    std::memset(path, 'x', sizeof path);
    BOOL built = BuildModelKeyPath(path, g_Model);
    size_t length = TerminatedLength(path, sizeof path);
    Check(built ? std::strncmp(path, MODEL_KEYS_PATH, std::strlen(MODEL_KEYS_PATH)) == 0 : length == 0,
          "the model key path is whole or empty");
    Check(std::strcmp(ModelSuffix(g_Model), g_Model + std::strspn(g_Model, MODEL_SUFFIX_SET)) == 0 &&
              std::strspn(ModelSuffix(g_Model), MODEL_SUFFIX_SET) == 0,
          "the model suffix starts after the leading run of \"Sorrelink \" characters");
    return 0;
}
