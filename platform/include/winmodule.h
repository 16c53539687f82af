// Modules: the device's libraries loaded by their device names ("QvRes.dll",
// "\Windows\QvSSched.dll"), each a built shared library of the project. A
// module's entry DllMain (exported, optional) is called with
// DLL_PROCESS_ATTACH on every load that makes it present and with
// DLL_PROCESS_DETACH on the last FreeLibrary, so its state starts afresh
// each time it is loaded again.
#ifndef VPLATFORM_WINMODULE_H
#define VPLATFORM_WINMODULE_H

#include "winuser.h"
#include "wintypes.h"

// Colon-separated host folders where LoadLibraryW looks for the built
// libraries ("QvRes.dll" is "libQvRes.so"); unset: the platform library's
// own folder. A library that the device itself holds (an installed copy
// under its device name) is taken first.
#define VANTREL_MODULE_PATH_ENV "VANTREL_MODULE_PATH"
// The running program's device path; unset: "\Windows\<program>.exe".
#define VANTREL_PROGRAM_PATH_ENV "VANTREL_PROGRAM_PATH"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_DLL_INIT_FAILED 1114L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

typedef INT_PTR (*FARPROC)();
typedef BOOL (*DLLMAIN_PROC)(HANDLE hinstDLL, DWORD dwReason, LPVOID lpvReserved);

// Strings a module carries: a module exports an array of this type under the
// name VPLATFORM_STRING_TABLE_SYMBOL, ended by an entry with text null.
struct VPLATFORM_STRING_RESOURCE {
    UINT id;
    LPCWSTR text;
};
#define VPLATFORM_STRING_TABLE_SYMBOL "VPlatformStringTable"
// Defines the table: VPLATFORM_STRING_TABLE = {{1, u"Text"}, {0, nullptr}};
// Every module (and a program that has strings) defines one under the same
// name; protected visibility keeps each module's own references on its own
// table rather than on the program's.
#define VPLATFORM_STRING_TABLE \
    extern "C" __attribute__((visibility("protected"))) const VPLATFORM_STRING_RESOURCE VPlatformStringTable[]

// Forwarded exports: a module that passes a library's functions on to its
// callers exports an array of this type under the name
// VPLATFORM_EXPORT_FORWARDS_SYMBOL, ended by an entry with library null.
// GetProcAddressW finds a name that the module does not define itself and
// that starts with an entry's prefix when the dependency of that file name
// (the name the module was linked against, e.g. "libwbxml2.so.1") defines it;
// the module's other dependencies stay hidden.
struct VPLATFORM_EXPORT_FORWARD {
    const char *library;
    const char *prefix;
};
#define VPLATFORM_EXPORT_FORWARDS_SYMBOL "VPlatformExportForwards"
// Defines the table: VPLATFORM_EXPORT_FORWARDS = {{"libm.so.6", "cos"}, {nullptr, nullptr}};
#define VPLATFORM_EXPORT_FORWARDS \
    extern "C" __attribute__((visibility("protected"))) const VPLATFORM_EXPORT_FORWARD VPlatformExportForwards[]

extern "C" {
PLATAPI HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
PLATAPI BOOL FreeLibrary(HMODULE hLibModule);
PLATAPI FARPROC GetProcAddressW(HMODULE hModule, LPCWSTR lpProcName);
// The module's device path; null hModule: the running program's.
PLATAPI DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
PLATAPI HMODULE GetModuleHandleW(LPCWSTR lpModuleName);
// Copies the string (truncated to cchBufferMax - 1 units, terminated) and
// returns its length; 0 when the module has no such string. cchBufferMax 0:
// lpBuffer receives a read-only pointer to the text instead. A null
// hInstance reads the running program's own table.
PLATAPI int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);
}

#endif
