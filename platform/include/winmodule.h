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

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_DLL_INIT_FAILED 1114L
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

extern "C" {
PLATAPI HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
PLATAPI BOOL FreeLibrary(HMODULE hLibModule);
PLATAPI FARPROC GetProcAddressW(HMODULE hModule, LPCWSTR lpProcName);
// The module's device path; null hModule: the running program's.
PLATAPI DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
PLATAPI HMODULE GetModuleHandleW(LPCWSTR lpModuleName);
// Copies the string (truncated to cchBufferMax - 1 units, terminated) and
// returns its length; 0 when the module has no such string.
PLATAPI int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);
}

#endif
