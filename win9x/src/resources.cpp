// Registry of the resource scripts embedded in this process's program.
#include "win9x/resources.h"

#include <mutex>
#include <string>

#include "resources_internal.h"

namespace win9x::resources {

namespace {
std::mutex g_scriptMutex;
EmbeddedScript g_script;
}  // namespace

void RegisterScript(const char *scriptName, const char *text, const EmbeddedFile *files)
{
    std::lock_guard<std::mutex> guard(g_scriptMutex);
    g_script.name = scriptName;
    g_script.text = text;
    g_script.files = files;
}

EmbeddedScript ProgramScript()
{
    std::lock_guard<std::mutex> guard(g_scriptMutex);
    return g_script;
}

}  // namespace win9x::resources
