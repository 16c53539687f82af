// Loading and freeing modules. Each library is loaded once and counted: the
// first LoadLibraryW opens it and calls its DllMain with DLL_PROCESS_ATTACH,
// the last FreeLibrary calls DLL_PROCESS_DETACH and closes it. A module is
// known by its device path and by its host file, so that "QvRes.dll" and
// "\Windows\QvRes.dll" name one module. One recursive lock serialises the
// table and the DllMain calls made under it, as the platform's loader lock
// does: a DllMain may call the module functions itself.
#include <dlfcn.h>
#include <link.h>
#include <stdlib.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "device.h"
#include "modulepath.h"
#include "moduletable.h"
#include "winerror.h"
#include "winmodule.h"

namespace vplat {
namespace {

// The running program's module handle; loaded modules count up from
// kFirstModule and are never reused while the process runs.
const uintptr_t kProgramModule = 0x00010000;
const uintptr_t kFirstModule = 0x00400000;
const uintptr_t kModuleStep = 0x00010000;

struct Module {
    void *library = nullptr;  // the host library's handle
    DLLMAIN_PROC entry = nullptr;
    std::u16string devicePath;
    std::u16string deviceKey;
    std::string hostKey;  // the host file's real path
    unsigned refs = 0;
};

struct ModuleTable {
    std::recursive_mutex lock;
    std::map<HMODULE, Module> modules;
    uintptr_t next = kFirstModule;
};

ModuleTable &Table() {
    static ModuleTable *table = new ModuleTable;  // outlives static destructors
    return *table;
}

HMODULE ProgramHandle() { return reinterpret_cast<HMODULE>(kProgramModule); }

bool IsProgram(HMODULE module) { return module == nullptr || module == ProgramHandle(); }

void *ProgramLibrary() {
    static void *program = dlopen(nullptr, RTLD_NOW);
    return program;
}

// dlsym looks through the library's dependencies too; a module exports only
// what it defines itself.
void *OwnSymbol(void *library, const char *name) {
    void *symbol = dlsym(library, name);
    if (symbol == nullptr) return nullptr;
    struct link_map *own = nullptr;
    struct link_map *where = nullptr;
    Dl_info info;
    if (dlinfo(library, RTLD_DI_LINKMAP, &own) != 0 ||
        dladdr1(symbol, &info, reinterpret_cast<void **>(&where), RTLD_DL_LINKMAP) == 0)
        return nullptr;
    return where == own ? symbol : nullptr;
}

std::string_view BaseName(std::string_view path) {
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Whether the object that defines symbol is the file named (by base name:
// the loader records a dependency under the path where it found it).
bool DefinedIn(void *symbol, const char *file) {
    struct link_map *where = nullptr;
    Dl_info info;
    if (dladdr1(symbol, &info, reinterpret_cast<void **>(&where), RTLD_DL_LINKMAP) == 0 || where == nullptr ||
        where->l_name == nullptr)
        return false;
    return BaseName(where->l_name) == BaseName(file);
}

// A name the module forwards: an entry of its forward table whose prefix the
// name starts with, and that entry's dependency defines the symbol dlsym
// finds. Any other dependency's symbol stays hidden.
void *ForwardedSymbol(void *library, const char *name) {
    auto forwards = static_cast<const VPLATFORM_EXPORT_FORWARD *>(OwnSymbol(library, VPLATFORM_EXPORT_FORWARDS_SYMBOL));
    if (forwards == nullptr) return nullptr;
    for (; forwards->library != nullptr; ++forwards) {
        if (forwards->prefix == nullptr || strncmp(name, forwards->prefix, strlen(forwards->prefix)) != 0) continue;
        void *symbol = dlsym(library, name);
        if (symbol != nullptr && DefinedIn(symbol, forwards->library)) return symbol;
    }
    return nullptr;
}

std::string RealPath(const std::string &path) {
    char *real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return path;
    std::string result = real;
    free(real);
    return result;
}

// The loaded module of that name, if any; the caller holds the lock.
std::map<HMODULE, Module>::iterator FindLoaded(ModuleTable &table, const ModuleName &name,
                                               const std::string &hostKey) {
    for (auto it = table.modules.begin(); it != table.modules.end(); ++it)
        if (it->second.deviceKey == name.key || (!hostKey.empty() && it->second.hostKey == hostKey)) return it;
    return table.modules.end();
}

template <class T>
T Fail(DWORD err, T result) {
    SetLastError(err);
    return result;
}

// The library's own symbol or, with forwarded, one it forwards.
void *ExportedSymbol(void *library, const char *name, bool forwarded) {
    void *symbol = OwnSymbol(library, name);
    if (symbol == nullptr && forwarded) symbol = ForwardedSymbol(library, name);
    return symbol;
}

// The lock keeps a module's library loaded while its symbols are read.
DWORD FindSymbol(HMODULE module, const char *name, bool forwarded, void **symbol) {
    *symbol = nullptr;
    if (IsProgram(module)) {
        if (ProgramLibrary() != nullptr) *symbol = ExportedSymbol(ProgramLibrary(), name, forwarded);
        return ERROR_SUCCESS;
    }
    ModuleTable &table = Table();
    std::lock_guard<std::recursive_mutex> guard(table.lock);
    auto it = table.modules.find(module);
    if (it == table.modules.end()) return ERROR_INVALID_HANDLE;
    *symbol = ExportedSymbol(it->second.library, name, forwarded);
    return ERROR_SUCCESS;
}

}  // namespace

DWORD ModuleSymbol(HMODULE module, const char *name, void **symbol) {
    return FindSymbol(module, name, false, symbol);
}

}  // namespace vplat

using namespace vplat;

extern "C" PLATAPI HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
    ModuleName name;
    DWORD err = ResolveModuleName(lpLibFileName, &name);
    if (err != ERROR_SUCCESS) return Fail<HMODULE>(err, nullptr);
    std::string hostKey = name.hostPath.empty() ? std::string() : RealPath(name.hostPath);

    ModuleTable &table = Table();
    std::lock_guard<std::recursive_mutex> guard(table.lock);
    auto loaded = FindLoaded(table, name, hostKey);
    if (loaded != table.modules.end()) {
        ++loaded->second.refs;
        return loaded->first;
    }
    if (hostKey.empty()) return Fail<HMODULE>(ERROR_MOD_NOT_FOUND, nullptr);

    void *library = dlopen(hostKey.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return Fail<HMODULE>(ERROR_BAD_EXE_FORMAT, nullptr);
    HMODULE handle = reinterpret_cast<HMODULE>(table.next);
    table.next += kModuleStep;
    Module &module = table.modules[handle];
    module.library = library;
    module.entry = reinterpret_cast<DLLMAIN_PROC>(OwnSymbol(library, "DllMain"));
    module.devicePath = name.devicePath;
    module.deviceKey = name.key;
    module.hostKey = hostKey;
    module.refs = 1;

    // Entered while already in the table, so that DllMain can name itself.
    DLLMAIN_PROC entry = module.entry;
    if (entry != nullptr && !entry(reinterpret_cast<HANDLE>(handle), DLL_PROCESS_ATTACH, nullptr)) {
        table.modules.erase(handle);
        dlclose(library);
        return Fail<HMODULE>(ERROR_DLL_INIT_FAILED, nullptr);
    }
    return handle;
}

extern "C" PLATAPI BOOL FreeLibrary(HMODULE hLibModule) {
    ModuleTable &table = Table();
    std::lock_guard<std::recursive_mutex> guard(table.lock);
    auto it = table.modules.find(hLibModule);
    if (it == table.modules.end()) return Fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    if (--it->second.refs > 0) return TRUE;

    void *library = it->second.library;
    DLLMAIN_PROC entry = it->second.entry;
    if (entry != nullptr) entry(reinterpret_cast<HANDLE>(hLibModule), DLL_PROCESS_DETACH, nullptr);
    table.modules.erase(hLibModule);
    dlclose(library);
    return TRUE;
}

extern "C" PLATAPI FARPROC GetProcAddressW(HMODULE hModule, LPCWSTR lpProcName) {
    if (lpProcName == nullptr) return Fail<FARPROC>(ERROR_INVALID_PARAMETER, nullptr);
    // A value below 0x10000 is an ordinal; modules here export by name only.
    if (reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) return Fail<FARPROC>(ERROR_PROC_NOT_FOUND, nullptr);
    void *symbol = nullptr;
    DWORD err = FindSymbol(hModule, Utf16ToUtf8(lpProcName).c_str(), true, &symbol);
    if (err != ERROR_SUCCESS) return Fail<FARPROC>(err, nullptr);
    if (symbol == nullptr) return Fail<FARPROC>(ERROR_PROC_NOT_FOUND, nullptr);
    return reinterpret_cast<FARPROC>(symbol);
}

extern "C" PLATAPI HMODULE GetModuleHandleW(LPCWSTR lpModuleName) {
    if (lpModuleName == nullptr) return ProgramHandle();
    ModuleName name;
    DWORD err = ResolveModuleName(lpModuleName, &name);
    if (err != ERROR_SUCCESS) return Fail<HMODULE>(err, nullptr);
    std::string hostKey = name.hostPath.empty() ? std::string() : RealPath(name.hostPath);

    ModuleTable &table = Table();
    std::lock_guard<std::recursive_mutex> guard(table.lock);
    auto loaded = FindLoaded(table, name, hostKey);
    if (loaded == table.modules.end()) return Fail<HMODULE>(ERROR_MOD_NOT_FOUND, nullptr);
    return loaded->first;
}

// A path longer than the buffer is cut to nSize - 1 units and terminated;
// the result is then nSize, with ERROR_INSUFFICIENT_BUFFER.
extern "C" PLATAPI DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    std::u16string path;
    if (IsProgram(hModule)) {
        path = ProgramDevicePath();
    } else {
        ModuleTable &table = Table();
        std::lock_guard<std::recursive_mutex> guard(table.lock);
        auto it = table.modules.find(hModule);
        if (it == table.modules.end()) return Fail<DWORD>(ERROR_INVALID_HANDLE, 0);
        path = it->second.devicePath;
    }
    if (nSize == 0) return Fail<DWORD>(ERROR_INSUFFICIENT_BUFFER, 0);
    if (lpFilename == nullptr) return Fail<DWORD>(ERROR_INVALID_PARAMETER, 0);
    if (path.size() < nSize) {
        path.copy(lpFilename, path.size());
        lpFilename[path.size()] = 0;
        return static_cast<DWORD>(path.size());
    }
    path.copy(lpFilename, nSize - 1);
    lpFilename[nSize - 1] = 0;
    return Fail<DWORD>(ERROR_INSUFFICIENT_BUFFER, nSize);
}
