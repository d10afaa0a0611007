// The machine tool's file work, through the layer's own file helpers.
#include "kernel32/files.h"
#include "win9x/machine.h"

namespace win9x::machine {

DWORD MoveFileOver(const std::string &source, const std::string &target)
{
    return layer::MoveFileOver(source, target);
}

DWORD DeleteFileForce(const std::string &path)
{
    return layer::DeleteFileForce(path);
}

}  // namespace win9x::machine
