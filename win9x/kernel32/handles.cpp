// The process's table of kernel handles (files, devices, mutexes) and
// CloseHandle. Handle values are never reused within a process, so a
// closed handle stays invalid.
#include <mutex>
#include <unordered_map>

#include "kernel32/handles.h"

namespace {
std::mutex g_handleMutex;
std::unordered_map<uintptr_t, std::shared_ptr<win9x::layer::KernelObject>> g_handles;
uintptr_t g_nextHandle = 0x100;
}  // namespace

namespace win9x::layer {

HANDLE InsertHandle(std::shared_ptr<KernelObject> object)
{
    std::lock_guard<std::mutex> guard(g_handleMutex);
    uintptr_t value = g_nextHandle;
    g_nextHandle += 4;
    g_handles[value] = std::move(object);
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle)
{
    std::lock_guard<std::mutex> guard(g_handleMutex);
    auto found = g_handles.find(reinterpret_cast<uintptr_t>(handle));
    return found == g_handles.end() ? nullptr : found->second;
}

std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle)
{
    std::lock_guard<std::mutex> guard(g_handleMutex);
    auto found = g_handles.find(reinterpret_cast<uintptr_t>(handle));
    if (found == g_handles.end())
        return nullptr;
    auto object = std::move(found->second);
    g_handles.erase(found);
    return object;
}

}  // namespace win9x::layer

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject)
{
    // The object is released outside the table's lock: closing a device or
    // a file may take locks of its own.
    auto object = win9x::layer::RemoveHandle(hObject);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    object.reset();
    return TRUE;
}
