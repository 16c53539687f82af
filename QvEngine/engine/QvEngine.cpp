// The engine library's entry points: its callers load it by name and make
// their objects through these factories, owning and deleting what they get.
#include <new>

#include "DActiveSyncEngine.h"
#include "DWinMobCorvaneGlobalInfo.h"
#include "winmodule.h"

extern "C" PLATAPI BOOL DllMain(HANDLE, DWORD, LPVOID) { return TRUE; }

// 0 and the new global-info object (not yet initialised), or 1 and null.
extern "C" PLATAPI DWORD CreateQvGlobalInfo(IGlobalData **out) {
    if (out == nullptr) return 1;
    *out = new (std::nothrow) DWinMobCorvaneGlobalInfo;
    return *out != nullptr ? 0 : 1;
}

// 0 and the new engine (not yet initialised), or 1 and null.
extern "C" PLATAPI DWORD CreateActiveSyncEngine(IActiveSyncEngine **out) {
    if (out == nullptr) return 1;
    *out = new (std::nothrow) DActiveSyncEngine;
    return *out != nullptr ? 0 : 1;
}
