// Modules: LoadLibraryA finds a DLL by name in C:\WINDOWS\SYSTEM, then
// C:\WINDOWS (or by its path), loads the host library that lies there once
// per process and counts its references; its file is in use while loaded. "SETUPAPI.DLL" is the layer's own
// SetupAPI, which the machine can make missing, whole or function by function.
#include <dlfcn.h>

#include <cstring>
#include <map>
#include <mutex>
#include <setupapi.h>

#include "machine/api.h"
#include "machine/files_in_use.h"
#include "machine/image_file.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "machine/paths.h"

namespace {

struct Module {
    std::string hostPath;  // empty for a built-in module
    void *library = nullptr;
    int references = 0;
    // A module's file is in use while it is loaded.
    std::shared_ptr<win9x::layer::Machine> machine;
    int64_t useId = 0;
};

std::mutex g_moduleMutex;
std::map<uintptr_t, Module> g_modules;  // by HMODULE value
uintptr_t g_nextModule = 0x10000000;

constexpr const char *kSetupApi = "SETUPAPI.DLL";

struct BuiltinFunction {
    const char *name;
    FARPROC address;
};

FARPROC AsFarProc(void *address)
{
    FARPROC result;
    std::memcpy(&result, &address, sizeof result);
    return result;
}

template <class F>
FARPROC Builtin(F function)
{
    return AsFarProc(reinterpret_cast<void *>(function));
}

const BuiltinFunction *SetupApiFunctions()
{
    static const BuiltinFunction functions[] = {
        {"SetupDiGetClassDevsA", Builtin(&SetupDiGetClassDevsA)},
        {"SetupDiEnumDeviceInterfaces", Builtin(&SetupDiEnumDeviceInterfaces)},
        {"SetupDiGetDeviceInterfaceDetailA", Builtin(&SetupDiGetDeviceInterfaceDetailA)},
        {"SetupDiDestroyDeviceInfoList", Builtin(&SetupDiDestroyDeviceInfoList)},
        {"SetupDiOpenDeviceInterfaceRegKey", Builtin(&SetupDiOpenDeviceInterfaceRegKey)},
        {"SetupDiCreateDeviceInterfaceRegKeyA", Builtin(&SetupDiCreateDeviceInterfaceRegKeyA)},
        {nullptr, nullptr},
    };
    return functions;
}

// "setupapi", "SetupAPI.dll" and "C:\WINDOWS\SYSTEM\SETUPAPI.DLL" all name it.
bool IsSetupApi(const std::string &name)
{
    std::string base = name.substr(name.find_last_of("\\/") == std::string::npos ? 0 : name.find_last_of("\\/") + 1);
    std::string upper = win9x::layer::ToUpper(base);
    return upper == kSetupApi || upper == "SETUPAPI";
}

std::string MissingKey(const std::string &module, const std::string &function)
{
    return "missing:" + win9x::layer::ToUpper(module) + (function.empty() ? "" : "!" + function);
}

bool IsMissing(const std::string &module, const std::string &function)
{
    auto m = win9x::layer::CurrentMachine();
    return m && win9x::layer::ReadSetting(*m, MissingKey(module, function).c_str(), "0") == "1";
}

// The host file a module name stands for, searched as Windows 9x searches.
std::optional<win9x::layer::MappedPath> FindModuleFile(const std::string &name)
{
    std::string fileName = name;
    bool hasPath = name.find_first_of("\\/:") != std::string::npos;
    if (!hasPath && fileName.find('.') == std::string::npos)
        fileName += ".DLL";
    if (hasPath) {
        auto mapped = win9x::layer::MapPath(fileName, nullptr);
        return mapped && mapped->exists ? mapped : std::nullopt;
    }
    for (const char *dir : {win9x::layer::kSystemDirectory, win9x::layer::kWindowsDirectory}) {
        auto mapped = win9x::layer::MapPath(std::string(dir) + "\\" + fileName, nullptr);
        if (mapped && mapped->exists)
            return mapped;
    }
    return std::nullopt;
}

HMODULE AddReference(const std::string &hostPath, void *library)
{
    for (auto &[handle, module] : g_modules) {
        if (module.hostPath == hostPath) {
            ++module.references;
            return reinterpret_cast<HMODULE>(handle);
        }
    }
    uintptr_t handle = g_nextModule;
    g_nextModule += 0x10000;
    g_modules[handle] = Module{hostPath, library, 1, nullptr, 0};
    return reinterpret_cast<HMODULE>(handle);
}

}  // namespace

namespace win9x::machine {

void SetModuleMissing(const std::string &module, bool missing)
{
    if (auto m = layer::CurrentMachine())
        layer::WriteSetting(*m, MissingKey(module, "").c_str(), missing ? "1" : "0");
}

void SetFunctionMissing(const std::string &module, const std::string &function, bool missing)
{
    if (auto m = layer::CurrentMachine())
        layer::WriteSetting(*m, MissingKey(module, function).c_str(), missing ? "1" : "0");
}

}  // namespace win9x::machine

extern "C" {

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName)
{
    if (DWORD injected = win9x::layer::InjectedFailure("LoadLibraryA")) {
        SetLastError(injected);
        return nullptr;
    }
    if (!lpLibFileName || !*lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string name = lpLibFileName;
    if (IsSetupApi(name)) {
        if (IsMissing(kSetupApi, "")) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        std::lock_guard<std::mutex> guard(g_moduleMutex);
        return AddReference("", nullptr);
    }
    auto file = FindModuleFile(name);
    if (!file) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(g_moduleMutex);
    for (auto &[handle, module] : g_modules) {
        if (module.hostPath == file->host) {
            ++module.references;
            return reinterpret_cast<HMODULE>(handle);
        }
    }
    // A file cut short would be mapped beyond its end and kill this process
    // on the first touch; Windows refuses such an image as a bad format.
    if (!win9x::layer::ImageShortfall(file->host).empty()) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    void *library = dlopen(file->host.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    HMODULE handle = AddReference(file->host, library);
    if (auto m = win9x::layer::CurrentMachine()) {
        Module &module = g_modules[reinterpret_cast<uintptr_t>(handle)];
        module.machine = m;
        module.useId = win9x::layer::RecordFileUse(*m, file->relative, win9x::layer::CurrentProcess());
    }
    return handle;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    if (!lpProcName || IS_INTRESOURCE(lpProcName)) {
        SetLastError(ERROR_PROC_NOT_FOUND);  // no ordinals here
        return nullptr;
    }
    Module module;
    {
        std::lock_guard<std::mutex> guard(g_moduleMutex);
        auto found = g_modules.find(reinterpret_cast<uintptr_t>(hModule));
        if (found == g_modules.end()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        module = found->second;
    }
    if (module.hostPath.empty()) {
        if (!IsMissing(kSetupApi, lpProcName)) {
            for (const BuiltinFunction *f = SetupApiFunctions(); f->name; ++f) {
                if (std::strcmp(f->name, lpProcName) == 0)
                    return f->address;
            }
        }
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void *address = dlsym(module.library, lpProcName);
    if (!address) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return AsFarProc(address);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    std::lock_guard<std::mutex> guard(g_moduleMutex);
    auto found = g_modules.find(reinterpret_cast<uintptr_t>(hLibModule));
    if (found == g_modules.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--found->second.references == 0) {
        // The module is unloaded and its file no longer in use. The host
        // library itself stays mapped: a host library cannot be loaded
        // afresh as a Windows module is, and a monitor, which has no
        // shutdown step, keeps its state in it.
        if (found->second.machine)
            win9x::layer::ForgetFileUse(*found->second.machine, found->second.useId);
        g_modules.erase(found);
    }
    return TRUE;
}

BOOL WINAPI DisableThreadLibraryCalls(HMODULE hLibModule)
{
    (void)hLibModule;
    return TRUE;
}

}  // extern "C"
