// The program's embedded resource script, as registered at start-up.
#pragma once

#include "win9x/resources.h"

namespace win9x::resources {

struct EmbeddedScript {
    const char *name = nullptr;
    const char *text = nullptr;
    const EmbeddedFile *files = nullptr;
};

// The script of this process's program; empty fields when it has none.
EmbeddedScript ProgramScript();

}  // namespace win9x::resources
