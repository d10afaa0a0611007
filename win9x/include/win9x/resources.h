// Resource scripts embedded in host programs (see cmake/EmbedResources.cmake).
#pragma once

#include <cstddef>

namespace win9x::resources {

struct EmbeddedFile {
    const char *name;  // as the script names it, e.g. "usbcheck98.bmp"
    const unsigned char *data;
    size_t size;
};

// Registers a program's resource script and the files it refers to; the
// file list ends with an entry whose name is null.
void RegisterScript(const char *scriptName, const char *text, const EmbeddedFile *files);

struct ScriptRegistration {
    ScriptRegistration(const char *scriptName, const char *text, const EmbeddedFile *files)
    {
        RegisterScript(scriptName, text, files);
    }
};

}  // namespace win9x::resources
