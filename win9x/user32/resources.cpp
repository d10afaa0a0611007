// Registry of the resource scripts embedded in this process's program.
#include "win9x/resources.h"

#include <mutex>
#include <string>

#include "user32/resources_internal.h"

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

#include <windows.h>

#include <cstring>

#include "user32/rc_script.h"

extern "C" int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax)
{
    (void)hInstance;
    const win9x::resources::RcScript *script = win9x::resources::ProgramResources();
    if (!lpBuffer || cchBufferMax <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string *text = nullptr;
    if (script) {
        auto found = script->strings.find(static_cast<int>(uID));
        if (found != script->strings.end())
            text = &found->second;
    }
    if (!text) {
        lpBuffer[0] = '\0';
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    // The string is cut to the buffer, always terminated.
    size_t length = std::min(text->size(), static_cast<size_t>(cchBufferMax - 1));
    std::memcpy(lpBuffer, text->data(), length);
    lpBuffer[length] = '\0';
    return static_cast<int>(length);
}
